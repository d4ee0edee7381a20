#include <QTest>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>

#include "app/logotransfer.h"
#include "app/portconnection.h"
#include "downloadrun.h"
#include "fakecommport.h"
#include "link/linkengine.h"
#include "portstatusview.h"
#include "texts/usertexts.h"

using kestrel::CommError;
using kestrel::LinkEngine;
using kestrel::LogoChecksum;
using kestrel::LogoRaster;
using kestrel::LogoTransfer;
using kestrel::PortConnection;
using kestrel::test::FakeCommPort;

Q_DECLARE_METATYPE(kestrel::LogoRaster)
Q_DECLARE_METATYPE(kestrel::TransferResult)

namespace {

const QString kNotAcknowledged =
    QStringLiteral("COMMUNICATION ERROR !!\r\rCheck configuration and connection.");
const QString kInfoNotAnswered = QStringLiteral(
    "COMMUNICATION ERROR WHEN SENDING LOGO INFORMATION!!\r\rCheck configuration and connection.");
const QByteArray kAckCr("\x06\r");

LogoRaster filledLogo(uint8_t value) {
  LogoRaster logo{};
  logo.fill(value);
  logo[1800] = 0;
  return logo;
}

LogoRaster patternLogo() {
  LogoRaster logo{};
  for (int v = 0; v < 1800; ++v) logo[v] = static_cast<uint8_t>(v * 7 + 3);
  return logo;
}

struct Message {
  QString text;
  QString title;
  bool windowLocked;
};

// One ";BB" frame read back the way the device reads it.
struct BlockFrame {
  int address;
  int count;
  QByteArray data;
};

int digitsValue(const QByteArray& digits) {
  int value = 0;
  for (char c : digits) value = value * 16 + (c - '0');
  return value;
}

BlockFrame decodeBlock(const QByteArray& frame) {
  BlockFrame block{digitsValue(frame.mid(3, 4)), digitsValue(frame.mid(7, 2)), {}};
  for (int i = 0; i < block.count; ++i)
    block.data.append(static_cast<char>(digitsValue(frame.mid(9 + 2 * i, 2))));
  return block;
}

}  // namespace

class LogoTransferTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void init();
  void cleanup();

  void checksumCoversLogoBytesOnly_data();
  void checksumCoversLogoBytesOnly();
  void fullDownloadSendsFramesInOrder_data();
  void fullDownloadSendsFramesInOrder();
  void fullDownloadWritesHeaderAndLogoAtTheirAddresses();
  void progressRunsFrom0To1799();
  void successLocksThenRestoresInOrder();

  void silentDeviceIsReportedAfterHeader();
  void refusedFiftiethDataBlockEndsDownload();
  void unansweredLogoInfoIsReported();
  void logoInfoFailsOnlyOnARefusal_data();
  void logoInfoFailsOnlyOnARefusal();
  void refusalMessageIsShownWhileLocked_data();
  void refusalMessageIsShownWhileLocked();

  void openFailureIsReported_data();
  void openFailureIsReported();
  void portOpenedForTheSendStaysOpen();
  void portErrorMidDownloadShowsDescription();
  void sendAgainStartsFromEmptyFrame();
  void clickDuringDownloadIsIgnored();

 private:
  // Answers every awaited frame with ACK CR unless reply() says otherwise. order is 1-based,
  // the empty frame being 1; an empty result means silence.
  void runDevice(std::function<QByteArray(int order, const QByteArray& frame)> reply = {});
  QList<QByteArray> blockFrames() const;
  std::optional<kestrel::TransferOutcome> download(const LogoRaster& logo) {
    return kestrel::test::RunDownload(*transfer_, logo);
  }

  std::unique_ptr<FakeCommPort> port_;
  std::unique_ptr<LinkEngine> link_;
  std::unique_ptr<kestrel::test::PortStatusView> display_;
  std::unique_ptr<PortConnection> connection_;
  std::unique_ptr<LogoTransfer> transfer_;
  QList<Message> messages_;
  // The transfer's events in order; progress values are kept apart: there are 1800 of them.
  QStringList log_;
  QList<int> progress_;
  bool locked_ = false;  // between started and ended, as a window would be
};

void LogoTransferTest::init() {
  messages_.clear();
  log_.clear();
  progress_.clear();
  locked_ = false;
  port_ = std::make_unique<FakeCommPort>();
  port_->open(QStringLiteral("COM1"), {});
  link_ = std::make_unique<LinkEngine>(*port_);
  link_->setReplyTimeout(40);
  connection_ = std::make_unique<PortConnection>(*port_);
  display_ = std::make_unique<kestrel::test::PortStatusView>(connection_->state());
  transfer_ = std::make_unique<LogoTransfer>(*link_, *connection_);
  connect(transfer_.get(), &LogoTransfer::started, this, [this] {
    log_ << "started";
    locked_ = true;
  });
  connect(transfer_.get(), &LogoTransfer::progress, this, [this](int v) { progress_ << v; });
  connect(transfer_.get(), &LogoTransfer::ended, this, [this](const kestrel::TransferOutcome& o) {
    const QString text = kestrel::texts::InMessageBox(kestrel::texts::TransferMessage(o));
    if (!text.isEmpty()) messages_.append({text, QString(), locked_});
    log_ << "ended";
    locked_ = false;
  });
  runDevice();
}

void LogoTransferTest::cleanup() {
  transfer_.reset();
  display_.reset();
  connection_.reset();
  link_.reset();
  port_.reset();
}

void LogoTransferTest::runDevice(std::function<QByteArray(int, const QByteArray&)> reply) {
  auto order = std::make_shared<int>(0);
  port_->onWrite = [this, order, reply](const QByteArray& frame) {
    ++*order;
    if (frame == "00\r") return;
    const QByteArray answer = reply ? reply(*order, frame) : kAckCr;
    if (!answer.isEmpty()) port_->deliver(answer);
  };
}

QList<QByteArray> LogoTransferTest::blockFrames() const {
  QList<QByteArray> blocks;
  for (const QByteArray& frame : port_->writes)
    if (frame.startsWith(";BB")) blocks << frame;
  return blocks;
}

void LogoTransferTest::checksumCoversLogoBytesOnly_data() {
  QTest::addColumn<LogoRaster>("logo");
  QTest::addColumn<int>("checksum");

  QTest::newRow("all zero") << filledLogo(0x00) << 0x0708;
  QTest::newRow("all 0xFF wraps") << filledLogo(0xFF) << 0x0800;
  LogoRaster one = filledLogo(0x00);
  one[0] = 0x80;
  QTest::newRow("one byte") << one << 0x0788;
  LogoRaster tail = filledLogo(0x00);
  tail[1800] = 0xFF;
  QTest::newRow("index 1800 is not part of it") << tail << 0x0708;
}

void LogoTransferTest::checksumCoversLogoBytesOnly() {
  QFETCH(LogoRaster, logo);
  QFETCH(int, checksum);
  QCOMPARE(LogoChecksum(logo), checksum);
}

void LogoTransferTest::fullDownloadSendsFramesInOrder_data() {
  QTest::addColumn<LogoRaster>("logo");
  QTest::addColumn<QByteArray>("firstData");
  QTest::addColumn<QByteArray>("lastData");
  QTest::addColumn<QByteArray>("logoInfo");

  // First data block: ";BB" 191 + "0002" 194 + "0>" 110 = 495 plus 28 digits, + 37 characters.
  // Zeros: 495 + 1344 + 37 = 1876 = 0x754. 0xFF: 495 + 1764 + 37 = 2296 = 0x8F8.
  // Last block at 1794: 191 + "0702" 201 + "08" 104 = 496 plus 16 digits, + 25 characters.
  // Zeros: 496 + 768 + 25 = 1289 = 0x509. 0xFF: 496 + 1008 + 25 = 1529 = 0x5F9.
  QTest::newRow("all zero") << filledLogo(0x00)
                            << QByteArray(";BB00020>" + QByteArray(28, '0') + "54\r")
                            << QByteArray(";BB070208" + QByteArray(16, '0') + "09\r")
                            << QByteArray(";BI0708000060\r");
  QTest::newRow("all 0xFF") << filledLogo(0xFF)
                            << QByteArray(";BB00020>" + QByteArray(28, '?') + "?8\r")
                            << QByteArray(";BB070208" + QByteArray(16, '?') + "?9\r")
                            << QByteArray(";BI0800000059\r");
}

void LogoTransferTest::fullDownloadSendsFramesInOrder() {
  QFETCH(LogoRaster, logo);
  QFETCH(QByteArray, firstData);
  QFETCH(QByteArray, lastData);
  QFETCH(QByteArray, logoInfo);

  download(logo);

  QVERIFY(messages_.isEmpty());
  QCOMPARE(port_->writes.size(), 132);
  QCOMPARE(port_->writes[0], QByteArray("00\r"));
  QCOMPARE(port_->writes[1], QByteArray(";BB0000020001:?\r"));
  QCOMPARE(port_->writes[2], firstData);
  QCOMPARE(port_->writes[130], lastData);
  QCOMPARE(port_->writes[131], logoInfo);
}

void LogoTransferTest::fullDownloadWritesHeaderAndLogoAtTheirAddresses() {
  const LogoRaster logo = patternLogo();
  download(logo);
  QVERIFY(messages_.isEmpty());

  QByteArray memory(1802, '\xEE');
  QList<int> addresses;
  QList<int> counts;
  for (const QByteArray& frame : blockFrames()) {
    const BlockFrame block = decodeBlock(frame);
    addresses << block.address;
    counts << block.count;
    memory.replace(block.address, block.count, block.data);
  }

  QList<int> expectedAddresses{0};
  QList<int> expectedCounts{2};
  for (int k = 0; k < 128; ++k) {
    expectedAddresses << 2 + 14 * k;
    expectedCounts << 14;
  }
  expectedAddresses << 1794;
  expectedCounts << 8;
  QCOMPARE(addresses, expectedAddresses);
  QCOMPARE(counts, expectedCounts);

  QByteArray expectedMemory("\x00\x01", 2);
  expectedMemory.append(reinterpret_cast<const char*>(logo.data()), 1800);
  QCOMPARE(memory, expectedMemory);

  int sum = 1800;
  for (int v = 0; v < 1800; ++v) sum += logo[v];
  QCOMPARE(digitsValue(port_->writes.last().mid(3, 4)), sum % 65536);
  QCOMPARE(port_->writes.last().mid(7, 4), QByteArray("0000"));
}

void LogoTransferTest::progressRunsFrom0To1799() {
  download(patternLogo());
  QList<int> expected;
  for (int v = 0; v < 1800; ++v) expected << v;
  QCOMPARE(progress_, expected);
}

void LogoTransferTest::successLocksThenRestoresInOrder() {
  download(patternLogo());
  QCOMPARE(log_, QStringList({"started", "ended"}));
}

void LogoTransferTest::silentDeviceIsReportedAfterHeader() {
  runDevice([](int, const QByteArray&) { return QByteArray(); });
  download(patternLogo());

  const QList<QByteArray> expected{"00\r", ";BB0000020001:?\r"};
  QCOMPARE(port_->writes, expected);
  QCOMPARE(messages_.size(), 1);
  QCOMPARE(messages_[0].text, kNotAcknowledged);
  QCOMPARE(messages_[0].title, QString());
}

void LogoTransferTest::refusedFiftiethDataBlockEndsDownload() {
  // The 50th data block starts at 2 + 49 x 14 = 688 = 0x2B0.
  runDevice([](int, const QByteArray& frame) {
    return frame.startsWith(";BB02;00>") ? QByteArray("\x15\r") : kAckCr;
  });
  const auto outcome = download(patternLogo());

  QCOMPARE(outcome->result, kestrel::TransferResult::NotAcknowledged);
  QCOMPARE(outcome->framesSent, 52);
  QCOMPARE(port_->writes.size(), 52);
  QVERIFY(port_->writes.last().startsWith(";BB02;00>"));
  QVERIFY(!port_->written.contains(";BI"));
  QCOMPARE(messages_.size(), 1);
  QCOMPARE(messages_[0].text, kNotAcknowledged);
  QCOMPARE(progress_.last(), 699);

  // Accepted bytes reach address 687 and no further.
  const BlockFrame lastAccepted = decodeBlock(port_->writes[50]);
  QCOMPARE(lastAccepted.address + lastAccepted.count - 1, 687);
}

void LogoTransferTest::unansweredLogoInfoIsReported() {
  runDevice(
      [](int, const QByteArray& frame) { return frame.startsWith(";BI") ? QByteArray() : kAckCr; });
  download(patternLogo());

  QCOMPARE(port_->writes.size(), 132);
  QCOMPARE(messages_.size(), 1);
  QCOMPARE(messages_[0].text, kInfoNotAnswered);
  QCOMPARE(messages_[0].title, QString());
}

void LogoTransferTest::logoInfoFailsOnlyOnARefusal_data() {
  QTest::addColumn<QByteArray>("reply");
  QTest::addColumn<kestrel::TransferResult>("result");
  QTest::addColumn<QString>("message");
  QTest::newRow("other text passes")
      << QByteArray("E\r") << kestrel::TransferResult::Loaded << QString();
  QTest::newRow("refusal") << QByteArray("\x15\r") << kestrel::TransferResult::LogoInfoRefused
                           << kNotAcknowledged;
}

void LogoTransferTest::logoInfoFailsOnlyOnARefusal() {
  QFETCH(QByteArray, reply);
  QFETCH(kestrel::TransferResult, result);
  QFETCH(QString, message);
  runDevice(
      [reply](int, const QByteArray& frame) { return frame.startsWith(";BI") ? reply : kAckCr; });
  const auto outcome = download(patternLogo());
  QCOMPARE(port_->writes.size(), 132);
  QCOMPARE(outcome->result, result);
  QCOMPARE(kestrel::texts::InMessageBox(kestrel::texts::TransferMessage(*outcome)), message);
}

void LogoTransferTest::refusalMessageIsShownWhileLocked_data() {
  QTest::addColumn<QString>("refusedCommand");
  QTest::addColumn<QString>("message");
  QTest::newRow("header") << ";BB0000" << kNotAcknowledged;
  QTest::newRow("last block") << ";BB0702" << kNotAcknowledged;
  QTest::newRow("logo information") << ";BI" << kInfoNotAnswered;
}

void LogoTransferTest::refusalMessageIsShownWhileLocked() {
  QFETCH(QString, refusedCommand);
  QFETCH(QString, message);
  const QByteArray refused = refusedCommand.toLatin1();
  runDevice([refused](int, const QByteArray& frame) {
    return frame.startsWith(refused) ? QByteArray() : kAckCr;
  });
  download(patternLogo());

  QCOMPARE(messages_.size(), 1);
  QCOMPARE(messages_[0].text, message);
  QVERIFY(messages_[0].windowLocked);
  QCOMPARE(log_, QStringList({"started", "ended"}));
}

void LogoTransferTest::openFailureIsReported_data() {
  QTest::addColumn<int>("error");
  QTest::addColumn<QString>("message");
  QTest::newRow("no such port") << int(kestrel::CommErr::PortNotExist)
                                << QStringLiteral(
                                       "Serial port cannot be opened. Check setting.\r/dev/fake1");
  QTest::newRow("held by another program")
      << int(kestrel::CommErr::PortInUse)
      << QStringLiteral("Serial port occupied by another program");
  QTest::newRow("permission denied")
      << int(kestrel::CommErr::PermissionDenied) << QStringLiteral("Scripted open failure 8100");
}

void LogoTransferTest::openFailureIsReported() {
  QFETCH(int, error);
  QFETCH(QString, message);
  port_->close();
  if (error == kestrel::CommErr::PortNotExist)
    port_->missingPorts.insert(1);
  else if (error == kestrel::CommErr::PortInUse)
    port_->heldPorts.insert(1);
  else
    port_->openErrors[1] = error;

  const auto outcome = download(patternLogo());

  QCOMPARE(outcome->errorNumber, error);
  QCOMPARE(outcome->framesSent, 0);
  QVERIFY(port_->writes.isEmpty());
  QCOMPARE(messages_.size(), 1);
  QCOMPARE(messages_[0].text, message);
  QCOMPARE(messages_[0].title, QString());
  QCOMPARE(log_, QStringList{"ended"});  // never locked
  QVERIFY(!port_->isOpen());
}

void LogoTransferTest::portOpenedForTheSendStaysOpen() {
  port_->close();
  download(patternLogo());

  QVERIFY(messages_.isEmpty());
  QCOMPARE(port_->writes.size(), 132);
  QVERIFY(port_->isOpen());
  QCOMPARE(display_->panelText(1), QStringLiteral("Port opened"));
  QCOMPARE(display_->caption(), QStringLiteral("Close"));
  QVERIFY(!display_->portMenusEnabled());
}

void LogoTransferTest::portErrorMidDownloadShowsDescription() {
  runDevice([this](int order, const QByteArray&) {
    if (order == 10) port_->failNextWriteWith = kestrel::CommErr::DeviceIoError;
    return kAckCr;
  });
  download(patternLogo());

  QCOMPARE(port_->writes.size(), 10);
  QCOMPARE(messages_.size(), 1);
  QCOMPARE(messages_[0].text, QStringLiteral("Scripted write failure 8020"));
  QVERIFY(messages_[0].windowLocked);
  QCOMPARE(log_, QStringList({"started", "ended"}));
}

void LogoTransferTest::sendAgainStartsFromEmptyFrame() {
  runDevice(
      [](int order, const QByteArray&) { return order == 5 ? QByteArray("\x15\r") : kAckCr; });
  const LogoRaster logo = patternLogo();
  download(logo);
  QCOMPARE(port_->writes.size(), 5);
  QCOMPARE(messages_.size(), 1);

  runDevice();
  download(logo);
  download(logo);
  QCOMPARE(messages_.size(), 1);
  QCOMPARE(port_->writes.size(), 5 + 132 + 132);
  QCOMPARE(port_->writes[5], QByteArray("00\r"));
  QCOMPARE(port_->writes[5 + 132], QByteArray("00\r"));
  QCOMPARE(port_->writes.mid(5, 132), port_->writes.mid(5 + 132, 132));
  QCOMPARE(log_.count("started"), 3);
  QCOMPARE(log_.count("ended"), 3);
}

void LogoTransferTest::clickDuringDownloadIsIgnored() {
  const LogoRaster logo = patternLogo();
  bool refused = false;
  runDevice([this, &logo, &refused](int order, const QByteArray&) {
    if (order == 20)
      QTimer::singleShot(0, [this, &logo, &refused] { refused = !transfer_->start(logo); });
    return kAckCr;
  });
  download(logo);
  QVERIFY(refused);
  QCOMPARE(port_->writes.size(), 132);
  QCOMPARE(port_->writes.count(QByteArray("00\r")), 1);
  QCOMPARE(log_.count("started"), 1);
  QVERIFY(messages_.isEmpty());
}

QTEST_GUILESS_MAIN(LogoTransferTest)
#include "tst_logotransfer.moc"
