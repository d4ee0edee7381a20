#include "port/portconnection.h"

#include <QObject>
#include <cmath>

#include "port/inifile.h"

namespace kestrel {

namespace {

const QString kPortOpened = QStringLiteral("Port opened");
const QString kPortClosed = QStringLiteral("Port closed");
const QString kCaptionOpen = QStringLiteral("Open");
const QString kCaptionClose = QStringLiteral("Close");

// The numeric value of the number a text begins with; 0 when it begins with none.
double LeadingNumber(const QString& text) {
  QString s;
  s.reserve(text.size());
  for (QChar c : text)
    if (c != QLatin1Char(' ') && c != QLatin1Char('\t') && c != QLatin1Char('\n')) s += c;

  qsizetype i = 0;
  const auto digitAt = [&s](qsizetype k) {
    return k < s.size() && s[k].isDigit() && s[k].unicode() < 128;
  };
  QString number;
  if (i < s.size() && (s[i] == QLatin1Char('+') || s[i] == QLatin1Char('-'))) number += s[i++];
  bool anyDigit = false;
  while (digitAt(i)) {
    number += s[i++];
    anyDigit = true;
  }
  if (i < s.size() && s[i] == QLatin1Char('.')) {
    number += s[i++];
    while (digitAt(i)) {
      number += s[i++];
      anyDigit = true;
    }
  }
  if (!anyDigit) return 0;
  // An exponent counts only when digits follow its letter (and optional sign).
  if (i < s.size() && QStringLiteral("eEdD").contains(s[i])) {
    qsizetype k = i + 1;
    QString exponent = QStringLiteral("e");
    if (k < s.size() && (s[k] == QLatin1Char('+') || s[k] == QLatin1Char('-'))) exponent += s[k++];
    if (digitAt(k)) {
      while (digitAt(k)) exponent += s[k++];
      number += exponent;
    }
  }
  bool ok = false;
  const double value = number.toDouble(&ok);
  return ok ? value : HUGE_VAL;  // only an exponent too large for a double fails here
}

double RoundHalfToEven(double v) {
  const double low = std::floor(v);
  const double diff = v - low;
  if (diff > 0.5) return low + 1;
  if (diff < 0.5) return low;
  return std::fmod(low, 2.0) == 0 ? low : low + 1;
}

}  // namespace

QString PortNumberText(int port) {
  return port < 0 ? QString::number(port) : QLatin1Char(' ') + QString::number(port);
}

std::optional<int> CommPortNumberFromText(const QString& text) {
  const double value = LeadingNumber(text);
  if (!std::isfinite(value)) return std::nullopt;
  const double rounded = RoundHalfToEven(value);
  if (rounded < -32768 || rounded > 32767) return std::nullopt;
  return static_cast<int>(rounded);
}

PortConnection::PortConnection(CommControl& port, PortDisplay& display, MessageFn message)
    : port_(port), display_(display), message_(std::move(message)) {
  // A pulled adapter closes the port behind our back; show it at once.
  lostConnection_ =
      QObject::connect(&port_, &CommControl::PortLost, &port_, [this] { ShowPortState(); });
}

PortConnection::~PortConnection() { QObject::disconnect(lostConnection_); }

void PortConnection::FormLoad() {
  // Every step is skipped on failure and start-up goes on; nothing is shown to the user.
  const auto step = [](auto&& action) {
    try {
      action();
      return 0;
    } catch (const CommError& error) {
      return error.number();
    }
  };

  TcpIpMode = false;

  for (int i = 0; i < int(PortAvailable.size()); ++i) {
    PortAvailable[i] = true;
    if (step([&] { port_.setCommPort(i + 1); }) == CommErr::PortNotExist) PortAvailable[i] = false;
    if (step([&] { port_.setPortOpen(true); }) == CommErr::PortNotExist) PortAvailable[i] = false;
    if (step([&] {
          if (port_.PortOpen()) port_.setPortOpen(false);
        }) == CommErr::PortNotExist)
      PortAvailable[i] = false;
  }

  const QString iniFile = QString::fromLatin1(kIniFileName);
  const QString section = QString::fromLatin1(kIniSection);
  int portNumber = 0;
  if (const auto n = CommPortNumberFromText(
          ArchivoIni::ReadIniValue(iniFile, section, QStringLiteral("CommPort"))))
    portNumber = *n;
  const QString settings = ArchivoIni::ReadIniValue(iniFile, section, QStringLiteral("Baud"));

  step([&] { port_.setCommPort(portNumber); });
  step([&] { port_.setSettings(settings); });
  port_.setInputLen(0);
  port_.setRThreshold(1);
  port_.setSThreshold(1);
  step([&] { port_.setPortOpen(true); });

  display_.setPanelText(3, port_.Settings());
  display_.setPanelText(2, QStringLiteral("COM ") + PortNumberText(portNumber));
  ShowPortState();
}

void PortConnection::mnuConnect_Click() {
  try {
    if (display_.connectCaption() == kCaptionOpen) {
      if (port_.PortOpen()) port_.setPortOpen(false);
      port_.setPortOpen(true);
      display_.setPortMenusEnabled(false);
      display_.setConnectCaption(kCaptionClose);
      display_.setPanelText(1, kPortOpened);
    } else {
      port_.setPortOpen(false);
      display_.setConnectCaption(kCaptionOpen);
      display_.setPanelText(1, kPortClosed);
      display_.setPortMenusEnabled(true);
    }
  } catch (const CommError& error) {
    if (!message_) return;
    switch (error.number()) {
      case CommErr::PortNotExist:
        message_(QStringLiteral("Serial port cannot be opened. Check setting."), QString());
        break;
      case CommErr::PortInUse:
        message_(QStringLiteral("Port is used by other aplication"), QStringLiteral("Port Error"));
        break;
      default:
        message_(error.description(), QString());
        break;
    }
  }
}

void PortConnection::OpenPortAndShowState() {
  if (!port_.PortOpen()) port_.setPortOpen(true);
  ShowPortState();
}

void PortConnection::ShowPortState() {
  if (port_.PortOpen()) {
    display_.setPanelText(1, kPortOpened);
    display_.setConnectCaption(kCaptionClose);
    display_.setPortMenusEnabled(false);
  } else {
    display_.setConnectCaption(kCaptionOpen);
    display_.setPanelText(1, kPortClosed);
    display_.setPortMenusEnabled(true);
  }
}

}  // namespace kestrel
