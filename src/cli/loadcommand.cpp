#include "cli/loadcommand.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTimer>
#include <algorithm>
#include <array>
#include <memory>

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

// The serial device behind a system path, when the system lists it (a USB adapter, a
// built-in port; not a pseudo-terminal). Listing opens no port.
std::optional<SerialDevice> ListedDevice(const QString& devicePath) {
  if (devicePath.isEmpty()) return std::nullopt;
  for (const SerialDevice& device : DetectedSerialDevices())
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

QString OrDash(const QString& text) {
  return text.trimmed().isEmpty() ? QStringLiteral("-") : text.trimmed();
}

int ListPorts(QTextStream& out, QTextStream& err, bool quiet) {
  const QList<SerialDevice> ports = DetectedSerialDevices();
  for (const SerialDevice& device : ports) {
    QStringList coms;
    for (int n : PortsUsingDevice(device.device)) coms << QStringLiteral("COM%1").arg(n);
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

// One run of the program on one port: a download, or with --repeat one per device. Driven by
// the download's end, the input's lines, the watch on a USB adapter and the interrupt; the
// run ends by ending the event loop with its exit status.
class Loader {
 public:
  Loader(const LoadCommandLine& command, const LogoRaster& raster, QTextStream& out,
         QTextStream& err, bool errIsTerminal)
      : command_(command), raster_(raster), out_(out), err_(err) {
    showProgress_ = errIsTerminal && !command.trace && !command.quiet;
  }

  void preparePort();
  // The first download, once the event loop runs.
  void start();

 private:
  enum class State { Downloading, Waiting, Done };

  void startDownload();
  void downloadEnded(const TransferOutcome& outcome);
  void waitForNextDevice();
  void lineRead();
  void inputEnded();
  void interrupted();
  void watchAdapter();
  void endRun();              // with --repeat: the summary, then the status
  void exitWith(int status);  // the event loop ends with it
  void report(const QString& line);
  void drawProgress(int value);
  void clearProgress();
  void traceLine(const char* direction, const QByteArray& bytes, qint64 atNs);
  QString portLabel() const;
  QString deviceOfRecord() const;
  QString failureText(const QString& message) const;

  const LoadCommandLine& command_;
  const LogoRaster& raster_;
  QTextStream& out_;
  QTextStream& err_;
  bool showProgress_ = false;

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
  int stopSignal_ = 0;  // the signal that asked for the stop
  QString stopSignalName_;
  bool inputEnded_ = false;
  int linesPending_ = 0;  // lines read while a download ran, each starting one more
  bool adapterWentAway_ = false;
  QTimer adapterWatch_;
  QTimer replugSettle_;
  std::unique_ptr<InterruptWatcher> interrupt_;
  std::unique_ptr<InputLines> input_;
};

void Loader::preparePort() {
  session_ = std::make_unique<LoaderSession>(std::make_unique<SerialComm>());
  PortConnection& connection = session_->connection();
  PortChoice choice;
  // The first download opens the port, so its time and the device it names include that.
  choice.open = false;
  if (const auto n = ComNumberOfPortText(command_.port)) {
    choice.comNumber = *n;
  } else if (!command_.port.isEmpty()) {
    // A bare name means the node in /dev, as in a [Devices] assignment; other paths are
    // taken as given, relative to the current folder.
    choice.device = DeviceNamed(command_.port).value_or(command_.port);
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
  QObject::connect(&transfer, &LogoTransfer::ended, &transfer,
                   [this](const TransferOutcome& outcome) { downloadEnded(outcome); });

  QObject::connect(&transfer, &LogoTransfer::started, &transfer, [this, &port] {
    lastOpenedAt_ = port.openDevice();
    if (!command_.repeat) return;
    const auto listed = ListedDevice(lastOpenedAt_);
    if (listed && listed->usb) usbAdapter_ = lastOpenedAt_;
  });
  if (showProgress_)
    QObject::connect(&transfer, &LogoTransfer::progress, &transfer,
                     [this](int value) { drawProgress(value); });
  if (command_.trace) {
    LinkEngine& link = session_->link();
    QObject::connect(&link, &LinkEngine::frameWritten, &link,
                     [this](const QByteArray& frame, qint64 at) { traceLine(">", frame, at); });
    QObject::connect(&link, &LinkEngine::replyReceived, &link,
                     [this](const QByteArray& line, qint64 at) { traceLine("<", line, at); });
  }
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
    QObject::connect(&adapterWatch_, &QTimer::timeout, [this] { watchAdapter(); });
    replugSettle_.setSingleShot(true);
    replugSettle_.setInterval(kReplugSettleMs);
    QObject::connect(&replugSettle_, &QTimer::timeout, [this] { startDownload(); });
  }
  QTimer::singleShot(0, [this] { startDownload(); });
}

void Loader::startDownload() {
  adapterWatch_.stop();
  replugSettle_.stop();
  state_ = State::Downloading;
  downloadStartNs_ = session_->link().clock().nsecsElapsed();
  lastOpenedAt_.clear();
  session_->transfer().start(raster_);
}

void Loader::downloadEnded(const TransferOutcome& outcome) {
  clearProgress();
  const int status = ExitStatusOf(outcome.result, stopSignal_);
  if (status == kExitOk)
    ++loaded_;
  else {
    ++failed_;
    lastFailure_ = status;
  }
  QString line = outcome.loaded()
                     ? texts::Loaded(QDir::toNativeSeparators(command_.picture), portLabel(),
                                     ChecksumText(outcome.logoChecksum), outcome.framesSent,
                                     outcome.durationMs)
                     : texts::Failed(portLabel(), failureText(texts::TransferMessage(outcome)));
  if (outcome.result == TransferResult::Interrupted)
    line += texts::InterruptedAfter(stopSignalName_, outcome.framesSent);
  if (command_.repeat) line += texts::RunSoFar(loaded_, failed_);
  if (status != kExitOk || !command_.quiet) report(line);
  if (const QString problem = recorder_->logProblem(); !problem.isEmpty())
    report(texts::OnOneLine(problem));

  if (!command_.repeat)
    exitWith(status);
  else if (stopRequested_)
    endRun();
  else
    waitForNextDevice();
}

void Loader::waitForNextDevice() {
  if (linesPending_ > 0) {
    --linesPending_;
    startDownload();
    return;
  }
  const bool watchReplug = !usbAdapter_.isEmpty();
  if (inputEnded_ && !watchReplug) {
    endRun();
    return;
  }
  if (StandardInputIsTerminal() && !inputEnded_ && !command_.quiet)
    report(texts::NextDevicePrompt(watchReplug));
  state_ = State::Waiting;
  if (watchReplug) {
    // An adapter already gone (pulled during the download) only has to come back.
    adapterWentAway_ = !ListedDevice(usbAdapter_);
    adapterWatch_.start();
  }
}

void Loader::lineRead() {
  if (state_ == State::Waiting)
    startDownload();
  else if (state_ == State::Downloading)
    ++linesPending_;
}

void Loader::inputEnded() {
  inputEnded_ = true;
  // A watched adapter may still bring the next device.
  if (state_ == State::Waiting && usbAdapter_.isEmpty()) endRun();
}

void Loader::watchAdapter() {
  if (!ListedDevice(usbAdapter_)) {
    adapterWentAway_ = true;
  } else if (adapterWentAway_) {
    adapterWatch_.stop();
    replugSettle_.start();
  }
}

void Loader::interrupted() {
  stopRequested_ = true;
  stopSignal_ = interrupt_->signalNumber();
  stopSignalName_ = interrupt_->signalName();
  if (state_ == State::Downloading)
    session_->transfer().requestStop();
  else if (state_ == State::Waiting)
    endRun();
}

void Loader::endRun() {
  if (!command_.quiet) report(texts::RunSummary(loaded_, failed_));
  exitWith(failed_ > 0 ? lastFailure_ : kExitOk);
}

void Loader::exitWith(int status) {
  state_ = State::Done;
  adapterWatch_.stop();
  replugSettle_.stop();
  QCoreApplication::exit(status);
}

QString Loader::portLabel() const {
  const PortState& port = session_->connection().state();
  if (!port.namedDevice().isEmpty()) return port.namedDevice();
  return QStringLiteral("COM%1 (%2)")
      .arg(port.comNumber())
      .arg(QDir::toNativeSeparators(deviceOfRecord()));
}

QString Loader::failureText(const QString& message) const {
  // The window's message may end with the device on a line of its own; the line here
  // already starts with it.
  QStringList lines = message.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  if (lines.size() > 1 && lines.last() == deviceOfRecord()) lines.removeLast();
  return texts::OnOneLine(lines.join(QLatin1Char('\n')));
}

QString Loader::deviceOfRecord() const {
  const PortConnection& connection = session_->connection();
  if (!connection.state().namedDevice().isEmpty()) return connection.state().namedDevice();
  return lastOpenedAt_.isEmpty() ? connection.deviceInForce() : lastOpenedAt_;
}

void Loader::report(const QString& line) { Report(err_, line); }

void Loader::drawProgress(int value) {
  const int percent = (value + 1) * 100 / kLogoBytes;
  if (percent == progressPercent_) return;
  progressPercent_ = percent;
  const int filled = percent * kProgressWidth / 100;
  err_ << '\r' << Escaped(portLabel()) << " [" << QString(filled, QLatin1Char('#'))
       << QString(kProgressWidth - filled, QLatin1Char('.')) << "] "
       << QString::number(percent).rightJustified(3) << " %";
  err_.flush();
}

void Loader::clearProgress() {
  if (progressPercent_ < 0) return;
  progressPercent_ = -1;
  err_ << "\r\x1b[K";
  err_.flush();
}

void Loader::traceLine(const char* direction, const QByteArray& bytes, qint64 atNs) {
  out_ << QString::asprintf("%10.3f ms %s ", double(atNs - downloadStartNs_) / 1e6, direction)
       << WireText(bytes) << '\n';
  out_.flush();
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
  const QCommandLineOption help(named("h", "help"));
  const QCommandLineOption version(QStringLiteral("version"));
  const std::array ownOptions{&port,  &baud,      &repeat, &log,     &operatorName,
                              &trace, &quiet,     &help,   &version, &listPorts};
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
  QString portText = environmentPort;
  if (parser.isSet(port)) {
    portText = parser.value(port);
    if (portText.trimmed().isEmpty()) return fail(texts::EmptyPort());
  }
  command.port = portText.trimmed();
  if (const auto n = ComNumberOfPortText(command.port); n && (*n < 1 || *n > 255))
    return fail(parser.isSet(port) ? texts::BadPort(portText)
                                   : texts::BadPortIn(portText, QLatin1String(kPortVariable)));
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
  if (command.listPorts) return ListPorts(out, err, command.quiet);

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
  loader.preparePort();
  loader.start();
  return QCoreApplication::exec();
}

}  // namespace kestrel::cli
