#include "app/comports.h"

#include <QFileInfo>

#include "port/portnames.h"
#include "settings/portsettings.h"
#include "settings/programfolder.h"

namespace kestrel {

PortTarget ResolvePort(int comNumber) {
  PortTarget target;
  if (const auto assigned = ReadDeviceAssignment(comNumber)) {
    // A typo must not send the logo to the link or the built-in port instead.
    target.source = PortSource::Assignment;
    target.named = *assigned;
    if (const auto device = DeviceNamed(*assigned)) target.device = FollowedDevice(*device);
    return target;
  }
#ifdef Q_OS_WIN
  target.device = QStringLiteral("COM%1").arg(comNumber);
#else
  // Beside the program, or where an installed program's user keeps settings and links.
  const QFileInfo entry(ProgramFolderEntry(QStringLiteral("COM%1").arg(comNumber)));
  // A dangling link counts: it names a device that is missing, not a reason to try another.
  if (entry.isSymLink() || entry.exists()) {
    target.source = PortSource::FolderEntry;
    target.named = entry.absoluteFilePath();
    target.device = FollowedDevice(target.named);
    return target;
  }
  target.device = QStringLiteral("/dev/ttyS%1").arg(comNumber - 1);
#endif
  return target;
}

QList<int> PortsUsingDevice(const QString& device) {
  QList<int> numbers;
  const std::optional<QString> named = DeviceNamed(device.trimmed());
  if (!named) return numbers;
  const QString wanted = FollowedDevice(*named);
#ifndef Q_OS_WIN
  if (!QFileInfo::exists(wanted)) return numbers;
#endif
  for (int n = 1; n <= kHighestComNumber; ++n)
    if (SameDevice(ResolvePort(n).device, wanted)) numbers << n;
  return numbers;
}

}  // namespace kestrel
