#pragma once

#include <QList>
#include <QString>

namespace kestrel {

// What a COM number stands for. The first that applies wins.
enum class PortSource {
  Assignment,   // its [Devices] entry in the settings file
  FolderEntry,  // an entry COMn in the program's folder (a link, usually)
  Default,      // /dev/ttyS<n-1>, or the Windows port COMn
};

struct PortTarget {
  PortSource source = PortSource::Default;
  // What an open uses: links followed, so every name of one device shares its lock. A device
  // that is not there keeps the name it was given, and opening it fails as "does not exist".
  // An assignment that names no device that can be used (a relative path, a control
  // character) leaves this empty: the port does not exist, it never falls through to another.
  QString device;
  QString named;  // the assignment or folder entry as the user wrote it; empty for Default

  bool usable() const { return !device.isEmpty(); }
  // What names it for the user: the device, or the unusable assignment as written.
  QString shown() const { return usable() ? device : named; }

  bool operator==(const PortTarget&) const = default;
};

// How COM n (1 to 255) resolves now. Reads the settings file and the program's folder.
PortTarget ResolvePort(int comNumber);

// The COM numbers that resolve to this device (links followed); empty when none.
QList<int> PortsUsingDevice(const QString& device);

}  // namespace kestrel
