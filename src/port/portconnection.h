#pragma once

#include <QMetaObject>
#include <QString>
#include <array>
#include <functional>
#include <optional>

#include "port/commcontrol.h"

namespace kestrel {

// Shows a modal message: text, title (empty = the application title "Kestrel II Logo loader").
using MessageFn = std::function<void(const QString& text, const QString& title)>;

inline constexpr char kApplicationTitle[] = "Kestrel II Logo loader";

// What the port connection shows; the main window implements it, a fake in tests.
class PortDisplay {
 public:
  virtual ~PortDisplay() = default;
  virtual void setPanelText(int panel, const QString& text) = 0;  // status-bar panels 1..5
  virtual QString panelText(int panel) const = 0;
  virtual QString connectCaption() const = 0;  // mnuConnect
  virtual void setConnectCaption(const QString& caption) = 0;
  virtual void setPortMenusEnabled(bool enabled) = 0;  // mnuPort and mnuSettings
};

// Port texts: a number with a blank in the sign position (" 3"), as stored and shown.
QString PortNumberText(int port);

// The port number a stored "CommPort" text stands for: the leading number (blanks, tabs and
// line feeds ignored; no number = 0), rounded half to even. nullopt when it does not fit a
// signed 16-bit number.
std::optional<int> CommPortNumberFromText(const QString& text);

// Life of the serial connection: start-up, the Open/Close command, OpenPortAndShowState.
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

  CommControl& port() { return port_; }
  std::array<bool, 8> PortAvailable{};
  bool TcpIpMode = false;

 private:
  CommControl& port_;
  PortDisplay& display_;
  MessageFn message_;
  QMetaObject::Connection lostConnection_;
};

}  // namespace kestrel
