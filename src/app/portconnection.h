#pragma once

#include <QString>
#include <array>
#include <functional>
#include <optional>

#include "app/comports.h"
#include "app/portstate.h"
#include "port/commcontrol.h"
#include "port/portnames.h"

namespace kestrel {

// Shows a modal message: text, title (empty = the application title).
using MessageFn = std::function<void(const QString& text, const QString& title)>;
// Whether a device is there now, without opening it.
using DeviceExistsFn = std::function<bool(const QString& device)>;

// The speeds offered, in order (their captions: texts::BaudCaption).
inline constexpr std::array<const char*, 6> kBaudSpeeds{"4800",  "9600",  "19200",
                                                        "38400", "57600", "115200"};
inline constexpr int kFallbackBaudIndex = 3;  // 38400

// Port number of the hidden TCP/IP entry.
inline constexpr int kTcpIpPort = 9;

// COM 1 to COM 8: the numbers start-up scans and the Port dialog offers.
inline constexpr int kScannedPorts = 8;
// The COM number in force when the settings file names none a port takes: start-up's scan
// leaves each number in force in turn, and the last one stays. kestrel-load and the simulator
// take the same, so all of them meet on one port.
inline constexpr int kDefaultComPort = kScannedPorts;

// The Port dialog's view of COM 1 to COM 8 and of the devices present, read afresh.
struct PortOverview {
  struct Entry {
    PortTarget target;
    QString description;  // of the device, when the system lists it
    bool available = false;

    bool operator==(const Entry&) const = default;
  };
  std::array<Entry, 8> entries{};
  QList<SerialDevice> detected;

  bool operator==(const PortOverview&) const = default;
};

// Where settings cannot be kept, when neither the program's folder nor the user's can hold
// them; empty when they can be kept.
QString SettingsNotKeptText();

// What a command line chooses instead of the settings file at start-up.
struct PortChoice {
  std::optional<int> comNumber;
  QString device;  // named directly; the COM numbers that lead to it name it in the log
  std::optional<LineSettings> lineSettings;
  bool open = true;  // false: the first download opens it
};

// Life of the serial connection: the COM number (or device) and line settings in force,
// start-up, the Open/Close command, opening for a download, and what the port and speed
// dialogs' OK buttons apply and store. It keeps state() up to date.
class PortConnection {
 public:
  PortConnection(CommControl& port, MessageFn message = {},
                 DeviceExistsFn deviceExists = SerialDeviceExists);
  PortConnection(const PortConnection&) = delete;
  PortConnection& operator=(const PortConnection&) = delete;

  // TCP/IP mode off, COM 1 to 8 looked at without opening any (PortAvailable), the port and
  // speed from the settings file unless chosen (kDefaultComPort when neither names a port),
  // and the port opened. Never throws, never shows a message.
  void startUp(const PortChoice& choice = {});
  void openOrClose();  // Comm > Open/Close; failures are shown
  void ensureOpen();   // opens a closed port; throws CommError on failure

  // PortAvailable afresh from the system, without opening any port.
  void refreshPortAvailability();
  // The same, with what each of COM 1 to COM 8 stands for and the devices detected now.
  PortOverview overview();
  // Assigns a device to a COM number in [Devices] at once (an empty device clears it).
  // Returns what to tell the user when the settings file could not be written, else empty.
  QString assignDevice(int comNumber, const QString& device);
  // Panel 2's tooltip: the device the port in force stands for and what it is.
  QString portToolTip() const;

  // OK of the port dialog on a COM entry: applies the number (an open port is closed and
  // opened again) and stores it. Returns what to tell the user, else empty: when the serial
  // layer refuses, its description; when the settings file cannot be written, that it was not.
  QString changePort(int chosenPort, int portAtOpen);
  // OK of the port dialog on the hidden TCP/IP entry; the result as for changePort.
  QString chooseTcpIp(int portAtOpen);
  // OK of the speed dialog: the same for a speed of kBaudSpeeds. Settings the device refuses
  // are not kept.
  QString changeSpeed(const QString& chosenBaud, const QString& baudAtOpen);
  // The speed dialog opened on a speed it does not offer: 38400 is applied at once, the file
  // untouched. Returns the serial layer's description when refused, else empty.
  QString fallBackToDefaultSpeed();

  const PortState& state() const { return state_; }
  // What start-up or a dialog would set, for callers that set up a port themselves.
  void setComNumber(int comNumber) { state_.set(state_.comNumber_, comNumber); }
  void setLineSettings(const LineSettings& settings) { state_.set(state_.lineSettings_, settings); }
  void setTcpIpMode(bool on);
  // The device an open uses now: the one named, else what the COM number resolves to.
  QString deviceInForce() const;

  std::array<bool, kScannedPorts> PortAvailable{};
  // Where the serial devices present come from; tests put a fixed list in its place.
  std::function<QList<SerialDevice>()> listDevices = DetectedSerialDevices;

 private:
  void open();
  bool available(int comNumber) const;  // usable and there now
  void follow();                        // the port's state into state_
  // Closes an open port around the change so it ends open or closed as it was.
  std::optional<CommError> applyToPort(const std::function<void()>& change);

  CommControl& port_;
  MessageFn message_;
  DeviceExistsFn deviceExists_;
  PortState state_;
};

}  // namespace kestrel
