#pragma once

#include <QMetaObject>
#include <QString>
#include <array>
#include <functional>
#include <optional>

#include "port/commcontrol.h"
#include "port/portnames.h"

namespace kestrel {

// Shows a modal message: text, title (empty = the application title).
using MessageFn = std::function<void(const QString& text, const QString& title)>;

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

// The speeds offered, in order: caption, speed applied, text stored under "Baud".
struct BaudEntry {
  const char* caption;
  const char* speed;
  const char* stored;
};
inline constexpr std::array<BaudEntry, 6> kBaudEntries{{
    {" 4800 bauds", "4800", " 4800,N,8,1"},
    {" 9600 bauds", "9600", " 9600,N,8,1"},
    {"19200 bauds", "19200", " 19200,N,8,1"},
    {"38400 bauds", "38400", " 38400,N,8,1"},
    {"57600 bauds", "57600", " 57600,N,8,1"},
    {"115200 bauds", "115200", " 115200,N,8,1"},
}};
inline constexpr int kFallbackBaudIndex = 3;  // 38400

// Port number of the hidden TCP/IP entry.
inline constexpr int kTcpIpPort = 9;

// COM 1 to COM 8: the numbers start-up scans and the Port dialog offers.
inline constexpr int kScannedPorts = 8;
// The COM number in force when the settings file names none a port takes: start-up's scan
// leaves each number in force in turn, and the last one stays. kestrel-load and the simulator
// take the same, so all of them meet on one port.
inline constexpr int kDefaultComPort = kScannedPorts;

// Port texts: a number with a blank in the sign position (" 3"), as stored and shown.
QString PortNumberText(int port);

// The port number a stored "CommPort" text stands for: the leading number (blanks, tabs and
// line feeds ignored; no number = 0), rounded half to even. nullopt when it does not fit a
// signed 16-bit number.
std::optional<int> CommPortNumberFromText(const QString& text);

// The port and line settings in the settings file, read as start-up reads them: the number
// "CommPort" stands for (0 when it gives none or one out of range) and the "Baud" text.
struct StoredPort {
  int number = 0;
  QString settings;
};
StoredPort ReadStoredPort();

// The COM number in force for a stored "CommPort" number: that number when a port takes it
// (1 to kHighestPortNumber), else kDefaultComPort.
int ComPortOrDefault(int storedNumber);

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

// Life of the serial connection: start-up, the Open/Close command, OpenPortAndShowState, and
// what the port and speed dialogs' OK buttons apply.
class PortConnection {
 public:
  PortConnection(CommControl& port, PortDisplay& display, MessageFn message);
  ~PortConnection();
  PortConnection(const PortConnection&) = delete;
  PortConnection& operator=(const PortConnection&) = delete;

  void FormLoad();              // start-up; never throws, never shows a message
  void mnuConnect_Click();      // Comm > Open/Close
  void OpenPortAndShowState();  // throws CommError on failure to open
  void ShowPortState();         // panel 1, caption, port menus from PortOpen

  // PortAvailable afresh from the system, without opening any port.
  void RefreshPortAvailability();
  // The same, with what each of COM 1 to COM 8 stands for and the devices detected now.
  PortOverview Overview();
  // Assigns a device to a COM number in [Devices] at once (an empty device clears it).
  // Returns what to tell the user when the settings file could not be written, else empty.
  QString AssignDevice(int port, const QString& device);
  // Panel 2's tooltip: the device the port in force stands for and what it is.
  QString PortPanelToolTip() const;

  // OK of the port dialog on a COM entry: applies the number (an open port is closed and
  // opened again), stores it and shows it in panel 2. Returns what to tell the user, else
  // empty: when the serial layer refuses, its description (nothing is stored and panel 2 keeps
  // the port in force); when the settings file cannot be written, that it was not.
  QString ChangePort(int chosenPort, int portAtOpen);
  // OK of the port dialog on the hidden TCP/IP entry; the result as for ChangePort.
  QString ChooseTcpIp(int portAtOpen);
  // OK of the speed dialog: the same for a speed of kBaudEntries.
  QString ChangeSpeed(const QString& chosenBaud, const QString& baudAtOpen);
  // The speed dialog opened on a speed it does not offer: 38400 is applied at once, panel and
  // file untouched. Returns the serial layer's description when refused, else empty.
  QString FallBackToDefaultSpeed();

  CommControl& port() { return port_; }
  std::array<bool, kScannedPorts> PortAvailable{};
  bool TcpIpMode = false;
  // Where the serial devices present come from; tests put a fixed list in its place.
  std::function<QList<SerialDevice>()> listDevices = DetectedSerialDevices;

 private:
  // Closes an open port around the change so it ends open or closed as it was.
  QString ApplyToPort(const std::function<void()>& change);

  CommControl& port_;
  PortDisplay& display_;
  MessageFn message_;
  QMetaObject::Connection lostConnection_;
};

}  // namespace kestrel
