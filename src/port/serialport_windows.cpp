// The Windows side of the serial layer. A port is a name (COM3), opened as \\.\COM3 by the
// serial library; the system's port list (SetupAPI and the SERIALCOMM registry key, read by
// QSerialPortInfo) tells which are there without opening any. Ports have no owner or group
// to name, and no pseudo-terminals.
#include "port/portnames.h"
#include "port/serialcomm.h"

namespace kestrel::detail {

// Opening a port only to see whether it is there would raise its control lines.
DeviceProblem ProbeDevice(const QString& path, bool) {
  return SerialDeviceExists(path) ? DeviceProblem::Unknown : DeviceProblem::NoDevice;
}

DeviceUsers WhoMayUse(const QString&) { return {}; }

// Which program holds a port is not something Windows tells an ordinary program.
DeviceHolder HolderOf(const QString&, const QStringList&) { return {}; }

std::optional<bool> TtyInSysfs(const QString&, unsigned, unsigned) { return std::nullopt; }

// The open tells for a port named directly; the port list answers everyone else.
std::optional<bool> SerialNodeExists(const QString&) { return std::nullopt; }

std::optional<QList<SerialDevice>> SystemSerialDevices() { return std::nullopt; }

bool IsPseudoTerminal(const QString&) { return false; }

// A USB-serial adapter's latency timer is a setting of its driver on Windows (the port's
// Advanced settings in Device Manager); a program cannot ask for it per open.
void RequestLowLatency(const QSerialPort&) {}

}  // namespace kestrel::detail
