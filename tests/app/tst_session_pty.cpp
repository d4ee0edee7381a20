// The loader session on the real serial layer, through a pseudo-terminal to the device
// simulator: start-up, whole downloads and the device's faults.
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>
#include <memory>

#include "app/loadersession.h"
#include "downloadrun.h"
#include "port/serialcomm.h"
#include "portstatusview.h"
#include "ptyhelper.h"
#include "simoptions.h"
#include "simpty.h"
#include "texts/usertexts.h"

#if __has_include(<sys/inotify.h>)
#include <sys/inotify.h>
#include <unistd.h>
#define KESTREL_HAVE_INOTIFY 1
#endif

using namespace kestrel;

namespace {

const QString kNotAcknowledged =
    QStringLiteral("COMMUNICATION ERROR !!\r\rCheck configuration and connection.");
const QString kInfoNotAnswered = QStringLiteral(
    "COMMUNICATION ERROR WHEN SENDING LOGO INFORMATION!!\r\rCheck configuration and connection.");

LogoRaster patternLogo() {
  LogoRaster logo{};
  for (int v = 0; v < kLogoBytes; ++v) logo[v] = static_cast<uint8_t>((v * 37) ^ (v >> 3));
  return logo;
}

QByteArray logoBytes(const LogoRaster& logo) {
  return QByteArray(reinterpret_cast<const char*>(logo.data()), kLogoBytes);
}

}  // namespace

class SessionPtyTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void initTestCase() { KESTREL_REQUIRE_PTY(); }
  void init();
  void cleanup();
  void startupOpensSimulatorLinkedAsCom1();
  void startupScanOpensNoPort();
  void simulatorHeldByAnotherProgram();
  void fullDownloadFillsDeviceMemory();
  void simulatorFaults_data();
  void simulatorFaults();
  void simulatorProgramSavesTheLogo();

 private:
  bool startDevice(const QStringList& simArguments);
  // A session on COM1 at 115200, its port open; downloads' messages land in messages_.
  void openLoader();
  // A session as the window starts it: start-up with the settings file of the folder.
  void startLoader();
  QString com1() const { return folder_->filePath(QStringLiteral("COM1")); }

  std::unique_ptr<test::TempProgramFolder> folder_;
  std::unique_ptr<sim::SimRunner> device_;
  QStringList deviceReports_;
  std::unique_ptr<test::PortStatusView> display_;
  QList<QStringList> shown_;  // messages of the port connection: text, title
  std::unique_ptr<LoaderSession> session_;
  QStringList messages_;
  bool locked_ = false;
};

void SessionPtyTest::init() {
  folder_ = std::make_unique<test::TempProgramFolder>();
  QVERIFY(folder_->isValid());
  shown_.clear();
  messages_.clear();
  deviceReports_.clear();
}

void SessionPtyTest::cleanup() {
  display_.reset();
  session_.reset();
  device_.reset();
  folder_.reset();
}

bool SessionPtyTest::startDevice(const QStringList& simArguments) {
  sim::SimOptions options;
  QString error;
  bool help = false;
  if (!sim::ParseSimOptions(simArguments, options, &error, &help)) {
    qWarning("bad simulator arguments: %s", qPrintable(error));
    return false;
  }
  options.linkPath = com1();
  device_ = std::make_unique<sim::SimRunner>(options);
  connect(device_.get(), &sim::SimRunner::report, this,
          [this](const QString& line) { deviceReports_ << line; });
  if (!device_->start(&error)) {
    qWarning("the simulated device did not start: %s", qPrintable(error));
    return false;
  }
  return true;
}

void SessionPtyTest::startLoader() {
  session_ = std::make_unique<LoaderSession>(std::make_unique<SerialComm>(),
                                             [this](const QString& text, const QString& title) {
                                               shown_ << QStringList{text, title};
                                             });
  display_ = std::make_unique<test::PortStatusView>(session_->connection().state());
  session_->connection().startUp();
}

void SessionPtyTest::openLoader() {
  session_ = std::make_unique<LoaderSession>(std::make_unique<SerialComm>());
  LogoTransfer& transfer = session_->transfer();
  connect(&transfer, &LogoTransfer::started, this, [this] { locked_ = true; });
  connect(&transfer, &LogoTransfer::ended, this, [this](const TransferOutcome& outcome) {
    if (const QString text = texts::InMessageBox(texts::TransferMessage(outcome)); !text.isEmpty())
      messages_ << text;
    locked_ = false;
  });
  PortConnection& connection = session_->connection();
  connection.setComNumber(1);
  LineSettings fast;
  fast.baud = 115200;
  connection.setLineSettings(fast);
  connection.ensureOpen();
}

void SessionPtyTest::startupOpensSimulatorLinkedAsCom1() {
  QVERIFY(folder_->writeIni({"[SerialPort]", "CommPort= 1", "Baud= 115200,N,8,1"}));
  QVERIFY(startDevice({}));
  startLoader();
  QVERIFY(session_->connection().PortAvailable[0]);
  QVERIFY(session_->port().isOpen());
  QCOMPARE(session_->port().openDevice(), device_->slavePath());
  QCOMPARE(display_->panelText(1), QStringLiteral("Port opened"));
  QCOMPARE(display_->panelText(2), QStringLiteral("COM  1"));
  QCOMPARE(display_->panelText(3), QStringLiteral("115200,n,8,1"));
  QCOMPARE(shown_.size(), 0);
}

void SessionPtyTest::startupScanOpensNoPort() {
#ifdef KESTREL_HAVE_INOTIFY
  // COM 2 is a terminal; the others lead nowhere or to no terminal, so no real port is involved.
  test::DevicePty device;
  QVERIFY(device.open(*folder_, 2));
  QVERIFY(folder_->linkPort(3, QStringLiteral("/dev/null")));
  for (int port : {1, 4, 5, 6, 7, 8})
    QVERIFY(folder_->linkPort(port, QStringLiteral("/nonexistent/ttyUSB0")));
  QVERIFY(folder_->writeIni({"[SerialPort]", "CommPort= 4", "Baud= 9600,N,8,1"}));
  const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  QVERIFY(watch >= 0);
  const QByteArray slave = QFile::encodeName(device.slavePath());
  QVERIFY(::inotify_add_watch(watch, slave.constData(), IN_OPEN) >= 0);

  startLoader();
  QCOMPARE(session_->connection().PortAvailable,
           (std::array<bool, 8>{false, true, false, false, false, false, false, false}));
  char events[4096];
  QCOMPARE(::read(watch, events, sizeof events), ssize_t(-1));
  // The watch does see an open: the loader's own, when asked for.
  session_->connection().setComNumber(2);
  session_->connection().ensureOpen();
  QVERIFY(::read(watch, events, sizeof events) > 0);
  ::close(watch);
#else
  QSKIP("no inotify here to watch for opens");
#endif
}

void SessionPtyTest::simulatorHeldByAnotherProgram() {
  QVERIFY(folder_->writeIni({"[SerialPort]", "CommPort= 1", "Baud= 9600,N,8,1"}));
  QVERIFY(startDevice({}));
  test::SimProcess holder;
  QVERIFY(holder.start({QStringLiteral("--hold"), com1()}));
  startLoader();
  QVERIFY(session_->connection().PortAvailable[0]);
  QVERIFY(!session_->port().isOpen());
  QCOMPARE(display_->panelText(1), QStringLiteral("Port closed"));
  QCOMPARE(shown_.size(), 0);

  session_->connection().openOrClose();
  // The message's second line names the holder, from its lock file.
  const QList<QStringList> expected{
      {QStringLiteral("Port is used by other aplication\nHeld by kestrel-sim (process %1).")
           .arg(holder.pid()),
       "Port Error"}};
  QCOMPARE(shown_, expected);
  QCOMPARE(display_->caption(), QStringLiteral("Open"));

  holder.terminate();
  session_->connection().openOrClose();
  QVERIFY(session_->port().isOpen());
  QCOMPARE(display_->panelText(1), QStringLiteral("Port opened"));
}

void SessionPtyTest::fullDownloadFillsDeviceMemory() {
  QVERIFY(startDevice({}));
  openLoader();
  const LogoRaster logo = patternLogo();

  for (int download = 1; download <= 2; ++download) {
    test::RunDownload(session_->transfer(), logo);
    QCOMPARE(messages_, QStringList());
    const sim::SimDevice& device = device_->device();
    QCOMPARE(device.completedDownloads(), download);
    QCOMPARE(device.framesInDownload(), 132);
    QCOMPARE(device.blocksInDownload(), 130);
    QVERIFY(device.lastChecksumMatched());
    QCOMPARE(device.memoryAt(0), uint8_t(0x00));
    QCOMPARE(device.memoryAt(1), uint8_t(0x01));
    QCOMPARE(device.logo(), logoBytes(logo));
    QCOMPARE(device.memoryAt(1802), uint8_t(0x00));  // nothing past the logo
    // The device reports only the finished downloads: no frame with a bad checksum or shape.
    QCOMPARE(deviceReports_.size(), download);
    QVERIFY2(deviceReports_.last().endsWith(QStringLiteral(": match")),
             qPrintable(deviceReports_.last()));
  }
}

void SessionPtyTest::simulatorFaults_data() {
  QTest::addColumn<QStringList>("simArguments");
  QTest::addColumn<QString>("message");  // empty: the download succeeds
  QTest::addColumn<int>("framesSeen");

  QTest::newRow("never answers") << QStringList{"--never-answer"} << kNotAcknowledged << 2;
  QTest::newRow("refuses data block 50") << QStringList{"--nak-at", "50"} << kNotAcknowledged << 52;
  QTest::newRow("no logo information answer")
      << QStringList{"--no-info-answer"} << kInfoNotAnswered << 132;
  QTest::newRow("answers 10 ms late") << QStringList{"--delay", "10"} << QString() << 132;
  QTest::newRow("answers after the timeout")
      << QStringList{"--delay", "400"} << kNotAcknowledged << 2;
  QTest::newRow("ACK and CR apart") << QStringList{"--split"} << QString() << 132;
  QTest::newRow("every line twice") << QStringList{"--double"} << QString() << 132;
  QTest::newRow("lines without CR") << QStringList{"--no-cr"} << kNotAcknowledged << 2;
  QTest::newRow("paced at 115200") << QStringList{"--baud", "115200"} << QString() << 132;
  // The device goes on answering until it is unplugged a moment after frame 5; slow answers
  // keep the download from finishing first.
  QTest::newRow("unplugged mid-download")
      << QStringList{"--unplug-after", "5", "--delay", "30"} << QStringLiteral("<port lost>") << -1;
}

void SessionPtyTest::simulatorFaults() {
  QFETCH(QStringList, simArguments);
  QFETCH(QString, message);
  QFETCH(int, framesSeen);
  QVERIFY(startDevice(simArguments));
  openLoader();
  const LogoRaster logo = patternLogo();

  test::RunDownload(session_->transfer(), logo);

  if (framesSeen >= 0) {
    QCOMPARE(device_->device().framesInDownload(), framesSeen);
  } else {
    QVERIFY(device_->device().framesInDownload() >= 5);
    QVERIFY(device_->device().framesInDownload() < 132);
  }
  QVERIFY(!locked_);
  if (message.isEmpty()) {
    QCOMPARE(messages_, QStringList());
    QCOMPARE(device_->device().logo(), logoBytes(logo));
    QVERIFY(device_->device().lastChecksumMatched());
  } else if (message == QStringLiteral("<port lost>")) {
    // The serial layer's own words, not a protocol message nor silence.
    QCOMPARE(messages_.size(), 1);
    QVERIFY(!messages_[0].isEmpty());
    QVERIFY(messages_[0] != kNotAcknowledged && messages_[0] != kInfoNotAnswered);
    QVERIFY(!session_->port().isOpen());
  } else {
    QCOMPARE(messages_, QStringList{message});
  }
}

void SessionPtyTest::simulatorProgramSavesTheLogo() {
  const QString program = QStringLiteral(KESTREL_BIN_DIR "/kestrel-sim");
  QVERIFY2(QFileInfo(program).isExecutable(), "kestrel-sim not built");
  const QString saved = folder_->filePath(QStringLiteral("logo.pbm"));
  QProcess sim;
  sim.start(program, {"--link", com1(), "--save", saved, "--downloads", "1"});
  QVERIFY(sim.waitForStarted(5000));
  QVERIFY2(sim.waitForReadyRead(5000), sim.readAllStandardError().constData());
  openLoader();
  const LogoRaster logo = patternLogo();

  test::RunDownload(session_->transfer(), logo);
  QCOMPARE(messages_, QStringList());
  QVERIFY(sim.waitForFinished(5000));
  QCOMPARE(sim.exitCode(), 0);

  QFile file(saved);
  QVERIFY(file.open(QIODevice::ReadOnly));
  QCOMPARE(file.readAll(), QByteArray("P4\n240 60\n") + logoBytes(logo));
}

QTEST_GUILESS_MAIN(SessionPtyTest)
#include "tst_session_pty.moc"
