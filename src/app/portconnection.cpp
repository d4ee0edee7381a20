#include "app/portconnection.h"

#include <QDir>
#include <QObject>
#include <QStringList>
#include <cmath>

#include "app/usertexts.h"
#include "settings/inifile.h"
#include "settings/programfolder.h"

namespace kestrel {

namespace {

const QString kPortOpened = QString::fromLatin1(kPortOpenedPanel);
const QString kPortClosed = QString::fromLatin1(kPortClosedPanel);
const QString kCaptionOpen = QString::fromLatin1(kConnectCaptionOpen);
const QString kCaptionClose = QString::fromLatin1(kConnectCaptionClose);
const QString kLineSuffix = QStringLiteral(",n,8,1");

QString NotWrittenText(const QString& problem) {
  QString text = QString::fromLatin1(kSettingsNotWrittenMessage)
                     .arg(QDir::toNativeSeparators(
                         QDir(SettingsFolder()).filePath(QString::fromLatin1(kIniFileName))));
  if (!problem.isEmpty()) text += QLatin1Char('\r') + problem;
  return text;
}

// What to tell the user when the choice will not be there at the next start; else empty.
QString StoreSetting(const QString& key, const QString& value) {
  QString problem;
  if (ArchivoIni::WriteIniValue(QString::fromLatin1(kIniFileName), QString::fromLatin1(kIniSection),
                                key, value, &problem))
    return {};
  return NotWrittenText(problem);
}

// Both failures of one OK, each in its own paragraph.
QString Together(const QString& first, const QString& second) {
  if (first.isEmpty()) return second;
  if (second.isEmpty()) return first;
  return first + QStringLiteral("\r\r") + second;
}

QString PortPanelText(int port) {
  return QString::fromLatin1(kPortPanelPrefix) + PortNumberText(port);
}

QString SpeedOf(const QString& settings) {
  return settings.left(settings.indexOf(QLatin1Char(',')));
}

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

// The description the system gives the device, when it lists it.
QString DescriptionOf(const QString& device, const QList<SerialDevice>& detected) {
  for (const SerialDevice& candidate : detected)
    if (candidate.device == device) return candidate.description;
  return {};
}

double RoundHalfToEven(double v) {
  const double low = std::floor(v);
  const double diff = v - low;
  if (diff > 0.5) return low + 1;
  if (diff < 0.5) return low;
  return std::fmod(low, 2.0) == 0 ? low : low + 1;
}

}  // namespace

void PortStatusTexts::setPanelText(int panel, const QString& text) {
  if (panel >= 1 && panel <= int(panels_.size())) panels_[size_t(panel - 1)] = text;
}

QString PortStatusTexts::panelText(int panel) const {
  return panel >= 1 && panel <= int(panels_.size()) ? panels_[size_t(panel - 1)] : QString();
}

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

StoredPort ReadStoredPort() {
  const QString iniFile = QString::fromLatin1(kIniFileName);
  const QString section = QString::fromLatin1(kIniSection);
  StoredPort stored;
  if (const auto n = CommPortNumberFromText(
          ArchivoIni::ReadIniValue(iniFile, section, QStringLiteral("CommPort"))))
    stored.number = *n;
  stored.settings = ArchivoIni::ReadIniValue(iniFile, section, QStringLiteral("Baud"));
  return stored;
}

int ComPortOrDefault(int storedNumber) {
  return storedNumber >= 1 && storedNumber <= kHighestPortNumber ? storedNumber : kDefaultComPort;
}

QString PortCannotBeOpenedText(const CommError& error) {
  QString text = QString::fromLatin1(kPortCannotBeOpenedMessage);
  if (!error.device().isEmpty()) text += QLatin1Char('\r') + error.device();
  return text;
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

  // The scan decides without opening anything. It still leaves each number in force in turn,
  // so without a usable number in the file start-up goes on with the last, kDefaultComPort:
  // said here in so many words, as kestrel-load and the simulator go by it.
  for (int i = 0; i < int(PortAvailable.size()); ++i)
    PortAvailable[i] =
        step([&] { port_.setCommPort(i + 1); }) != CommErr::PortNotExist && port_.PortExists(i + 1);

  const StoredPort stored = ReadStoredPort();
  const QString& settings = stored.settings;

  step([&] { port_.setCommPort(ComPortOrDefault(stored.number)); });
  step([&] { port_.setSettings(settings); });
  port_.setInputLen(0);
  port_.setRThreshold(1);
  port_.setSThreshold(1);
  step([&] { port_.setPortOpen(true); });

  display_.setPanelText(3, port_.Settings());
  // The port in force, which is not the number read when the port refused it.
  display_.setPanelText(2, PortPanelText(port_.CommPort()));
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
        message_(PortCannotBeOpenedText(error), QString());
        break;
      case CommErr::PortInUse:
        message_(QString::fromLatin1(kPortUsedByOtherMessage),
                 QString::fromLatin1(kPortErrorTitle));
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

QString PortConnection::ApplyToPort(const std::function<void()>& change) {
  try {
    if (port_.PortOpen()) {
      port_.setPortOpen(false);
      change();
      port_.setPortOpen(true);
    } else {
      change();
    }
  } catch (const CommError& error) {
    // A failed reopen leaves the port closed; the window must say so.
    ShowPortState();
    return error.description();
  }
  return {};
}

QString PortConnection::ChangePort(int chosenPort, int portAtOpen) {
  TcpIpMode = false;
  QString error;
  if (chosenPort != portAtOpen) {
    error = ApplyToPort([&] { port_.setCommPort(chosenPort); });
    // Only a number the port took is remembered.
    if (port_.CommPort() == chosenPort)
      error = Together(error, StoreSetting(QStringLiteral("CommPort"), PortNumberText(chosenPort)));
  }
  display_.setPanelText(2, PortPanelText(port_.CommPort()));
  return error;
}

QString PortConnection::ChooseTcpIp(int portAtOpen) {
  TcpIpMode = true;
  if (portAtOpen == kTcpIpPort) return {};
  const QString error = StoreSetting(QStringLiteral("CommPort"), QStringLiteral("TCP"));
  display_.setPanelText(2, QString::fromLatin1(kTcpIpPanel));
  display_.setPanelText(3, QString());
  return error;
}

QString PortConnection::ChangeSpeed(const QString& chosenBaud, const QString& baudAtOpen) {
  const QString settings = chosenBaud + kLineSuffix;
  QString error;
  if (chosenBaud != baudAtOpen) {
    error = ApplyToPort([&] { port_.setSettings(settings); });
    // Only a speed the port took is remembered.
    for (const BaudEntry& entry : kBaudEntries) {
      if (chosenBaud == QLatin1String(entry.speed) && SpeedOf(port_.Settings()) == chosenBaud) {
        error = Together(error,
                         StoreSetting(QStringLiteral("Baud"), QString::fromLatin1(entry.stored)));
        break;
      }
    }
  }
  // What the port keeps, also parity and bits that this dialog does not offer.
  display_.setPanelText(3, port_.Settings());
  return error;
}

QString PortConnection::FallBackToDefaultSpeed() {
  try {
    port_.setSettings(QString::fromLatin1(kBaudEntries[kFallbackBaudIndex].speed) + kLineSuffix);
  } catch (const CommError& error) {
    return error.description();
  }
  // In force from now on, whatever the user answers.
  display_.setPanelText(3, port_.Settings());
  return {};
}

void PortConnection::RefreshPortAvailability() {
  for (int i = 0; i < int(PortAvailable.size()); ++i) PortAvailable[i] = port_.PortExists(i + 1);
}

PortOverview PortConnection::Overview() {
  RefreshPortAvailability();
  PortOverview overview;
  overview.detected = listDevices();
  for (size_t i = 0; i < overview.entries.size(); ++i) {
    PortOverview::Entry& entry = overview.entries[i];
    entry.target = ResolvePort(int(i) + 1);
    entry.description = DescriptionOf(entry.target.device, overview.detected);
    entry.available = PortAvailable[i];
  }
  return overview;
}

QString PortConnection::AssignDevice(int port, const QString& device) {
  QString problem;
  const bool stored = WriteDeviceAssignment(port, device, &problem);
  RefreshPortAvailability();
  return stored ? QString() : NotWrittenText(problem);
}

QString PortConnection::PortPanelToolTip() const {
  const int port = port_.CommPort();
  if (TcpIpMode || port < 1 || port > kHighestPortNumber) return {};
  const PortTarget target = ResolvePort(port);
  QStringList parts{target.shown()};
  if (!target.usable())
    parts << QStringLiteral("(%1)").arg(QLatin1String(kNoDeviceNameNote));
  else if (const QString description = DescriptionOf(target.device, listDevices());
           !description.isEmpty())
    parts << description;
  if (target.usable() && !port_.PortOpen() && !port_.PortExists(port))
    parts << QStringLiteral("(%1)").arg(QLatin1String(kDeviceAbsentNote));
  if (target.source == PortSource::Assignment)
    parts << QStringLiteral("(%1)").arg(
        QString::fromLatin1(kPortFromAssignment).arg(QLatin1String(kIniFileName)));
  else if (target.source == PortSource::FolderEntry)
    parts << QStringLiteral("(%1)").arg(
        QString::fromLatin1(kPortFromFolderEntry).arg(target.named));
  return parts.join(QStringLiteral("  "));
}

QString SettingsNotKeptText() {
  const QString problem = SettingsFolderProblem();
  if (problem.isEmpty()) return {};
  return QString::fromLatin1(kSettingsNotKeptMessage)
      .arg(QDir::toNativeSeparators(ProgramFolder()), QDir::toNativeSeparators(SettingsFolder()),
           problem);
}

}  // namespace kestrel
