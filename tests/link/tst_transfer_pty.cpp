// Whole downloads through a real pseudo-terminal to the device simulator.
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "fakeportdisplay.h"
#include "link/linkengine.h"
#include "link/logotransfer.h"
#include "port/portconnection.h"
#include "port/programfolder.h"

#if __has_include("simpty.h") && __has_include("port/serialcomm.h")
#define KESTREL_HAVE_PTY_SIM 1
#include "port/serialcomm.h"
#include "simoptions.h"
#include "simpty.h"
#endif

using namespace kestrel;

namespace {

const QString kA = QStringLiteral("COMMUNICATION ERROR !!\r\rCheck configuration and connection.");
const QString kB = QStringLiteral(
    "COMMUNICATION ERROR WHEN SENDING LOGO INFORMATION!!\r\rCheck configuration and connection.");

LogoRaster patternLogo() {
  LogoRaster logo{};
  for (int v = 0; v < kLogoBytes; ++v) logo[v] = static_cast<uint8_t>((v * 37) ^ (v >> 3));
  return logo;
}

QByteArray logoBytes(const LogoRaster& logo) {
  return QByteArray(reinterpret_cast<const char*>(logo.data()), kLogoBytes);
}

class QuietView : public TransferView {
 public:
  bool locked = false;
  void setOpenButtonEnabled(bool) override {}
  void setSendButtonEnabled(bool) override {}
  void setProgressRange(int, int) override {}
  void setProgressValue(int) override {}
  void setProgressVisible(bool) override {}
  void LockUserInterface() override { locked = true; }
  void UnlockUserInterface() override { locked = false; }
};

using QuietDisplay = kestrel::test::FakePortDisplay;

}  // namespace

class TransferPtyTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void init();
  void cleanup();
  void fullDownloadFillsDeviceMemory();
  void simulatorFaults_data();
  void simulatorFaults();
  void simulatorProgramSavesTheLogo();

#ifdef KESTREL_HAVE_PTY_SIM
 private:
  // False when this machine has no pseudo-terminals.
  bool startDevice(const QStringList& simArguments);
  void openLoader();

  std::unique_ptr<QTemporaryDir> folder_;
  std::unique_ptr<sim::SimRunner> device_;
  QStringList deviceReports_;
  std::unique_ptr<SerialComm> port_;
  std::unique_ptr<LinkEngine> link_;
  QuietDisplay display_;
  QuietView view_;
  std::unique_ptr<PortConnection> connection_;
  std::unique_ptr<LogoTransfer> transfer_;
  QStringList messages_;
#endif
};

#ifdef KESTREL_HAVE_PTY_SIM

void TransferPtyTest::init() {
  folder_ = std::make_unique<QTemporaryDir>();
  QVERIFY(folder_->isValid());
  SetProgramFolder(folder_->path());
  messages_.clear();
  deviceReports_.clear();
}

void TransferPtyTest::cleanup() {
  transfer_.reset();
  connection_.reset();
  link_.reset();
  if (port_ && port_->PortOpen()) port_->setPortOpen(false);
  port_.reset();
  device_.reset();
  SetProgramFolder(QString());
  folder_.reset();
}

bool TransferPtyTest::startDevice(const QStringList& simArguments) {
  sim::SimOptions options;
  QString error;
  bool help = false;
  if (!sim::ParseSimOptions(simArguments, options, &error, &help)) {
    qWarning("bad simulator arguments: %s", qPrintable(error));
    return false;
  }
  options.linkPath = folder_->path() + QStringLiteral("/COM1");
  device_ = std::make_unique<sim::SimRunner>(options);
  connect(device_.get(), &sim::SimRunner::report, this,
          [this](const QString& line) { deviceReports_ << line; });
  if (!device_->start(&error)) {
    qWarning("no pseudo-terminal: %s", qPrintable(error));
    return false;
  }
  return true;
}

void TransferPtyTest::openLoader() {
  port_ = std::make_unique<SerialComm>();
  link_ = std::make_unique<LinkEngine>(*port_);
  MessageFn message = [this](const QString& text, const QString&) { messages_ << text; };
  connection_ = std::make_unique<PortConnection>(*port_, display_, message);
  transfer_ = std::make_unique<LogoTransfer>(*link_, *connection_, view_, message);
  port_->setCommPort(1);
  port_->setSettings(QStringLiteral("115200,n,8,1"));
  port_->setInputLen(0);
  port_->setRThreshold(1);
  port_->setSThreshold(1);
  port_->setPortOpen(true);
}

void TransferPtyTest::fullDownloadFillsDeviceMemory() {
  if (!startDevice({})) QSKIP("no pseudo-terminal on this machine");
  openLoader();
  const LogoRaster logo = patternLogo();

  for (int download = 1; download <= 2; ++download) {
    transfer_->cmdSend_Click(logo);
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

void TransferPtyTest::simulatorFaults_data() {
  QTest::addColumn<QStringList>("simArguments");
  QTest::addColumn<QString>("message");  // empty: the download succeeds
  QTest::addColumn<int>("framesSeen");

  QTest::newRow("never answers") << QStringList{"--never-answer"} << kA << 2;
  QTest::newRow("refuses data block 50") << QStringList{"--nak-at", "50"} << kA << 52;
  QTest::newRow("no logo information answer") << QStringList{"--no-info-answer"} << kB << 132;
  QTest::newRow("answers 10 ms late") << QStringList{"--delay", "10"} << QString() << 132;
  QTest::newRow("answers after the timeout") << QStringList{"--delay", "400"} << kA << 2;
  QTest::newRow("ACK and CR apart") << QStringList{"--split"} << QString() << 132;
  QTest::newRow("every line twice") << QStringList{"--double"} << QString() << 132;
  QTest::newRow("lines without CR") << QStringList{"--no-cr"} << kA << 2;
  QTest::newRow("paced at 115200") << QStringList{"--baud", "115200"} << QString() << 132;
  // The device goes on answering until it is unplugged a moment after frame 5; slow answers
  // keep the download from finishing first.
  QTest::newRow("unplugged mid-download")
      << QStringList{"--unplug-after", "5", "--delay", "30"} << QStringLiteral("<port lost>") << -1;
}

void TransferPtyTest::simulatorFaults() {
  QFETCH(QStringList, simArguments);
  QFETCH(QString, message);
  QFETCH(int, framesSeen);
  if (!startDevice(simArguments)) QSKIP("no pseudo-terminal on this machine");
  openLoader();
  const LogoRaster logo = patternLogo();

  transfer_->cmdSend_Click(logo);

  if (framesSeen >= 0) {
    QCOMPARE(device_->device().framesInDownload(), framesSeen);
  } else {
    QVERIFY(device_->device().framesInDownload() >= 5);
    QVERIFY(device_->device().framesInDownload() < 132);
  }
  QVERIFY(!view_.locked);
  if (message.isEmpty()) {
    QCOMPARE(messages_, QStringList());
    QCOMPARE(device_->device().logo(), logoBytes(logo));
    QVERIFY(device_->device().lastChecksumMatched());
  } else if (message == QStringLiteral("<port lost>")) {
    // The serial layer's own words, not a protocol message nor silence.
    QCOMPARE(messages_.size(), 1);
    QVERIFY(!messages_[0].isEmpty());
    QVERIFY(messages_[0] != kA && messages_[0] != kB);
    QVERIFY(!port_->PortOpen());
  } else {
    QCOMPARE(messages_, QStringList{message});
  }
}

void TransferPtyTest::simulatorProgramSavesTheLogo() {
  const QString program = QStringLiteral(KESTREL_BIN_DIR "/kestrel-sim");
  if (!QFileInfo(program).isExecutable()) QSKIP("kestrel-sim not built");
  const QString saved = folder_->path() + QStringLiteral("/logo.pbm");
  QProcess sim;
  sim.start(program, {"--link", folder_->path() + "/COM1", "--save", saved, "--downloads", "1"});
  QVERIFY(sim.waitForStarted(5000));
  if (!sim.waitForReadyRead(5000))
    QSKIP(qPrintable("simulator did not come up: " + sim.readAllStandardError()));
  openLoader();
  const LogoRaster logo = patternLogo();

  transfer_->cmdSend_Click(logo);
  QCOMPARE(messages_, QStringList());
  QVERIFY(sim.waitForFinished(5000));
  QCOMPARE(sim.exitCode(), 0);

  QFile file(saved);
  QVERIFY(file.open(QIODevice::ReadOnly));
  QCOMPARE(file.readAll(), QByteArray("P4\n240 60\n") + logoBytes(logo));
}

#else

void TransferPtyTest::init() {}
void TransferPtyTest::cleanup() {}
void TransferPtyTest::fullDownloadFillsDeviceMemory() { QSKIP("simulator not built"); }
void TransferPtyTest::simulatorFaults_data() {}
void TransferPtyTest::simulatorFaults() { QSKIP("simulator not built"); }
void TransferPtyTest::simulatorProgramSavesTheLogo() { QSKIP("simulator not built"); }

#endif

QTEST_GUILESS_MAIN(TransferPtyTest)
#include "tst_transfer_pty.moc"
