#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

#include "fakecommport.h"
#include "link/linkengine.h"

using kestrel::CommError;
using kestrel::LinkEngine;
using kestrel::test::FakeCommPort;

namespace {

const QByteArray kAckCr("\x06\r");
const QByteArray kNakCr("\x15\r");

std::vector<uint8_t> bytesOf(const QByteArray& hex) {
  const QByteArray raw = QByteArray::fromHex(hex);
  return {raw.begin(), raw.end()};
}

// A port whose reads fail on demand, as a pulled USB adapter does.
class FailingReadPort : public FakeCommPort {
 public:
  bool failInput = false;
  QByteArray Input() override {
    if (failInput) throw CommError(kestrel::CommErr::DeviceIoError, QStringLiteral("Device removed"));
    return FakeCommPort::Input();
  }
};

}  // namespace

class LinkEngineTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void init();
  void cleanup();

  void blockWriteFrameMatchesDeviceFormat_data();
  void blockWriteFrameMatchesDeviceFormat();
  void blockWriteJudgesFirstCharacterOfReply_data();
  void blockWriteJudgesFirstCharacterOfReply();
  void logoInfoAcceptsAnyCompleteLineButARefusal_data();
  void logoInfoAcceptsAnyCompleteLineButARefusal();
  void countBeyondBufferIsRefusedWithoutWriting();

  void staleInputIsDroppedBeforeWriting();
  void noWaitReturnsAtOnceWithPreviousReplyLine();
  void replySplitAcrossEventsCompletesOnCr();
  void linesReadTogetherGiveOneReply_data();
  void linesReadTogetherGiveOneReply();
  void partialReplyTimesOutAndIsDroppedBeforeNextCommand();
  void lateAckCountsAsFailureButSetsOk();
  void statusTurnsTimeoutAfterLastCommandDespiteReply();
  void otherEventCodesChangeNothing_data();
  void otherEventCodesChangeNothing();
  void overflowEventDropsWaitingAndHeldCharacters();
  void overflowMidReplyEndsInTimeout();
  void receiveBufferIsBounded_data();
  void receiveBufferIsBounded();
  void timerTickOnClosedPortOnlyStopsAndTimesOut();

  void writeErrorReachesCaller();
  void readErrorDuringWaitEndsWaitAndReachesCaller();
  void readErrorAtTimerTickReachesCaller();
  void readErrorOutsideWaitIsNotRethrownLater();
  void portLostDuringWaitReachesCallerWithDescription();
  void portLostWhileIdleIsNotRethrownLater();

 private:
  void answerEachWrite(const QByteArray& reply, int delayMs = 0);
  // After an answered exchange ("\x06" "A\r") and an ACK held without CR, an event of code
  // arrives with waiting in the port.
  void deliverEventAfterPartialLine(int code, const QByteArray& waiting);
  // The port error a header block write ends with, if any.
  std::optional<CommError> headerWriteError();

  std::unique_ptr<FailingReadPort> port_;
  std::unique_ptr<LinkEngine> link_;
};

void LinkEngineTest::init() {
  port_ = std::make_unique<FailingReadPort>();
  port_->setRThreshold(1);
  port_->setPortOpen(true);
  link_ = std::make_unique<LinkEngine>(*port_);
}

void LinkEngineTest::cleanup() {
  link_.reset();
  port_.reset();
}

void LinkEngineTest::answerEachWrite(const QByteArray& reply, int delayMs) {
  port_->onWrite = [this, reply, delayMs](const QByteArray&) { port_->deliver(reply, delayMs); };
}

void LinkEngineTest::deliverEventAfterPartialLine(int code, const QByteArray& waiting) {
  link_->setReplyTimeout(5000);  // keep the timer's tick out of the picture
  answerEachWrite(QByteArray("\x06" "A\r"));
  const std::vector<uint8_t> buffer = bytesOf("0001");
  QVERIFY(link_->WriteBlock(buffer, 0, 2));
  port_->onWrite = nullptr;
  port_->deliver(QByteArray("\x06"));
  QTRY_COMPARE(link_->ReceiveBuffer(), QByteArray("\x06"));

  QSignalSpy events(port_.get(), &FakeCommPort::OnComm);
  port_->putWaiting(waiting);
  port_->deliverEvent(code);
  QTRY_COMPARE(events.count(), 1);
}

std::optional<CommError> LinkEngineTest::headerWriteError() {
  const std::vector<uint8_t> buffer = bytesOf("0001");
  try {
    link_->WriteBlock(buffer, 0, 2);
  } catch (const CommError& error) {
    return error;
  }
  return std::nullopt;
}

void LinkEngineTest::blockWriteFrameMatchesDeviceFormat_data() {
  QTest::addColumn<QByteArray>("bytes");
  QTest::addColumn<int>("address");
  QTest::addColumn<int>("count");
  QTest::addColumn<QByteArray>("frame");

  QTest::newRow("header block") << QByteArray("0001") << 0 << 2 << QByteArray(";BB0000020001:?\r");
  // ";BB" 191 + "0002" 194 + "0>" 110 + 28 x '?' 1764 = 2259, + 37 characters = 2296 = 0x8F8.
  QTest::newRow("14 x 0xFF at 2")
      << QByteArray("FF").repeated(14) << 2 << 14
      << QByteArray(";BB00020>" + QByteArray(28, '?') + "?8\r");
  // 1780 = 0x06F4. 191 + "06?4" 217 + "0>" 110 + 28 x '0' 1344 = 1862, + 37 = 1899 = 0x76B.
  QTest::newRow("14 x 0x00 at 1780")
      << QByteArray("00").repeated(14) << 1780 << 14
      << QByteArray(";BB06?40>" + QByteArray(28, '0') + "6;\r");
  // Only the first 8 of a 41-byte buffer go out. 191 + "0702" 201 + "08" 104 + 768 = 1264,
  // + 25 = 1289 = 0x509.
  QTest::newRow("last 8 of a larger buffer at 1794")
      << QByteArray("00").repeated(8) + QByteArray("AA").repeated(33) << 1794 << 8
      << QByteArray(";BB070208" + QByteArray(16, '0') + "09\r");
  // 191 + "1234" 202 + "02" 98 + ":?" 121 + "5:" 111 = 723, + 13 = 736 = 0x2E0.
  QTest::newRow("digits above nine") << QByteArray("AF5A") << 0x1234 << 2
                                     << QByteArray(";BB123402:?5:>0\r");
}

void LinkEngineTest::blockWriteFrameMatchesDeviceFormat() {
  QFETCH(QByteArray, bytes);
  QFETCH(int, address);
  QFETCH(int, count);
  QFETCH(QByteArray, frame);
  answerEachWrite(kAckCr);

  const std::vector<uint8_t> buffer = bytesOf(bytes);
  QVERIFY(link_->WriteBlock(buffer, address, count));
  QCOMPARE(port_->writes, QList<QByteArray>{frame});
}

void LinkEngineTest::blockWriteJudgesFirstCharacterOfReply_data() {
  QTest::addColumn<bool>("answered");
  QTest::addColumn<QByteArray>("reply");
  QTest::addColumn<bool>("accepted");

  QTest::newRow("ack then cr") << true << kAckCr << true;
  QTest::newRow("ack, more text, cr") << true << QByteArray("\x06" "BUSY\r") << true;
  QTest::newRow("nak") << true << kNakCr << false;
  QTest::newRow("bare cr") << true << QByteArray("\r") << false;
  QTest::newRow("ack not first") << true << QByteArray("A\x06\r") << false;
  QTest::newRow("ack without cr") << true << QByteArray("\x06") << false;
  QTest::newRow("silence") << false << QByteArray() << false;
}

void LinkEngineTest::blockWriteJudgesFirstCharacterOfReply() {
  QFETCH(bool, answered);
  QFETCH(QByteArray, reply);
  QFETCH(bool, accepted);
  link_->setReplyTimeout(40);
  if (answered) answerEachWrite(reply);

  const std::vector<uint8_t> buffer = bytesOf("0001");
  QCOMPARE(link_->WriteBlock(buffer, 0, 2), accepted);
  const bool complete = reply.endsWith('\r');
  QCOMPARE(link_->LinkStatus(), complete ? QStringLiteral("OK") : QStringLiteral("TIMEOUT"));
}

void LinkEngineTest::logoInfoAcceptsAnyCompleteLineButARefusal_data() {
  QTest::addColumn<int>("checksum");
  QTest::addColumn<bool>("answered");
  QTest::addColumn<QByteArray>("reply");
  QTest::addColumn<QByteArray>("frame");
  QTest::addColumn<bool>("accepted");

  // ";BI" 198 + "0708" 207 + "0000" 192 = 597, + 11 = 608 = 0x260.
  QTest::newRow("ack") << 1800 << true << kAckCr << QByteArray(";BI0708000060\r") << true;
  // ";BI" 198 + "0800" 200 + "0000" 192 = 590, + 11 = 601 = 0x259.
  QTest::newRow("nak refuses") << 2048 << true << kNakCr << QByteArray(";BI0800000059\r") << false;
  QTest::newRow("other text") << 1800 << true << QByteArray("E\r") << QByteArray(";BI0708000060\r")
                              << true;
  QTest::newRow("bare cr") << 1800 << true << QByteArray("\r") << QByteArray(";BI0708000060\r")
                           << true;
  QTest::newRow("silence") << 1800 << false << QByteArray() << QByteArray(";BI0708000060\r")
                           << false;
}

void LinkEngineTest::logoInfoAcceptsAnyCompleteLineButARefusal() {
  QFETCH(int, checksum);
  QFETCH(bool, answered);
  QFETCH(QByteArray, reply);
  QFETCH(QByteArray, frame);
  QFETCH(bool, accepted);
  link_->setReplyTimeout(40);
  if (answered) answerEachWrite(reply);

  QCOMPARE(link_->SendLogoInfo(checksum, 0), accepted);
  QCOMPARE(port_->writes, QList<QByteArray>{frame});
}

void LinkEngineTest::countBeyondBufferIsRefusedWithoutWriting() {
  const std::vector<uint8_t> buffer = bytesOf("0001");
  QVERIFY_THROWS_EXCEPTION(std::out_of_range, link_->WriteBlock(buffer, 0, 3));
  QVERIFY_THROWS_EXCEPTION(std::out_of_range, link_->WriteBlock(buffer, 0, -1));
  QVERIFY(port_->writes.isEmpty());
}

void LinkEngineTest::staleInputIsDroppedBeforeWriting() {
  // A refusal left over from an earlier exchange must not be read as this command's reply.
  port_->putWaiting(kNakCr);
  answerEachWrite(kAckCr);

  const std::vector<uint8_t> buffer = bytesOf("0001");
  QVERIFY(link_->WriteBlock(buffer, 0, 2));
  QCOMPARE(link_->ReplyLine(), kAckCr);
  QCOMPARE(port_->inputClears, 1);
}

void LinkEngineTest::noWaitReturnsAtOnceWithPreviousReplyLine() {
  answerEachWrite(QByteArray("\x06" "A\r"));
  QString status = QStringLiteral("unset");
  QCOMPARE(link_->SendCommand(QByteArray(), false, status), QByteArray());
  QCOMPARE(status, QString());
  QCOMPARE(port_->writes.last(), QByteArray("00\r"));

  const std::vector<uint8_t> buffer = bytesOf("0001");
  QVERIFY(link_->WriteBlock(buffer, 0, 2));  // picks up the reply queued by the empty frame
  QCOMPARE(link_->ReplyLine(), QByteArray("\x06" "A\r"));

  answerEachWrite(QByteArray("\x06" "B\r"));
  QCOMPARE(link_->SendCommand(QByteArray(), false, status), QByteArray("\x06" "A\r"));
  QCOMPARE(status, QString());
  QCOMPARE(link_->LinkStatus(), QString());  // no event was handled in between
}

void LinkEngineTest::replySplitAcrossEventsCompletesOnCr() {
  port_->onWrite = [this](const QByteArray&) {
    port_->deliver("\x06", 0);
    port_->deliver("\r", 20);
  };
  QList<QPair<QString, QByteArray>> afterEachEvent;
  connect(port_.get(), &FakeCommPort::OnComm, this,
          [&] { afterEachEvent.append({link_->LinkStatus(), link_->ReceiveBuffer()}); });

  QString status;
  QCOMPARE(link_->SendCommand(";BI07080000", true, status), kAckCr);
  QCOMPARE(status, QStringLiteral("OK"));
  const QList<QPair<QString, QByteArray>> expected{{QString(), QByteArray("\x06")},
                                                   {QStringLiteral("OK"), QByteArray()}};
  QCOMPARE(afterEachEvent, expected);
}

void LinkEngineTest::linesReadTogetherGiveOneReply_data() {
  QTest::addColumn<QByteArray>("arrival");
  QTest::addColumn<bool>("accepted");
  QTest::addColumn<QByteArray>("reply");
  QTest::newRow("the first of two acceptances")
      << QByteArray("\x06P\r\x06Q\r\x15") << true << QByteArray("\x06P\r");
  // A late ACK (of the empty frame, or a duplicate) read together with this block's refusal.
  QTest::newRow("a refusal behind an ack")
      << QByteArray("\x06\r\x15R\r\x06\r") << false << QByteArray("\x15R\r");
}

void LinkEngineTest::linesReadTogetherGiveOneReply() {
  QFETCH(QByteArray, arrival);
  QFETCH(bool, accepted);
  QFETCH(QByteArray, reply);
  answerEachWrite(arrival);
  const std::vector<uint8_t> buffer = bytesOf("0001");
  QCOMPARE(link_->WriteBlock(buffer, 0, 2), accepted);
  QCOMPARE(link_->ReplyLine(), reply);
  QCOMPARE(link_->ReceiveBuffer(), QByteArray());

  // The dropped lines must not be taken for the next reply either.
  answerEachWrite(QByteArray("\x06" "C\r"));
  QVERIFY(link_->WriteBlock(buffer, 0, 2));
  QCOMPARE(link_->ReplyLine(), QByteArray("\x06" "C\r"));
}

void LinkEngineTest::partialReplyTimesOutAndIsDroppedBeforeNextCommand() {
  link_->setReplyTimeout(40);
  answerEachWrite(QByteArray("\x06"));
  const std::vector<uint8_t> buffer = bytesOf("0001");
  QVERIFY(!link_->WriteBlock(buffer, 0, 2));
  QCOMPARE(link_->LinkStatus(), QStringLiteral("TIMEOUT"));
  QCOMPARE(link_->ReceiveBuffer(), QByteArray("\x06"));

  // The held ACK must not lead the next line: a refusal stays a refusal.
  answerEachWrite(kNakCr);
  QVERIFY(!link_->WriteBlock(buffer, 0, 2));
  QCOMPARE(link_->ReplyLine(), kNakCr);
}

void LinkEngineTest::lateAckCountsAsFailureButSetsOk() {
  link_->setReplyTimeout(40);
  answerEachWrite(kAckCr, 120);
  const std::vector<uint8_t> buffer = bytesOf("0001");
  QVERIFY(!link_->WriteBlock(buffer, 0, 2));
  QCOMPARE(link_->LinkStatus(), QStringLiteral("TIMEOUT"));

  QTRY_COMPARE(link_->LinkStatus(), QStringLiteral("OK"));
  QCOMPARE(link_->ReplyLine(), kAckCr);
  QVERIFY(!link_->TimerComunicacion().isActive());
  QTest::qWait(80);
  QCOMPARE(link_->LinkStatus(), QStringLiteral("OK"));
}

void LinkEngineTest::statusTurnsTimeoutAfterLastCommandDespiteReply() {
  answerEachWrite(kAckCr);
  const std::vector<uint8_t> buffer = bytesOf("0001");
  QElapsedTimer sinceCommand;
  sinceCommand.start();
  QVERIFY(link_->WriteBlock(buffer, 0, 2));
  QCOMPARE(link_->LinkStatus(), QStringLiteral("OK"));
  QVERIFY(link_->TimerComunicacion().isActive());
  const int clearsBefore = port_->inputClears;

  QTRY_COMPARE_WITH_TIMEOUT(link_->LinkStatus(), QStringLiteral("TIMEOUT"), 2000);
  QVERIFY2(sinceCommand.elapsed() >= 299, qPrintable(QString::number(sinceCommand.elapsed())));
  QVERIFY(!link_->TimerComunicacion().isActive());
  QCOMPARE(port_->inputClears, clearsBefore + 1);
  QCOMPARE(link_->ReplyLine(), kAckCr);
}

void LinkEngineTest::otherEventCodesChangeNothing_data() {
  QTest::addColumn<int>("code");
  for (int code : {1, 3, 4, 5, 6, 7, 1001, 1004, 1006, 1009, 1010, 1011, 0, 9999})
    QTest::addRow("code %d", code) << code;
}

void LinkEngineTest::otherEventCodesChangeNothing() {
  QFETCH(int, code);
  deliverEventAfterPartialLine(code, kNakCr);
  if (QTest::currentTestFailed()) return;

  QCOMPARE(link_->LinkStatus(), QStringLiteral("OK"));
  QCOMPARE(link_->ReplyLine(), QByteArray("\x06" "A\r"));
  QCOMPARE(link_->ReceiveBuffer(), QByteArray("\x06"));
  QCOMPARE(port_->InBufferCount(), 2);
}

void LinkEngineTest::overflowEventDropsWaitingAndHeldCharacters() {
  deliverEventAfterPartialLine(kestrel::CommEv::RxOver, "xyz\r");
  if (QTest::currentTestFailed()) return;

  QCOMPARE(link_->ReceiveBuffer(), QByteArray());
  QCOMPARE(port_->InBufferCount(), 0);
  QCOMPARE(link_->LinkStatus(), QStringLiteral("OK"));
  QCOMPARE(link_->ReplyLine(), QByteArray("\x06" "A\r"));

  port_->deliver(kNakCr);
  QTRY_COMPARE(link_->ReplyLine(), kNakCr);
}

void LinkEngineTest::overflowMidReplyEndsInTimeout() {
  link_->setReplyTimeout(60);
  port_->onWrite = [this](const QByteArray&) {
    port_->deliver("\x06");
    port_->deliverEvent(kestrel::CommEv::RxOver, 5);
  };
  const std::vector<uint8_t> buffer = bytesOf("0001");
  QVERIFY(!link_->WriteBlock(buffer, 0, 2));
  QCOMPARE(link_->LinkStatus(), QStringLiteral("TIMEOUT"));
  QCOMPARE(link_->ReceiveBuffer(), QByteArray());
}

void LinkEngineTest::receiveBufferIsBounded_data() {
  QTest::addColumn<QList<int>>("pieces");
  QTest::addColumn<int>("heldAfter");

  const int max = LinkEngine::kMaxReceiveBuffer;
  QTest::newRow("exactly the limit is kept") << QList<int>{max} << max;
  QTest::newRow("one past the limit is dropped") << QList<int>{max + 1} << 0;
  QTest::newRow("limit passed over two arrivals") << QList<int>{max - 100, 101} << 0;
  QTest::newRow("growth resumes after a drop") << QList<int>{max + 1, 10} << 10;
}

void LinkEngineTest::receiveBufferIsBounded() {
  QFETCH(QList<int>, pieces);
  QFETCH(int, heldAfter);
  QSignalSpy events(port_.get(), &FakeCommPort::OnComm);
  for (int size : pieces) port_->deliver(QByteArray(size, 'x'));
  QTRY_COMPARE(events.count(), pieces.size());
  QCOMPARE(link_->ReceiveBuffer(), QByteArray(heldAfter, 'x'));
}

void LinkEngineTest::timerTickOnClosedPortOnlyStopsAndTimesOut() {
  link_->setReplyTimeout(30);
  QString status;
  link_->SendCommand(QByteArray(), false, status);
  const int clearsBefore = port_->inputClears;
  port_->setPortOpen(false);

  QTRY_COMPARE(link_->LinkStatus(), QStringLiteral("TIMEOUT"));
  QVERIFY(!link_->TimerComunicacion().isActive());
  QCOMPARE(port_->inputClears, clearsBefore);
}

void LinkEngineTest::writeErrorReachesCaller() {
  port_->failNextOutputWith = kestrel::CommErr::DeviceIoError;
  const std::optional<CommError> error = headerWriteError();
  QVERIFY(error);
  QCOMPARE(error->number(), kestrel::CommErr::DeviceIoError);
}

void LinkEngineTest::readErrorDuringWaitEndsWaitAndReachesCaller() {
  link_->setReplyTimeout(5000);
  port_->onWrite = [this](const QByteArray&) {
    port_->failInput = true;
    port_->deliver(kAckCr);
  };
  const std::optional<CommError> error = headerWriteError();
  QVERIFY(error);
  QCOMPARE(error->number(), kestrel::CommErr::DeviceIoError);
  QCOMPARE(error->description(), QStringLiteral("Device removed"));
  QCOMPARE(link_->LinkStatus(), QString());  // ended by the error, not by the timer
}

void LinkEngineTest::readErrorAtTimerTickReachesCaller() {
  link_->setReplyTimeout(30);
  port_->onWrite = [this](const QByteArray&) { port_->failInput = true; };
  const std::optional<CommError> error = headerWriteError();
  QVERIFY(error);
  QCOMPARE(error->number(), kestrel::CommErr::DeviceIoError);
  QCOMPARE(link_->LinkStatus(), QStringLiteral("TIMEOUT"));
}

void LinkEngineTest::readErrorOutsideWaitIsNotRethrownLater() {
  link_->setReplyTimeout(5000);
  QSignalSpy events(port_.get(), &FakeCommPort::OnComm);
  port_->failInput = true;
  port_->deliver(kNakCr);
  QTRY_COMPARE(events.count(), 1);
  port_->failInput = false;

  answerEachWrite(kAckCr);
  const std::vector<uint8_t> buffer = bytesOf("0001");
  QVERIFY(link_->WriteBlock(buffer, 0, 2));
}

void LinkEngineTest::portLostDuringWaitReachesCallerWithDescription() {
  link_->setReplyTimeout(5000);
  port_->onWrite = [this](const QByteArray&) {
    QTimer::singleShot(0, port_.get(), [this] {
      port_->setPortOpen(false);
      Q_EMIT port_->PortLost(QStringLiteral("Device removed"));
    });
  };
  const std::optional<CommError> error = headerWriteError();
  QVERIFY(error);
  QCOMPARE(error->number(), kestrel::CommErr::DeviceIoError);
  QCOMPARE(error->description(), QStringLiteral("Device removed"));
  QCOMPARE(link_->LinkStatus(), QString());
}

void LinkEngineTest::portLostWhileIdleIsNotRethrownLater() {
  Q_EMIT port_->PortLost(QStringLiteral("Device removed"));
  answerEachWrite(kAckCr);
  const std::vector<uint8_t> buffer = bytesOf("0001");
  QVERIFY(link_->WriteBlock(buffer, 0, 2));
}

QTEST_GUILESS_MAIN(LinkEngineTest)
#include "tst_linkengine.moc"
