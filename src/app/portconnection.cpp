#include "app/portconnection.h"

#include <QDir>
#include <QStringList>

#include "settings/inifile.h"
#include "settings/portsettings.h"
#include "settings/programfolder.h"
#include "texts/usertexts.h"

namespace kestrel {

namespace {

QString NotWrittenText(const QString& problem) {
  return texts::SettingsNotWrittenMessage(
      QDir::toNativeSeparators(QDir(SettingsFolder()).filePath(QString::fromLatin1(kIniFileName))),
      problem);
}

// What to tell the user when a choice will not be there at the next start; else empty.
QString Stored(const std::function<bool(QString*)>& store) {
  QString problem;
  return store(&problem) ? QString() : NotWrittenText(problem);
}

// The description the system gives the device, when it lists it.
QString DescriptionOf(const QString& device, const QList<SerialDevice>& detected) {
  for (const SerialDevice& candidate : detected)
    if (candidate.device == device) return candidate.description;
  return {};
}

// A newcomer's adapter: the one USB adapter there (built-in ports are rarely what a device
// hangs on), else the one serial device; the count when there are several.
QString StartHint(const QList<SerialDevice>& detected) {
  QList<SerialDevice> adapters;
  for (const SerialDevice& device : detected)
    if (device.usb) adapters << device;
  if (adapters.isEmpty()) adapters = detected;
  if (adapters.isEmpty()) return texts::NoAdapterFoundHint();
  if (adapters.size() > 1) return texts::AdaptersFoundHint(int(adapters.size()));
  return texts::AdapterFoundHint(QDir::toNativeSeparators(adapters.front().device));
}

}  // namespace

PortConnection::PortConnection(CommControl& port, MessageFn message, DeviceExistsFn deviceExists)
    : port_(port), message_(std::move(message)), deviceExists_(std::move(deviceExists)) {
  // Also a pulled adapter, which closes the port behind our back: shown at once.
  QObject::connect(&port_, &CommControl::openChanged, &state_, [this] {
    follow();
    state_.set(state_.shown_, true);
  });
}

void PortConnection::follow() {
  if (port_.isOpen()) state_.set(state_.startHint_, QString());
  state_.set(state_.open_, port_.isOpen());
  state_.set(state_.openDevice_, port_.openDevice());
  state_.set(state_.onPseudoTerminal_, port_.onPseudoTerminal());
}

QString PortConnection::deviceInForce() const {
  return state_.namedDevice_.isEmpty() ? ResolvePort(state_.comNumber_).shown()
                                       : state_.namedDevice_;
}

bool PortConnection::available(int comNumber) const {
  const PortTarget target = ResolvePort(comNumber);
  return target.usable() && deviceExists_(target.device);
}

void PortConnection::open() {
  if (!state_.namedDevice_.isEmpty()) {
    port_.open(state_.namedDevice_, state_.lineSettings_);
    return;
  }
  const PortTarget target = ResolvePort(state_.comNumber_);
  if (!target.usable()) {
    CommError::Details details;
    details.port = QStringLiteral("COM%1").arg(state_.comNumber_);
    details.device = target.named;
    throw CommError(CommErr::PortNotExist, CommError::Kind::NoDeviceAssigned, details);
  }
  port_.open(target.device, state_.lineSettings_, QStringLiteral("COM%1").arg(state_.comNumber_));
}

void PortConnection::setTcpIpMode(bool on) {
  // Nothing to show for the line in TCP/IP mode until a speed is applied again.
  if (on) state_.set(state_.lineSettingsShown_, false);
  state_.set(state_.tcpIpMode_, on);
}

void PortConnection::startUp(const PortChoice& choice) {
  setTcpIpMode(false);

  // The scan decides without opening anything. It leaves each number in force in turn, the
  // last being kDefaultComPort: what stays when nothing names another.
  for (int i = 0; i < int(PortAvailable.size()); ++i) {
    setComNumber(i + 1);
    PortAvailable[size_t(i)] = available(i + 1);
  }

  const StoredPort stored = ReadStoredPort();
  if (!choice.device.isEmpty()) {
    state_.set(state_.namedDevice_, choice.device);
    const QList<int> numbers = PortsUsingDevice(choice.device);
    setComNumber(numbers.isEmpty() ? 0 : numbers.front());
  } else {
    setComNumber(choice.comNumber.value_or(stored.comNumber.value_or(kDefaultComPort)));
  }
  if (const auto settings = choice.lineSettings ? choice.lineSettings : stored.lineSettings)
    setLineSettings(*settings);
  state_.set(state_.lineSettingsShown_, true);

  if (choice.open) {
    try {
      open();
    } catch (const CommError&) {
      // Start-up goes on whatever fails, and says nothing.
    }
    // The default port of a first start seldom exists.
    if (!port_.isOpen() && !choice.comNumber && choice.device.isEmpty() && !stored.comNumber)
      state_.set(state_.startHint_, StartHint(listDevices()));
  }
  state_.set(state_.shown_, true);
}

void PortConnection::openOrClose() {
  try {
    if (port_.isOpen())
      port_.close();
    else
      open();
  } catch (const CommError& error) {
    if (!message_) return;
    QString title;
    const QString text = texts::OpenFailureMessage(error, &title);
    message_(text, title);
  }
}

void PortConnection::ensureOpen() {
  if (!port_.isOpen()) open();
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
    // A failed reopen leaves the port closed, and the state says so.
    return error;
  }
  return std::nullopt;
}

QString PortConnection::changePort(int chosenPort, int portAtOpen) {
  state_.set(state_.startHint_, QString());
  setTcpIpMode(false);
  state_.set(state_.shown_, true);
  std::optional<CommError> error;
  if (chosenPort != portAtOpen) {
    error = applyToPort([&] {
      if (chosenPort < 1 || chosenPort > kHighestComNumber) {
        CommError::Details details;
        details.port = QString::number(chosenPort);
        throw CommError(CommErr::PortNotExist, CommError::Kind::InvalidNumber, details);
      }
      setComNumber(chosenPort);
    });
  }
  QString message = error ? texts::CommErrorText(*error) : QString();
  // Only a number taken is remembered.
  if (chosenPort != portAtOpen && state_.comNumber_ == chosenPort)
    message = texts::Together(
        message, Stored([&](QString* problem) { return StoreComNumber(chosenPort, problem); }));
  return message;
}

QString PortConnection::chooseTcpIp(int portAtOpen) {
  const bool wasTcpIp = portAtOpen == kTcpIpPort;
  setTcpIpMode(true);
  state_.set(state_.shown_, true);
  if (wasTcpIp) return {};
  return Stored([](QString* problem) { return StoreTcpIp(problem); });
}

QString PortConnection::changeSpeed(const QString& chosenBaud, const QString& baudAtOpen) {
  state_.set(state_.shown_, true);
  std::optional<CommError> error;
  if (chosenBaud != baudAtOpen) {
    const LineSettings before = state_.lineSettings_;
    LineSettings chosen;
    chosen.baud = chosenBaud.toInt();
    error = applyToPort([&] { setLineSettings(chosen); });
    if (error && error->number() == CommErr::SetStateFailed) {
      // The device refused them: it goes on with what it had.
      setLineSettings(before);
      try {
        open();
      } catch (const CommError&) {
      }
    }
  }
  state_.set(state_.lineSettingsShown_, true);
  QString message = error ? texts::CommErrorText(*error) : QString();
  // Only a speed taken is remembered.
  if (chosenBaud != baudAtOpen && state_.lineSettings_.baud == chosenBaud.toInt())
    message = texts::Together(message, Stored([&](QString* problem) {
                                return StoreBaud(state_.lineSettings_.baud, problem);
                              }));
  return message;
}

QString PortConnection::fallBackToDefaultSpeed() {
  LineSettings fallback;
  fallback.baud = QString::fromLatin1(kBaudSpeeds[kFallbackBaudIndex]).toInt();
  try {
    if (port_.isOpen()) port_.setLineSettings(fallback);
  } catch (const CommError& error) {
    return texts::CommErrorText(error);
  }
  // In force from now on, whatever the user answers.
  setLineSettings(fallback);
  state_.set(state_.lineSettingsShown_, true);
  state_.set(state_.shown_, true);
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
  if (state_.tcpIpMode_) return {};
  PortTarget target;
  if (state_.namedDevice_.isEmpty()) {
    if (state_.comNumber_ < 1 || state_.comNumber_ > kHighestComNumber) return {};
    target = ResolvePort(state_.comNumber_);
  } else {
    target.device = state_.namedDevice_;
  }
  QStringList parts{target.shown()};
  if (!target.usable())
    parts << QStringLiteral("(%1)").arg(texts::NoDeviceNameNote());
  else if (const QString description = DescriptionOf(target.device, listDevices());
           !description.isEmpty())
    parts << description;
  if (target.usable() && !port_.isOpen() && !deviceExists_(target.device))
    parts << QStringLiteral("(%1)").arg(texts::DeviceAbsentNote());
  if (target.source == PortSource::Assignment)
    parts << QStringLiteral("(%1)").arg(texts::AssignedInNote(QLatin1String(kIniFileName)));
  else if (target.source == PortSource::FolderEntry)
    parts << QStringLiteral("(%1)").arg(texts::FolderEntryNote(target.named));
  return parts.join(QStringLiteral("  "));
}

QString SettingsNotKeptText() {
  const QString problem = SettingsFolderProblem();
  if (problem.isEmpty()) return {};
  return texts::SettingsNotKeptMessage(QDir::toNativeSeparators(ProgramFolder()),
                                       QDir::toNativeSeparators(SettingsFolder()), problem);
}

}  // namespace kestrel
