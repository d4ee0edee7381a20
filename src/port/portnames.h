#pragma once

#include <QList>
#include <QString>
#include <optional>

namespace kestrel {

// Section of the settings file that assigns a device to a COM number: COM1 to COM255.
inline constexpr char kDevicesSection[] = "Devices";
inline constexpr int kHighestPortNumber = 255;

// Where the device of a COM number was found; the first that applies wins.
enum class PortSource {
  Assignment,   // its [Devices] entry
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
PortTarget ResolvePort(int port);

// The device an assignment's text names, in the form an open takes; nothing when it names
// none that can be used (a relative path, a control character). A bare name stands for the
// node of that name, as the serial library takes it: "ttyUSB0" is /dev/ttyUSB0.
std::optional<QString> DeviceNamed(const QString& text);

// The device assigned to COM n in [Devices], as written there, blanks around it removed, usable
// or not. Nothing when the entry is absent or empty (cleared).
std::optional<QString> DeviceAssignment(int port);

// Stores the assignment (an empty device clears it). Every other line of the file stays.
// On failure *problem says why.
bool WriteDeviceAssignment(int port, const QString& device, QString* problem = nullptr);

// The COM numbers that resolve to this device (links followed); empty when none.
QList<int> PortsUsingDevice(const QString& device);

// Whether a device is a serial port that is there now, decided without opening it where the
// system can tell (sysfs on Linux, the port list on Windows). Held by someone else counts.
bool SerialDeviceExists(const QString& device);

// A serial device the system lists now.
struct SerialDevice {
  QString device;      // /dev/ttyUSB0, COM14
  QString stableName;  // a /dev/serial/by-id/... name that survives replugging, else device
  QString description;
  QString manufacturer;
  QString serialNumber;
  bool usb = false;  // an adapter that may be pulled out and plugged in again

  bool operator==(const SerialDevice&) const = default;
};

// The serial devices present now, in name order. Listing opens none of them.
QList<SerialDevice> DetectedSerialDevices();

}  // namespace kestrel

namespace kestrel::detail {

// What the operating system says without opening anything; nothing where it cannot tell.
// A node that is missing, not a character device, not a terminal (/dev/null) or a serial port
// with no UART behind it (sysfs type 0) is no serial device.
std::optional<bool> SerialNodeExists(const QString& path);
// The same from sysfs for a character device number; sysRoot is normally "/sys". Nothing when
// sysfs has no entry for it (pseudo-terminals have none).
std::optional<bool> TtyInSysfs(const QString& sysRoot, unsigned major, unsigned minor);
// The serial devices sysfs lists; nothing where there is no sysfs to ask.
std::optional<QList<SerialDevice>> SystemSerialDevices();

}  // namespace kestrel::detail
