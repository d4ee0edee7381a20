#include "app/portconnection.h"

#include <QDir>
#include <QObject>
#include <QStringList>

#include "app/usertexts.h"
#include "settings/inifile.h"
#include "settings/portsettings.h"
#include "settings/programfolder.h"

namespace kestrel {

namespace {

const QString kPortOpened = QString::fromLatin1(kPortOpenedPanel);
const QString kPortClosed = QString::fromLatin1(kPortClosedPanel);
const QString kCaptionOpen = QString::fromLatin1(kConnectCaptionOpen);
const QString kCaptionClose = QString::fromLatin1(kConnectCaptionClose);

QString NotWrittenText(const QString& problem) {
  QString text = QString::fromLatin1(kSettingsNotWrittenMessage)
                     .arg(QDir::toNativeSeparators(
                         QDir(SettingsFolder()).filePath(QString::fromLatin1(kIniFileName))));
  if (!problem.isEmpty()) text += QLatin1Char('\r') + problem;
  return text;
}

// What to tell the user when a choice will not be there at the next start; else empty.
QString Stored(const std::function<bool(QString*)>& store) {
  QString problem;
  return store(&problem) ? QString() : NotWrittenText(problem);
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

// The description the system gives the device, when it lists it.
QString DescriptionOf(const QString& device, const QList<SerialDevice>& detected) {
  for (const SerialDevice& candidate : detected)
    if (candidate.device == device) return candidate.description;
  return {};
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

QString PortCannotBeOpenedText(const CommError& error) {
  QString text = QString::fromLatin1(kPortCannotBeOpenedMessage);
  if (!error.device().isEmpty()) text += QLatin1Char('\r') + error.device();
  return text;
}

PortConnection::PortConnection(CommControl& port, PortDisplay& display, MessageFn message,
                               DeviceExistsFn deviceExists)
    : port_(port),
      display_(display),
      message_(std::move(message)),
      deviceExists_(std::move(deviceExists)) {
  // A pulled adapter closes the port behind our back; show it at once.
  lostConnection_ = QObject::connect(&port_, &CommControl::lost, &port_, [this] { showPortState(); });
}

PortConnection::~PortConnection() { QObject::disconnect(lostConnection_); }

QString PortConnection::deviceInForce() const {
  return namedDevice_.isEmpty() ? ResolvePort(comNumber_).shown() : namedDevice_;
}

bool PortConnection::available(int comNumber) const {
  const PortTarget target = ResolvePort(comNumber);
  return target.usable() && deviceExists_(target.device);
}

void PortConnection::open() {
  if (!namedDevice_.isEmpty()) {
    port_.open(namedDevice_, lineSettings_);
    return;
  }
  const PortTarget target = ResolvePort(comNumber_);
  if (!target.usable())
    throw CommError(CommErr::PortNotExist,
                    QStringLiteral("The serial port COM%1 does not exist: its assignment \"%2\" "
                                   "in %3 names no device.")
                        .arg(comNumber_)
                        .arg(target.named, QLatin1String(kIniFileName)),
                    target.named);
  port_.open(target.device, lineSettings_);
}

void PortConnection::startUp() {
  TcpIpMode = false;

  // The scan decides without opening anything. It still leaves each number in force in turn,
  // so without a usable number in the file start-up goes on with COM 8.
  for (int i = 0; i < int(PortAvailable.size()); ++i) {
    comNumber_ = i + 1;
    PortAvailable[size_t(i)] = available(comNumber_);
  }

  const StoredPort stored = ReadStoredPort();
  if (stored.comNumber) comNumber_ = *stored.comNumber;
  if (stored.lineSettings) lineSettings_ = *stored.lineSettings;
  try {
    open();
  } catch (const CommError&) {
    // Start-up goes on whatever fails, and says nothing.
  }

  display_.setPanelText(3, FormatLineSettings(lineSettings_));
  display_.setPanelText(2, PortPanelText(comNumber_));
  showPortState();
}

void PortConnection::openOrClose() {
  try {
    if (display_.connectCaption() == kCaptionOpen) {
      if (port_.isOpen()) port_.close();
      open();
      display_.setPortMenusEnabled(false);
      display_.setConnectCaption(kCaptionClose);
      display_.setPanelText(1, kPortOpened);
    } else {
      port_.close();
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

void PortConnection::ensureOpen() {
  if (!port_.isOpen()) open();
  showPortState();
}

void PortConnection::showPortState() {
  if (port_.isOpen()) {
    display_.setPanelText(1, kPortOpened);
    display_.setConnectCaption(kCaptionClose);
    display_.setPortMenusEnabled(false);
  } else {
    display_.setConnectCaption(kCaptionOpen);
    display_.setPanelText(1, kPortClosed);
    display_.setPortMenusEnabled(true);
  }
}

std::optional<CommError> PortConnection::applyToPort(const std::function<void()>& change) {
  try {
    if (port_.isOpen()) {
      port_.close();
      change();
      open();
    } else {
      change();
    }
  } catch (const CommError& error) {
    // A failed reopen leaves the port closed; the window must say so.
    showPortState();
    return error;
  }
  return std::nullopt;
}

QString PortConnection::changePort(int chosenPort, int portAtOpen) {
  TcpIpMode = false;
  std::optional<CommError> error;
  if (chosenPort != portAtOpen) {
    error = applyToPort([&] {
      if (chosenPort < 1 || chosenPort > kHighestComNumber)
        throw CommError(CommErr::PortNotExist,
                        QStringLiteral("Invalid port number %1").arg(chosenPort));
      comNumber_ = chosenPort;
    });
  }
  QString message = error ? error->description() : QString();
  // Only a number taken is remembered.
  if (chosenPort != portAtOpen && comNumber_ == chosenPort)
    message = Together(message, Stored([&](QString* problem) {
                         return StoreComNumber(chosenPort, problem);
                       }));
  display_.setPanelText(2, PortPanelText(comNumber_));
  return message;
}

QString PortConnection::chooseTcpIp(int portAtOpen) {
  TcpIpMode = true;
  if (portAtOpen == kTcpIpPort) return {};
  const QString error = Stored([](QString* problem) { return StoreTcpIp(problem); });
  display_.setPanelText(2, QString::fromLatin1(kTcpIpPanel));
  display_.setPanelText(3, QString());
  return error;
}

QString PortConnection::changeSpeed(const QString& chosenBaud, const QString& baudAtOpen) {
  std::optional<CommError> error;
  if (chosenBaud != baudAtOpen) {
    const LineSettings before = lineSettings_;
    LineSettings chosen;
    chosen.baud = chosenBaud.toInt();
    error = applyToPort([&] { lineSettings_ = chosen; });
    if (error && error->number() == CommErr::SetStateFailed) {
      // The device refused them: it goes on with what it had.
      lineSettings_ = before;
      try {
        open();
      } catch (const CommError&) {
      }
      showPortState();
    }
  }
  QString message = error ? error->description() : QString();
  // Only a speed taken is remembered.
  if (chosenBaud != baudAtOpen && lineSettings_.baud == chosenBaud.toInt())
    message = Together(message, Stored([&](QString* problem) {
                         return StoreBaud(lineSettings_.baud, problem);
                       }));
  // What is in force, also parity and bits that this dialog does not offer.
  display_.setPanelText(3, FormatLineSettings(lineSettings_));
  return message;
}

QString PortConnection::fallBackToDefaultSpeed() {
  LineSettings fallback;
  fallback.baud = QString::fromLatin1(kBaudEntries[kFallbackBaudIndex].speed).toInt();
  try {
    if (port_.isOpen()) port_.setLineSettings(fallback);
  } catch (const CommError& error) {
    return error.description();
  }
  lineSettings_ = fallback;
  // In force from now on, whatever the user answers.
  display_.setPanelText(3, FormatLineSettings(lineSettings_));
  return {};
}

void PortConnection::refreshPortAvailability() {
  for (int i = 0; i < int(PortAvailable.size()); ++i) PortAvailable[size_t(i)] = available(i + 1);
}

PortOverview PortConnection::overview() {
  refreshPortAvailability();
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

QString PortConnection::assignDevice(int comNumber, const QString& device) {
  const QString error =
      Stored([&](QString* problem) { return StoreDeviceAssignment(comNumber, device, problem); });
  refreshPortAvailability();
  return error;
}

QString PortConnection::portToolTip() const {
  if (TcpIpMode) return {};
  PortTarget target;
  if (namedDevice_.isEmpty()) {
    if (comNumber_ < 1 || comNumber_ > kHighestComNumber) return {};
    target = ResolvePort(comNumber_);
  } else {
    target.device = namedDevice_;
  }
  QStringList parts{target.shown()};
  if (!target.usable())
    parts << QStringLiteral("(%1)").arg(QLatin1String(kNoDeviceNameNote));
  else if (const QString description = DescriptionOf(target.device, listDevices());
           !description.isEmpty())
    parts << description;
  if (target.usable() && !port_.isOpen() && !deviceExists_(target.device))
    parts << QStringLiteral("(%1)").arg(QLatin1String(kDeviceAbsentNote));
  if (target.source == PortSource::Assignment)
    parts << QStringLiteral("(%1)").arg(
        QString::fromLatin1(kPortFromAssignment).arg(QLatin1String(kIniFileName)));
  else if (target.source == PortSource::FolderEntry && namedDevice_.isEmpty())
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
