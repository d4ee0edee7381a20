#pragma once

#include <QList>
#include <QString>
#include <optional>

namespace kestrel {

// The device an assignment's text names, in the form an open takes; nothing when it names
// none that can be used (a relative path, a control character). A bare name stands for the
// node of that name, as the serial library takes it: "ttyUSB0" is /dev/ttyUSB0.
std::optional<QString> DeviceNamed(const QString& text);

// A device name with its links followed where they lead somewhere, so every name of one
// device compares equal; a name that leads nowhere is kept as given (made absolute).
QString FollowedDevice(const QString& device);
// Whether two device names (followed) are one device, as the system compares them.
bool SameDevice(const QString& a, const QString& b);

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
