#include "cli/loadcommand.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QTimer>
#include <algorithm>
#include <array>
#include <memory>
#include <vector>

#include "app/comports.h"
#include "app/downloadrecorder.h"
#include "app/loadersession.h"
#include "app/portconnection.h"
#include "cli/terminal.h"
#include "files/fileaccess.h"
#include "kestrel/version.h"
#include "link/wirelog.h"
#include "picture/convertoptions.h"
#include "picture/logosource.h"
#include "picture/pictureread.h"
#include "port/portnames.h"
#include "port/serialcomm.h"
#include "texts/picturetexts.h"
#include "texts/usertexts.h"

namespace kestrel::cli {

namespace {

constexpr int kProgressWidth = 40;
constexpr int kDeviceWatchMs = 250;
// A replugged adapter's node appears before the system has set its owner and mode.
constexpr int kReplugSettleMs = 500;

int ExitStatusOf(TransferResult result, int signalNumber) {
  switch (result) {
    case TransferResult::Loaded:
      return kExitOk;
    case TransferResult::NotAcknowledged:
    case TransferResult::LogoInfoNotAnswered:
    case TransferResult::LogoInfoRefused:
      return kExitNotAcknowledged;
    case TransferResult::Interrupted:
      return kExitSignalBase + signalNumber;
    case TransferResult::NotSent:  // the port was busy with another download
    case TransferResult::PortMissing:
    case TransferResult::PortOccupied:
    case TransferResult::PortFailed:
      break;
  }
  return kExitPortUnusable;
}

// The serial device behind a system path among those the system lists (a USB adapter, a
// built-in port; not a pseudo-terminal). Listing opens no port.
std::optional<SerialDevice> ListedDevice(const QString& devicePath,
                                         const QList<SerialDevice>& listed) {
  if (devicePath.isEmpty()) return std::nullopt;
  for (const SerialDevice& device : listed)
    if (device.device == devicePath) return device;
  return std::nullopt;
}

// A name may hold anything a file system allows: a line break would split the line, an escape
// sequence would work on the terminal. Such characters are shown as escapes.
QString Escaped(const QString& text) {
  QString shown;
  shown.reserve(text.size());
  for (const QChar c : text) {
    if (c == QLatin1Char('\n'))
      shown += QLatin1String("\\n");
    else if (c == QLatin1Char('\r'))
      shown += QLatin1String("\\r");
    else if (c == QLatin1Char('\t'))
      shown += QLatin1String("\\t");
    else if (c.category() == QChar::Other_Control)
      shown += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
    else
      shown += c;
  }
  return shown;
}

// One line on standard error, as every line of the program starts.
void Report(QTextStream& err, const QString& line) {
  err << kLoadProgramName << ": " << Escaped(line) << '\n';
  err.flush();
}

void WriteJson(QTextStream& out, const QJsonObject& object) {
  out << QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)) << '\n';
  out.flush();
}

QString OrDash(const QString& text) {
  return text.trimmed().isEmpty() ? QStringLiteral("-") : text.trimmed();
}

QJsonValue OrNull(const QString& text) {
  return text.trimmed().isEmpty() ? QJsonValue() : QJsonValue(text.trimmed());
}

// The device a port text leads to now, links followed; the text itself when it leads to none.
QString DeviceOfPortText(const QString& text) {
  if (const auto n = ComNumberOfPortText(text)) {
    const PortTarget target = ResolvePort(*n);
    return target.usable() ? target.device : QStringLiteral("COM%1").arg(*n);
  }
  return FollowedDevice(DeviceNamed(text).value_or(text));
}

int ListPorts(QTextStream& out, QTextStream& err, bool quiet, bool json) {
  const QList<SerialDevice> ports = DetectedSerialDevices();
  for (const SerialDevice& device : ports) {
    const QList<int> numbers = PortsUsingDevice(device.device);
    if (json) {
      QJsonArray coms;
      for (int n : numbers) coms << n;
      WriteJson(out, {{QStringLiteral("device"), device.device},
                      {QStringLiteral("description"), OrNull(device.description)},
                      {QStringLiteral("manufacturer"), OrNull(device.manufacturer)},
                      {QStringLiteral("serial_number"), OrNull(device.serialNumber)},
                      {QStringLiteral("com"), coms}});
      continue;
    }
    QStringList coms;
    for (int n : numbers) coms << QStringLiteral("COM%1").arg(n);
    out << device.device << '\t' << OrDash(device.description) << '\t'
        << OrDash(device.manufacturer) << '\t' << OrDash(device.serialNumber) << '\t'
        << OrDash(coms.join(QLatin1Char(','))) << '\n';
  }
  out.flush();
  if (ports.isEmpty() && !quiet) {
    err << kLoadProgramName << ": " << texts::NoSerialDevicesDetected() << '\n';
    err.flush();
  }
  return kExitOk;
}

// The progress lines on a terminal, one per port, redrawn in place. The cursor rests on the
// last of them; a line written meanwhile goes where the board was, and the board below it.
class ProgressBoard {
 public:
  ProgressBoard(QTextStream& err, qsizetype lines) : err_(err), labels_(lines), states_(lines) {}

  void set(qsizetype line, const QString& label, const QString& state) {
    labels_[line] = Escaped(label);
    states_[line] = state;
    if (!drawn_ || displaced_ > 0) {
      lift();
      draw();
      return;
    }
    // Up to the line and back, so the others stay as they are.
    const qsizetype below = labels_.size() - 1 - line;
    err_ << '\r' << wrapOff();
    if (below > 0) err_ << "\x1b[" << below << 'A';
    drawLine(line);
    if (below > 0) err_ << "\x1b[" << below << 'B';
    err_ << wrapOn();
    err_.flush();
  }

  void draw() {
    err_ << wrapOff();
    for (qsizetype i = 0; i < labels_.size(); ++i) {
      err_ << (i == 0 ? "\r" : "\n");
      drawLine(i);
    }
    err_ << wrapOn();
    err_.flush();
    drawn_ = true;
  }

  // Clears the board; whether it was on show.
  bool lift() {
    if (!drawn_) return false;
    drawn_ = false;
    err_ << '\r';
    if (const qsizetype up = labels_.size() - 1 + displaced_; up > 0) err_ << "\x1b[" << up << 'A';
    err_ << (several() || displaced_ > 0 ? "\x1b[J" : "\x1b[K");
    displaced_ = 0;
    err_.flush();
    return true;
  }

  // The terminal echoed a line typed on it: the cursor went down one below the board.
  void lineTyped() {
    if (drawn_) ++displaced_;
  }

 private:
  bool several() const { return labels_.size() > 1; }
  // A line wider than the terminal would wrap and throw the cursor's count off: it is cut.
  const char* wrapOff() const { return several() ? "\x1b[?7l" : ""; }
  const char* wrapOn() const { return several() ? "\x1b[?7h" : ""; }

  void drawLine(qsizetype i) {
    qsizetype width = 0;
    for (const QString& label : labels_) width = std::max(width, label.size());
    err_ << (several() ? labels_[i].leftJustified(width) : labels_[i]) << ' ' << states_[i];
    if (several()) err_ << "\x1b[K";
  }

  QTextStream& err_;
  QStringList labels_;
  QStringList states_;
  bool drawn_ = false;
  qsizetype displaced_ = 0;
};

class Loader;

// One port of the run: a download, or with --repeat one per device, driven by the download's
// end, the lines read, the watch on its USB adapter and the interrupt.
class PortRun {
 public:
  PortRun(Loader& run, qsizetype index, const QString& portText);
  PortRun(const PortRun&) = delete;
  PortRun& operator=(const PortRun&) = delete;

  void startDownload();
  void lineRead();
  void inputEnded();
  void interrupt();
  // A look at the devices present, while the adapter is watched.
  void adapterListed(const QList<SerialDevice>& present);

  bool downloading() const { return state_ == State::Downloading; }
  bool waiting() const { return state_ == State::Waiting; }
  bool done() const { return state_ == State::Done; }
  bool watchingAdapter() const { return watchingAdapter_; }
  bool watchesAdapter() const { return !usbAdapter_.isEmpty(); }
  int loaded() const { return loaded_; }
  int failed() const { return failed_; }
  // The download's, or with --repeat that of the last one that failed.
  int status() const { return failed_ > 0 ? lastFailure_ : kExitOk; }
  QString portLabel() const;
  qint64 downloadStartNs() const { return downloadStartNs_; }

 private:
  enum class State { Downloading, Waiting, Done };

  void downloadEnded(const TransferOutcome& outcome);
  void waitForNextDevice();
  void finish();
  void drawProgress(int value);
  QString bar(int percent) const;
  QString deviceOfRecord() const;
  QString failureText(const QString& message) const;

  Loader& run_;
  const LoadCommandLine& command_;
  const qsizetype index_;
  std::unique_ptr<LoaderSession> session_;
  std::unique_ptr<DownloadRecorder> recorder_;
  QString lastOpenedAt_;  // the system path the port opened for this download, if it did
  QString usbAdapter_;    // the path of the last USB adapter a download opened
  qint64 downloadStartNs_ = 0;
  int progressPercent_ = -1;

  State state_ = State::Downloading;
  int loaded_ = 0;
  int failed_ = 0;
  int lastFailure_ = kExitOk;
  bool stopRequested_ = false;
  bool inputEnded_ = false;
  int linesPending_ = 0;  // lines read while a download ran, each starting one more
  bool watchingAdapter_ = false;
  bool adapterWentAway_ = false;
  QTimer replugSettle_;
};

// One run of the program: every port's downloads side by side in one event loop, the input's
// lines, the interrupt, what is written where, and the exit status once every port is done.
class Loader {
 public:
  Loader(const LoadCommandLine& command, const LogoRaster& raster, QTextStream& out,
         QTextStream& err, bool errIsTerminal)
      : command_(command), raster_(raster), out_(out), err_(err) {
    showProgress_ = errIsTerminal && !command.trace && !command.quiet;
  }

  void preparePorts();
  // The first downloads, once the event loop runs.
  void start();

  // For the ports.
  const LoadCommandLine& command() const { return command_; }
  const LogoRaster& raster() const { return raster_; }
  bool several() const { return ports_.size() > 1; }
  int stopSignal() const { return stopSignal_; }
  QString stopSignalName() const { return stopSignalName_; }
  void report(const QString& line);
  void reportLogProblem(const QString& problem);
  void showProgress(qsizetype index, const QString& label, const QString& state);
  void hideProgress();
  void writeJson(const QJsonObject& object);
  void traceLine(const PortRun& port, const char* direction, const QByteArray& bytes,
                 qint64 atNs);
  void portWaits();
  void portDone();
  void startAdapterWatch();

 private:
  void watchAdapters();
  void lineRead();
  void inputEnded();
  void interrupted();
  void endRun();  // the summary where there is one, then the worst status

  const LoadCommandLine& command_;
  const LogoRaster& raster_;
  QTextStream& out_;
  QTextStream& err_;
  bool showProgress_ = false;

  std::vector<std::unique_ptr<PortRun>> ports_;
  std::unique_ptr<ProgressBoard> board_;
  QSet<QString> logProblemsSaid_;
  int stopSignal_ = 0;  // the signal that asked for the stop
  QString stopSignalName_;
  bool inputEnded_ = false;
  bool ended_ = false;
  QTimer adapterWatch_;
  std::unique_ptr<InterruptWatcher> interrupt_;
  std::unique_ptr<InputLines> input_;
};

PortRun::PortRun(Loader& run, qsizetype index, const QString& portText)
    : run_(run), command_(run.command()), index_(index) {
  session_ = std::make_unique<LoaderSession>(std::make_unique<SerialComm>());
  PortConnection& connection = session_->connection();
  PortChoice choice;
  // The first download opens the port, so its time and the device it names include that.
  choice.open = false;
  if (const auto n = ComNumberOfPortText(portText)) {
    choice.comNumber = *n;
  } else if (!portText.isEmpty()) {
    // A bare name means the node in /dev, as in a [Devices] assignment; other paths are
    // taken as given, relative to the current folder.
    choice.device = DeviceNamed(portText).value_or(portText);
  }
  if (command_.baud > 0) {
    choice.lineSettings = LineSettings{};
    choice.lineSettings->baud = command_.baud;
  }
  // With neither --port nor a port in the settings file, the window's default port.
  connection.startUp(choice);

  LogoTransfer& transfer = session_->transfer();
  CommControl& port = session_->port();
  // The port is let go before the download is logged: between devices the next one may be
  // another adapter on the same name, a port held open across an unplug would only fail at
  // the next write, and an interrupted run lets it go before anything else can stop it.
  QObject::connect(&transfer, &LogoTransfer::ended, &port, [this, &port](const TransferOutcome& o) {
    if (command_.repeat || o.result == TransferResult::Interrupted) port.close();
  });
  recorder_ = std::make_unique<DownloadRecorder>(transfer, connection, command_.logPath);
  recorder_->setPicture(command_.picture, false);
  if (!command_.operatorName.isEmpty()) recorder_->setOperator(command_.operatorName);
  if (command_.json)
    QObject::connect(recorder_.get(), &DownloadRecorder::recorded, recorder_.get(),
                     [this](const DownloadRecord& record) {
                       QJsonObject fields = DownloadLogFields(record);
                       fields.insert(QStringLiteral("status"),
                                     ExitStatusOf(record.result, run_.stopSignal()));
                       run_.writeJson(fields);
                     });
  QObject::connect(&transfer, &LogoTransfer::ended, &transfer,
                   [this](const TransferOutcome& outcome) { downloadEnded(outcome); });

  QObject::connect(&transfer, &LogoTransfer::started, &transfer, [this, &port] {
    lastOpenedAt_ = port.openDevice();
    if (!command_.repeat) return;
    const auto listed = ListedDevice(lastOpenedAt_, DetectedSerialDevices());
    if (listed && listed->usb) usbAdapter_ = lastOpenedAt_;
  });
  QObject::connect(&transfer, &LogoTransfer::progress, &transfer,
                   [this](int value) { drawProgress(value); });
  if (command_.trace) {
    LinkEngine& link = session_->link();
    QObject::connect(&link, &LinkEngine::frameWritten, &link, [this](const QByteArray& frame,
                                                                     qint64 at) {
      run_.traceLine(*this, ">", frame, at);
    });
    QObject::connect(&link, &LinkEngine::replyReceived, &link,
                     [this](const QByteArray& line, qint64 at) {
                       run_.traceLine(*this, "<", line, at);
                     });
  }
  replugSettle_.setSingleShot(true);
  replugSettle_.setInterval(kReplugSettleMs);
  QObject::connect(&replugSettle_, &QTimer::timeout, [this] { startDownload(); });
}

void PortRun::startDownload() {
  watchingAdapter_ = false;
  replugSettle_.stop();
  state_ = State::Downloading;
  downloadStartNs_ = session_->link().clock().nsecsElapsed();
  lastOpenedAt_.clear();
  progressPercent_ = -1;
  if (run_.several()) drawProgress(-1);  // every port's line from the start
  session_->transfer().start(run_.raster());
}

void PortRun::downloadEnded(const TransferOutcome& outcome) {
  const int status = ExitStatusOf(outcome.result, run_.stopSignal());
  if (status == kExitOk)
    ++loaded_;
  else {
    ++failed_;
    lastFailure_ = status;
  }
  // Several ports: the line shows how the last download there ended, until the next one.
  if (run_.several())
    run_.showProgress(index_, portLabel(),
                      bar(std::max(progressPercent_, 0)) + QLatin1Char(' ') +
                          ResultWord(outcome.result));
  else
    run_.hideProgress();
  QString line = outcome.loaded()
                     ? texts::Loaded(QDir::toNativeSeparators(command_.picture), portLabel(),
                                     ChecksumText(outcome.logoChecksum), outcome.framesSent,
                                     outcome.durationMs)
                     : texts::Failed(portLabel(), failureText(texts::TransferMessage(outcome)));
  if (outcome.result == TransferResult::Interrupted)
    line += texts::InterruptedAfter(run_.stopSignalName(), outcome.framesSent);
  if (command_.repeat) line += texts::RunSoFar(loaded_, failed_);
  if (status != kExitOk || !command_.quiet) run_.report(line);
  if (const QString problem = recorder_->logProblem(); !problem.isEmpty())
    run_.reportLogProblem(problem);

  if (!command_.repeat || stopRequested_)
    finish();
  else
    waitForNextDevice();
}

void PortRun::waitForNextDevice() {
  if (linesPending_ > 0) {
    --linesPending_;
    startDownload();
    return;
  }
  const bool watchReplug = watchesAdapter();
  if (inputEnded_ && !watchReplug) {
    finish();
    return;
  }
  state_ = State::Waiting;
  if (watchReplug) {
    // An adapter already gone (pulled during the download) only has to come back.
    adapterWentAway_ = !ListedDevice(usbAdapter_, DetectedSerialDevices());
    watchingAdapter_ = true;
    run_.startAdapterWatch();
  }
  run_.portWaits();
}

void PortRun::finish() {
  state_ = State::Done;
  watchingAdapter_ = false;
  replugSettle_.stop();
  run_.portDone();
}

void PortRun::lineRead() {
  if (state_ == State::Waiting)
    startDownload();
  else if (state_ == State::Downloading)
    ++linesPending_;
}

void PortRun::inputEnded() {
  inputEnded_ = true;
  // A watched adapter may still bring the next device.
  if (state_ == State::Waiting && !watchesAdapter()) finish();
}

void PortRun::adapterListed(const QList<SerialDevice>& present) {
  if (!watchingAdapter_) return;
  if (!ListedDevice(usbAdapter_, present)) {
    adapterWentAway_ = true;
  } else if (adapterWentAway_) {
    watchingAdapter_ = false;
    replugSettle_.start();
  }
}

void PortRun::interrupt() {
  stopRequested_ = true;
  if (state_ == State::Downloading)
    session_->transfer().requestStop();
  else if (state_ == State::Waiting)
    finish();
}

QString PortRun::portLabel() const {
  const PortState& port = session_->connection().state();
  if (!port.namedDevice().isEmpty()) return port.namedDevice();
  return texts::PortShown(QStringLiteral("COM%1").arg(port.comNumber()),
                          QDir::toNativeSeparators(deviceOfRecord()));
}

QString PortRun::failureText(const QString& message) const {
  // The window's message may end with the device on a line of its own; the line here
  // already starts with it.
  QStringList lines = message.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  if (lines.size() > 1 && lines.last() == deviceOfRecord()) lines.removeLast();
  return texts::OnOneLine(lines.join(QLatin1Char('\n')));
}

QString PortRun::deviceOfRecord() const {
  const PortConnection& connection = session_->connection();
  if (!connection.state().namedDevice().isEmpty()) return connection.state().namedDevice();
  return lastOpenedAt_.isEmpty() ? connection.deviceInForce() : lastOpenedAt_;
}

void PortRun::drawProgress(int value) {
  const int percent = (value + 1) * 100 / kLogoBytes;
  if (percent == progressPercent_) return;
  progressPercent_ = percent;
  run_.showProgress(index_, portLabel(),
                    bar(percent) + QLatin1Char(' ') + QString::number(percent).rightJustified(3) +
                        QStringLiteral(" %"));
}

QString PortRun::bar(int percent) const {
  const int filled = percent * kProgressWidth / 100;
  return QLatin1Char('[') + QString(filled, QLatin1Char('#')) +
         QString(kProgressWidth - filled, QLatin1Char('.')) + QLatin1Char(']');
}

void Loader::preparePorts() {
  const QStringList texts = command_.ports.isEmpty() ? QStringList{QString()} : command_.ports;
  for (const QString& text : texts)
    ports_.push_back(std::make_unique<PortRun>(*this, qsizetype(ports_.size()), text));
  if (showProgress_) board_ = std::make_unique<ProgressBoard>(err_, qsizetype(ports_.size()));
}

void Loader::start() {
  // A download stops at the end of the frame in flight, and is logged; a wait between two
  // devices ends at once.
  interrupt_ = std::make_unique<InterruptWatcher>();
  QObject::connect(interrupt_.get(), &InterruptWatcher::interrupted, interrupt_.get(),
                   [this] { interrupted(); });
  if (command_.repeat) {
    // Lines read while a download runs each start one more afterwards: none is lost.
    input_ = std::make_unique<InputLines>();
    QObject::connect(input_.get(), &InputLines::line, input_.get(), [this] { lineRead(); });
    QObject::connect(input_.get(), &InputLines::ended, input_.get(), [this] { inputEnded(); });
    adapterWatch_.setInterval(kDeviceWatchMs);
    QObject::connect(&adapterWatch_, &QTimer::timeout, [this] { watchAdapters(); });
  }
  QTimer::singleShot(0, [this] {
    for (const auto& port : ports_) port->startDownload();
  });
}

void Loader::report(const QString& line) {
  // A port still loading gets its line back below.
  const bool redraw = board_ && board_->lift() && several();
  Report(err_, line);
  if (redraw) board_->draw();
}

void Loader::reportLogProblem(const QString& problem) {
  // Every port appends to the same log: its trouble is said once.
  if (logProblemsSaid_.contains(problem)) return;
  logProblemsSaid_.insert(problem);
  report(texts::OnOneLine(problem));
}

void Loader::showProgress(qsizetype index, const QString& label, const QString& state) {
  if (board_) board_->set(index, label, state);
}

void Loader::hideProgress() {
  if (board_) board_->lift();
}

void Loader::writeJson(const QJsonObject& object) {
  // Standard output may be the terminal the progress lines are on.
  const bool redraw = board_ && board_->lift() && several();
  WriteJson(out_, object);
  if (redraw) board_->draw();
}

void Loader::traceLine(const PortRun& port, const char* direction, const QByteArray& bytes,
                       qint64 atNs) {
  // Standard output is for the results with --json.
  QTextStream& stream = command_.json ? err_ : out_;
  if (several()) stream << Escaped(port.portLabel()) << ' ';
  stream << QString::asprintf("%10.3f ms %s ", double(atNs - port.downloadStartNs()) / 1e6,
                              direction)
         << WireText(bytes) << '\n';
  stream.flush();
}

void Loader::portWaits() {
  // Once no port is loading: Enter loads every port waiting.
  bool anyWatched = false;
  for (const auto& port : ports_) {
    if (port->downloading()) return;
    anyWatched = anyWatched || (port->waiting() && port->watchesAdapter());
  }
  if (StandardInputIsTerminal() && !inputEnded_ && !command_.quiet)
    report(texts::NextDevicePrompt(anyWatched));
}

void Loader::portDone() {
  if (std::all_of(ports_.begin(), ports_.end(), [](const auto& port) { return port->done(); }))
    endRun();
}

void Loader::startAdapterWatch() {
  if (!adapterWatch_.isActive()) adapterWatch_.start();
}

// One look at the devices present for every port watching its adapter.
void Loader::watchAdapters() {
  const QList<SerialDevice> present = DetectedSerialDevices();
  for (const auto& port : ports_) port->adapterListed(present);
  if (std::none_of(ports_.begin(), ports_.end(),
                   [](const auto& port) { return port->watchingAdapter(); }))
    adapterWatch_.stop();
}

void Loader::lineRead() {
  if (board_ && StandardInputIsTerminal()) board_->lineTyped();
  for (const auto& port : ports_) port->lineRead();
}

void Loader::inputEnded() {
  inputEnded_ = true;
  for (const auto& port : ports_) port->inputEnded();
}

void Loader::interrupted() {
  stopSignal_ = interrupt_->signalNumber();
  stopSignalName_ = interrupt_->signalName();
  for (const auto& port : ports_) port->interrupt();
}

void Loader::endRun() {
  if (ended_) return;
  ended_ = true;
  hideProgress();
  adapterWatch_.stop();
  int loaded = 0;
  int failed = 0;
  int status = kExitOk;
  for (const auto& port : ports_) {
    loaded += port->loaded();
    failed += port->failed();
    // Interrupted, then a port not usable, then a device that did not take the logo.
    status = std::max(status, port->status());
  }
  if (!command_.quiet && (command_.repeat || several())) {
    if (command_.repeat && several())
      for (const auto& port : ports_)
        report(texts::PortSummary(port->portLabel(), port->loaded(), port->failed()));
    report(texts::RunSummary(loaded, failed));
  }
  QCoreApplication::exit(status);
}
}  // namespace

std::optional<int> ComNumberOfPortText(const QString& text) {
  static const QRegularExpression com(QStringLiteral("^\\s*COM\\s*(\\d{1,3})\\s*$"),
                                      QRegularExpression::CaseInsensitiveOption);
  const QRegularExpressionMatch m = com.match(text);
  if (!m.hasMatch()) return std::nullopt;
  return m.captured(1).toInt();
}

QString LoadHelpText() { return texts::LoadHelp(); }

ParsedLoadCommand ParseLoadCommandLine(const QStringList& arguments,
                                       const QString& environmentPort) {
  ParsedLoadCommand result;
  LoadCommandLine& command = result.command;

  QCommandLineParser parser;
  const convert::PictureOptions pictureOptions;
  pictureOptions.addTo(parser);
  const auto named = [](const char* shortName, const char* longName) {
    return QStringList{QLatin1String(shortName), QLatin1String(longName)};
  };
  const QCommandLineOption port(named("p", "port"), QString(), QStringLiteral("PORT"));
  const QCommandLineOption baud(named("b", "baud"), QString(), QStringLiteral("N"));
  const QCommandLineOption repeat(QStringLiteral("repeat"));
  const QCommandLineOption log(QStringLiteral("log"), QString(), QStringLiteral("FILE"));
  const QCommandLineOption operatorName(QStringLiteral("operator"), QString(),
                                        QStringLiteral("NAME"));
  const QCommandLineOption trace(named("v", "trace"));
  const QCommandLineOption quiet(named("q", "quiet"));
  const QCommandLineOption listPorts(QStringLiteral("list-ports"));
  const QCommandLineOption json(QStringLiteral("json"));
  const QCommandLineOption help(named("h", "help"));
  const QCommandLineOption version(QStringLiteral("version"));
  const std::array ownOptions{&port,  &baud,     &repeat,    &log,  &operatorName, &trace,
                              &quiet, &listPorts, &json, &help,         &version};
  for (const QCommandLineOption* option : ownOptions) parser.addOption(*option);

  const auto fail = [&result](const QString& error) {
    result.error = error;
    return result;
  };
  if (!parser.parse(arguments)) return fail(convert::AsMessagePart(parser.errorText()));
  command.showHelp = parser.isSet(help);
  command.showVersion = parser.isSet(version) && !command.showHelp;
  if (command.showHelp || command.showVersion) return result;
  command.quiet = parser.isSet(quiet);
  command.json = parser.isSet(json);
  const QStringList files = parser.positionalArguments();
  if (parser.isSet(listPorts)) {
    if (!files.isEmpty()) return fail(texts::ListPortsTakesNoPicture());
    command.listPorts = true;
    return result;
  }
  if (convert::OptionProblem problem; !pictureOptions.read(parser, &command.options, &problem))
    return fail(texts::OptionProblemText(problem));
  for (const QString& name : parser.optionNames())
    if (!command.conversionOptions.contains(QStringLiteral("--") + name) &&
        std::none_of(ownOptions.begin(), ownOptions.end(),
                     [&](const QCommandLineOption* own) { return own->names().contains(name); }))
      command.conversionOptions << QStringLiteral("--") + name;

  // --port wins over KESTREL_PORT, which wins over the settings file.
  QStringList portTexts{environmentPort};
  QString variable = QLatin1String(kPortVariable);  // where the ports came from, for errors
  if (parser.isSet(port)) {
    portTexts = parser.values(port);
    variable.clear();
    for (const QString& text : portTexts)
      if (text.trimmed().isEmpty()) return fail(texts::EmptyPort());
  } else if (environmentPort.trimmed().isEmpty()) {
    portTexts.clear();
  }
  for (const QString& text : portTexts) {
    for (const QString& item : text.split(QLatin1Char(','))) {
      command.ports << item.trimmed();
      if (command.ports.last().isEmpty()) return fail(texts::EmptyPortInList(text, variable));
      if (const auto n = ComNumberOfPortText(item); n && (*n < 1 || *n > 255))
        return fail(variable.isEmpty() ? texts::BadPort(item.trimmed())
                                       : texts::BadPortIn(item.trimmed(), variable));
    }
  }
  // Two sessions on one device would each fail for the other, by any of its names.
  for (qsizetype i = 0; command.ports.size() > 1 && i < command.ports.size(); ++i)
    for (qsizetype j = 0; j < i; ++j)
      if (const QString device = DeviceOfPortText(command.ports[i]);
          SameDevice(device, DeviceOfPortText(command.ports[j])))
        return fail(texts::SamePortTwice(command.ports[j], command.ports[i],
                                         QDir::toNativeSeparators(device), variable));
  if (parser.isSet(baud)) {
    const QString text = parser.value(baud).trimmed();
    for (const char* speed : kBaudSpeeds)
      if (text == QLatin1String(speed)) command.baud = text.toInt();
    if (command.baud == 0) return fail(texts::BadSpeed(parser.value(baud)));
  }
  command.repeat = parser.isSet(repeat);
  command.trace = parser.isSet(trace);
  if (parser.isSet(log)) {
    command.logPath = parser.value(log);
    if (command.logPath.isEmpty()) return fail(texts::EmptyLogName());
  }
  if (parser.isSet(operatorName)) {
    command.operatorName = parser.value(operatorName).trimmed();
    if (command.operatorName.isEmpty()) return fail(texts::EmptyOperatorName());
  }

  if (files.isEmpty()) return fail(texts::GiveThePicture());
  if (files.size() > 1) return fail(texts::OnePictureOnly(files.join(QLatin1Char(' '))));
  command.picture = files.front();
  if (command.picture.isEmpty()) return fail(texts::EmptyPictureName());
  // Appending a line to the picture would spoil it; compared as files, by any name or link.
  if (!command.logPath.isEmpty() && files::SameFile(command.logPath, command.picture))
    return fail(texts::LogIsThePicture());
  return result;
}

int RunLoad(const QStringList& arguments, QTextStream& out, QTextStream& err, bool errIsTerminal) {
  const ParsedLoadCommand parsed =
      ParseLoadCommandLine(arguments, qEnvironmentVariable(kPortVariable));
  const LoadCommandLine& command = parsed.command;
  const auto report = [&err](const QString& line) { Report(err, line); };
  const auto note = [&](const QString& line) {
    if (!command.quiet) report(line);
  };
  const auto fail = [&report](int status, const QString& line) {
    report(line);
    return status;
  };
  if (!parsed.error.isEmpty()) return fail(kExitBadArguments, texts::SeeHelp(parsed.error));
  if (command.showHelp) {
    out << LoadHelpText();
    out.flush();
    return kExitOk;
  }
  if (command.showVersion) {
    out << kLoadProgramName << ' ' << kVersionText << '\n';
    out.flush();
    return kExitOk;
  }
  if (command.listPorts) return ListPorts(out, err, command.quiet, command.json);

  const LogoSource source = ReadLogoSource(command.picture, command.options);
  if (!source.usable())
    return fail(kExitPictureRefused, texts::OnOneLine(texts::PictureFailureText(source.failure)));
  if (source.kind == LogoSource::Kind::LogoBitmap) {
    // Notes only: the bitmap is sent as the window would send it.
    if (!command.conversionOptions.isEmpty())
      note(texts::LogoBitmapSentAsItIs(QDir::toNativeSeparators(command.picture),
                                       command.conversionOptions.join(QStringLiteral(", "))));
    if (source.lighterColourFirst) note(texts::LighterColourFirstNote());
  }

  if (const QString kept = SettingsNotKeptText(); !kept.isEmpty()) note(kept);
  Loader loader(command, source.raster, out, err, errIsTerminal);
  loader.preparePorts();
  loader.start();
  return QCoreApplication::exec();
}

}  // namespace kestrel::cli
