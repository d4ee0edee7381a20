#pragma once

#include <QObject>
#include <QString>

#include "port/commsettings.h"

namespace kestrel {

class PortConnection;

// The serial connection as a window or a command line shows it; the port connection is its
// only writer. changed() follows every change.
class PortState : public QObject {
  Q_OBJECT

 public:
  using QObject::QObject;

  // Whether start-up (or a command since) has put the state on show; until then a window
  // shows its design texts.
  bool shown() const { return shown_; }
  bool isOpen() const { return open_; }
  // The COM number in force; with a device named directly, one that leads to it, or 0.
  int comNumber() const { return comNumber_; }
  const QString& namedDevice() const { return namedDevice_; }  // empty: the number decides
  bool tcpIpMode() const { return tcpIpMode_; }
  const LineSettings& lineSettings() const { return lineSettings_; }
  // False from the TCP/IP choice until a speed is applied again: nothing to show.
  bool lineSettingsShown() const { return lineSettingsShown_; }
  // The device open now (links resolved), and whether a program plays the device there.
  const QString& openDevice() const { return openDevice_; }
  bool onPseudoTerminal() const { return onPseudoTerminal_; }
  // Port and speed are chosen while the port is closed.
  bool mayChangePort() const { return !open_; }
  // A first start (the settings file names no port) whose default port did not open: what to
  // do instead, naming the adapter found. Empty once a port is open or chosen.
  const QString& startHint() const { return startHint_; }

 Q_SIGNALS:
  void changed();

 private:
  friend class PortConnection;
  template <typename T>
  void set(T& field, const T& value) {
    if (field == value) return;
    field = value;
    Q_EMIT changed();
  }

  bool shown_ = false;
  bool open_ = false;
  int comNumber_ = 1;
  QString namedDevice_;
  bool tcpIpMode_ = false;
  LineSettings lineSettings_{};
  bool lineSettingsShown_ = true;
  QString openDevice_;
  bool onPseudoTerminal_ = false;
  QString startHint_;
};

// What the status bar and the Comm menu show for a state: panels 1 to 3, the caption of
// Comm > Open/Close and whether Port and Settings may be chosen.
struct PortStatusTexts {
  QString state;
  QString port;
  QString lineSettings;
  QString connectCaption;
  bool portMenusEnabled = true;

  bool operator==(const PortStatusTexts&) const = default;
};
PortStatusTexts StatusTextsOf(const PortState& state);

// Port texts: a number with a blank in the sign position (" 3"), as stored and shown.
QString PortNumberText(int port);

}  // namespace kestrel
