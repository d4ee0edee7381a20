#pragma once

#include <QMetaObject>
#include <QString>
#include <array>
#include <functional>
#include <optional>

#include "app/comports.h"
#include "port/commcontrol.h"
#include "port/portnames.h"

namespace kestrel {

// Shows a modal message: text, title (empty = the application title).
using MessageFn = std::function<void(const QString& text, const QString& title)>;
// Whether a device is there now, without opening it.
using DeviceExistsFn = std::function<bool(const QString& device)>;

// What the port connection shows; the main window implements it, PortStatusTexts elsewhere.
class PortDisplay {
 public:
  virtual ~PortDisplay() = default;
  virtual void setPanelText(int panel, const QString& text) = 0;  // status-bar panels 1..5
  virtual QString panelText(int panel) const = 0;
  virtual QString connectCaption() const = 0;  // mnuConnect
  virtual void setConnectCaption(const QString& caption) = 0;
  virtual void setPortMenusEnabled(bool enabled) = 0;  // mnuPort and mnuSettings
};

// The status texts kept without a window: a command line or a benchmark that still wants to
// know what the window would show.
class PortStatusTexts : public PortDisplay {
 public:
  void setPanelText(int panel, const QString& text) override;
  QString panelText(int panel) const override;
  QString connectCaption() const override { return caption_; }
  void setConnectCaption(const QString& caption) override { caption_ = caption; }
  void setPortMenusEnabled(bool enabled) override { portMenusEnabled_ = enabled; }
  bool portMenusEnabled() const { return portMenusEnabled_; }

 private:
  std::array<QString, 5> panels_{QStringLiteral("Not connected"), QStringLiteral("COM 1"),
                                 QStringLiteral("115200bps, 8-N-1")};
  QString caption_ = QStringLiteral("Open");
  bool portMenusEnabled_ = true;
};

// The speeds offered, in order: caption and speed applied.
struct BaudEntry {
  const char* caption;
  const char* speed;
};
inline constexpr std::array<BaudEntry, 6> kBaudEntries{{
    {" 4800 bauds", "4800"},
    {" 9600 bauds", "9600"},
    {"19200 bauds", "19200"},
    {"38400 bauds", "38400"},
    {"57600 bauds", "57600"},
    {"115200 bauds", "115200"},
}};
inline constexpr int kFallbackBaudIndex = 3;  // 38400

// Port number of the hidden TCP/IP entry.
inline constexpr int kTcpIpPort = 9;

// Port texts: a number with a blank in the sign position (" 3"), as stored and shown.
QString PortNumberText(int port);

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

// The message for a port that does not exist, naming the device that was tried.
QString PortCannotBeOpenedText(const CommError& error);

// Where settings cannot be kept, when neither the program's folder nor the user's can hold
// them; empty when they can be kept.
QString SettingsNotKeptText();

// Life of the serial connection: the COM number (or device) and line settings in force,
// start-up, the Open/Close command, opening for a download, and what the port and speed
// dialogs' OK buttons apply and store.
class PortConnection {
 public:
  PortConnection(CommControl& port, PortDisplay& display, MessageFn message,
                 DeviceExistsFn deviceExists = SerialDeviceExists);
  ~PortConnection();
  PortConnection(const PortConnection&) = delete;
  PortConnection& operator=(const PortConnection&) = delete;

  void startUp();      // never throws, never shows a message
  void openOrClose();  // Comm > Open/Close
  void ensureOpen();   // opens a closed port and shows it; throws CommError on failure

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
  // opened again), stores it and shows it in panel 2. Returns what to tell the user, else
  // empty: when the serial layer refuses, its description; when the settings file cannot be
  // written, that it was not.
  QString changePort(int chosenPort, int portAtOpen);
  // OK of the port dialog on the hidden TCP/IP entry; the result as for changePort.
  QString chooseTcpIp(int portAtOpen);
  // OK of the speed dialog: the same for a speed of kBaudEntries. Settings the device refuses
  // are not kept.
  QString changeSpeed(const QString& chosenBaud, const QString& baudAtOpen);
  // The speed dialog opened on a speed it does not offer: 38400 is applied at once, panel and
  // file untouched. Returns the serial layer's description when refused, else empty.
  QString fallBackToDefaultSpeed();

  // The COM number in force, and the device named directly instead of it (empty: the number
  // decides).
  int comNumber() const { return comNumber_; }
  void setComNumber(int comNumber) { comNumber_ = comNumber; }
  const QString& namedDevice() const { return namedDevice_; }
  void setNamedDevice(const QString& device) { namedDevice_ = device; }
  const LineSettings& lineSettings() const { return lineSettings_; }
  void setLineSettings(const LineSettings& settings) { lineSettings_ = settings; }
  // The device an open uses now: the one named, else what the COM number resolves to.
  QString deviceInForce() const;

  CommControl& port() { return port_; }
  std::array<bool, 8> PortAvailable{};
  bool TcpIpMode = false;
  // Where the serial devices present come from; tests put a fixed list in its place.
  std::function<QList<SerialDevice>()> listDevices = DetectedSerialDevices;

 private:
  void showPortState();  // panel 1, caption, port menus from the port's state
  void open();
  bool available(int comNumber) const;  // usable and there now
  // Closes an open port around the change so it ends open or closed as it was.
  std::optional<CommError> applyToPort(const std::function<void()>& change);

  CommControl& port_;
  PortDisplay& display_;
  MessageFn message_;
  DeviceExistsFn deviceExists_;
  QMetaObject::Connection lostConnection_;
  int comNumber_ = 1;
  QString namedDevice_;
  LineSettings lineSettings_{};
};

}  // namespace kestrel
