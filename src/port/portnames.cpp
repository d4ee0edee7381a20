#include "port/portnames.h"

#include <QCollator>
#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <algorithm>


namespace kestrel {

namespace {

// A port name as the system spells it ("COM14", "ttyUSB0"): letters, digits, '_', '-', '.'.
bool IsPortName(const QString& text) {
  if (text.isEmpty() || text == QLatin1String(".") || text == QLatin1String("..")) return false;
  return std::all_of(text.begin(), text.end(), [](QChar c) {
    return c.unicode() < 128 && (c.isLetterOrNumber() || c == QLatin1Char('_') ||
                                 c == QLatin1Char('-') || c == QLatin1Char('.'));
  });
}

bool HasControlCharacter(const QString& text) {
  return std::any_of(text.begin(), text.end(),
                     [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7F; });
}

}  // namespace

std::optional<QString> DeviceNamed(const QString& text) {
  if (text.isEmpty() || HasControlCharacter(text)) return std::nullopt;
#ifdef Q_OS_WIN
  const QString local = QStringLiteral("\\\\.\\");
  if (IsPortName(text)) return text;
  if (text.startsWith(local) && IsPortName(text.mid(local.size()))) return text.mid(local.size());
  return std::nullopt;
#else
  if (text.startsWith(QLatin1Char('/'))) return text;
  if (IsPortName(text)) return QStringLiteral("/dev/") + text;
  return std::nullopt;
#endif
}

QString FollowedDevice(const QString& path) {
#ifdef Q_OS_WIN
  return path;
#else
  const QFileInfo info(path);
  const QString resolved = info.canonicalFilePath();
  return resolved.isEmpty() ? info.absoluteFilePath() : resolved;
#endif
}

bool SameDevice(const QString& a, const QString& b) {
#ifdef Q_OS_WIN
  return a.compare(b, Qt::CaseInsensitive) == 0;
#else
  return a == b;
#endif
}

bool SerialDeviceExists(const QString& device) {
  if (const std::optional<bool> known = detail::SerialNodeExists(device)) return *known;
#ifdef Q_OS_WIN
  const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
  return std::any_of(ports.begin(), ports.end(), [&](const QSerialPortInfo& info) {
    return SameDevice(info.portName(), device);
  });
#else
  // The system cannot tell (a folder on the way that we may not search): the open will.
  return true;
#endif
}

QList<SerialDevice> DetectedSerialDevices() {
  QList<SerialDevice> devices;
  if (const auto listed = detail::SystemSerialDevices()) {
    devices = *listed;
  } else {
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
      SerialDevice device;
#ifdef Q_OS_WIN
      device.device = info.portName();
#else
      device.device = info.systemLocation();
#endif
      device.description = info.description();
      device.manufacturer = info.manufacturer();
      device.serialNumber = info.serialNumber();
      device.usb = info.hasVendorIdentifier();
      devices << device;
    }
  }

  // udev's names stay when the adapter comes back as another ttyUSB number.
  const QDir byId(QStringLiteral("/dev/serial/by-id"));
  const QFileInfoList stable =
      byId.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
  for (SerialDevice& device : devices) {
    for (const QFileInfo& name : stable) {
      if (name.canonicalFilePath() == device.device) {
        device.stableName = name.absoluteFilePath();
        break;
      }
    }
    if (device.stableName.isEmpty()) device.stableName = device.device;
  }
  // ttyUSB2 before ttyUSB10, as a person counts.
  QCollator order;
  order.setNumericMode(true);
  std::sort(devices.begin(), devices.end(), [&order](const SerialDevice& a, const SerialDevice& b) {
    return order.compare(a.device, b.device) < 0;
  });
  return devices;
}

}  // namespace kestrel
