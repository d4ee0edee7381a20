#pragma once

#include <QString>
#include <optional>

#include "port/commsettings.h"

namespace kestrel {

// The port choices the settings file keeps, read and written as values: the COM number
// ("CommPort"), the line settings ("Baud") and the device assigned to a COM number
// ([Devices]). Every read goes to the file itself; folder empty means SettingsFolder().

// COM numbers the settings file can name: "CommPort" and the [Devices] keys COM1 to COM255.
inline constexpr int kHighestComNumber = 255;
inline constexpr char kDevicesSection[] = "Devices";

// The number a stored "CommPort" text stands for: its leading number (blanks, tabs and line
// feeds ignored; no number = 0), rounded half to even. nullopt when it does not fit a signed
// 16-bit number.
std::optional<int> CommPortNumberFromText(const QString& text);

struct StoredPort {
  std::optional<int> comNumber;              // "CommPort" when it names COM 1 to 255
  std::optional<LineSettings> lineSettings;  // "Baud" when it is a usable line-settings text
};
StoredPort ReadStoredPort(const QString& folder = {});

// What the dialogs' OK buttons store: " n", "TCP", " 38400,N,8,1". False when the file could
// not be written; *problem then says why.
bool StoreComNumber(int comNumber, QString* problem = nullptr);
bool StoreTcpIp(QString* problem = nullptr);
bool StoreBaud(int baud, QString* problem = nullptr);

// The device assigned to a COM number, as written there, blanks around it removed, usable or
// not. Nothing when the entry is absent or empty (cleared).
std::optional<QString> ReadDeviceAssignment(int comNumber, const QString& folder = {});
// Stores the assignment (an empty device clears it). Every other line of the file stays.
bool StoreDeviceAssignment(int comNumber, const QString& device, QString* problem = nullptr);

}  // namespace kestrel
