// The link engine over a scripted port: frames as written, replies judged, the reply timer.
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
using kestrel::Reply;
using kestrel::ReplyRule;
using kestrel::test::FakeCommPort;

namespace {

const QByteArray kAckCr("\x06\r");
const QByteArray kNakCr("\x15\r");

std::vector<uint8_t> bytesOf(const QByteArray& hex) {
  const QByteArray raw = QByteArray::fromHex(hex);
  return {raw.begin(), raw.end()};
}

const QByteArray kHeaderBlock = kestrel::BlockWriteText(0, bytesOf("0001"));

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
  void secondCommandWhileAwaitingIsRefusedWithoutWriting();

  void staleInputIsDroppedBeforeWriting();
  void unawaitedCommandHasNoOutcome();
  void replySplitAcrossEventsCompletesOnCr();
  void linesReadTogetherGiveOneReply_data();
  void linesReadTogetherGiveOneReply();
  void partialReplyTimesOutAndIsDroppedBeforeNextCommand();
  void lateAckCountsAsTimeOut();
  void replyTimerRunsOnAfterTheReplyAndDropsInput();
  void receiveBufferIsBounded_data();
  void receiveBufferIsBounded();
  void timerTickOnClosedPortOnlyStops();

  void writeErrorReachesCaller();
  void portLostDuringWaitEndsItWithDescription();
  void portLostWhileIdleIsNotReportedLater();

 private:
  void answerEachWrite(const QByteArray& reply, int delayMs = 0);
  // Sends and waits for the outcome; nothing when none came.
  std::optional<Reply> exchange(const QByteArray& command, ReplyRule rule = ReplyRule::AckFirst);

  std::unique_ptr<FakeCommPort> port_;
  std::unique_ptr<LinkEngine> link_;
  QList<Reply> outcomes_;
  CommError lastError_;
};

void LinkEngineTest::init() {
  port_ = std::make_unique<FakeCommPort>();
  port_->open(QStringLiteral("COM1"), {});
  link_ = std::make_unique<LinkEngine>(*port_);
  outcomes_.clear();
  connect(link_.get(), &LinkEngine::commandFinished, this,
          [this](Reply reply, const CommError& error) {
            outcomes_ << reply;
            lastError_ = error;
          });
}

void LinkEngineTest::cleanup() {
  link_.reset();
  port_.reset();
}

void LinkEngineTest::answerEachWrite(const QByteArray& reply, int delayMs) {
  port_->onWrite = [this, reply, delayMs](const QByteArray&) { port_->deliver(reply, delayMs); };
}

std::optional<Reply> LinkEngineTest::exchange(const QByteArray& command, ReplyRule rule) {
  const qsizetype before = outcomes_.size();
  link_->send(command, rule);
  if (outcomes_.size() != before) return std::nullopt;  // never from inside send()
  if (!QTest::qWaitFor([&] { return outcomes_.size() > before; }, 5000)) return std::nullopt;
  return outcomes_.last();
}

void LinkEngineTest::blockWriteFrameMatchesDeviceFormat_data() {
  QTest::addColumn<QByteArray>("bytes");
  QTest::addColumn<int>("address");
  QTest::addColumn<int>("count");
  QTest::addColumn<QByteArray>("frame");

  QTest::newRow("header block") << QByteArray("0001") << 0 << 2 << QByteArray(";BB0000020001:?\r");
  // ";BB" 191 + "0002" 194 + "0>" 110 + 28 x '?' 1764 = 2259, + 37 characters = 2296 = 0x8F8.
  QTest::newRow("14 x 0xFF at 2") << QByteArray("FF").repeated(14) << 2 << 14
                                  << QByteArray(";BB00020>" + QByteArray(28, '?') + "?8\r");
  // 1780 = 0x06F4. 191 + "06?4" 217 + "0>" 110 + 28 x '0' 1344 = 1862, + 37 = 1899 = 0x76B.
  QTest::newRow("14 x 0x00 at 1780") << QByteArray("00").repeated(14) << 1780 << 14
                                     << QByteArray(";BB06?40>" + QByteArray(28, '0') + "6;\r");
  // Only the first 8 of a 41-byte buffer go out. 191 + "0702" 201 + "08" 104 + 768 = 1264,
  // + 25 = 1289 = 0x509.
  QTest::newRow("last 8 of a larger buffer at 1794")
      << QByteArray("00").repeated(8) + QByteArray("AA").repeated(33) << 1794 << 8
      << QByteArray(";BB070208" + QByteArray(16, '0') + "09\r");
  // 191 + "1234" 202 + "02" 98 + ":?" 121 + "5:" 111 = 723, + 13 = 736 = 0x2E0.
  QTest::newRow("digits above nine")
      << QByteArray("AF5A") << 0x1234 << 2 << QByteArray(";BB123402:?5:>0\r");
}

void LinkEngineTest::blockWriteFrameMatchesDeviceFormat() {
  QFETCH(QByteArray, bytes);
  QFETCH(int, address);
  QFETCH(int, count);
  QFETCH(QByteArray, frame);
  answerEachWrite(kAckCr);

  const std::vector<uint8_t> buffer = bytesOf(bytes);
  QCOMPARE(exchange(kestrel::BlockWriteText(address, std::span(buffer).first(size_t(count)))),
           Reply::Accepted);
  QCOMPARE(port_->writes, QList<QByteArray>{frame});
}

void LinkEngineTest::blockWriteJudgesFirstCharacterOfReply_data() {
  QTest::addColumn<bool>("answered");
  QTest::addColumn<QByteArray>("reply");
  QTest::addColumn<bool>("accepted");

  QTest::newRow("ack then cr") << true << kAckCr << true;
  QTest::newRow("ack, more text, cr") << true
                                      << QByteArray(
                                             "\x06"
                                             "BUSY\r")
                                      << true;
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

  const bool complete = reply.endsWith('\r');
  QCOMPARE(exchange(kHeaderBlock), accepted   ? Reply::Accepted
                                   : complete ? Reply::Refused
                                              : Reply::TimedOut);
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

  QCOMPARE(exchange(kestrel::LogoInfoText(checksum, 0), ReplyRule::NoRefusal),
           accepted   ? Reply::Accepted
           : answered ? Reply::Refused
                      : Reply::TimedOut);
  QCOMPARE(port_->writes, QList<QByteArray>{frame});
}

void LinkEngineTest::secondCommandWhileAwaitingIsRefusedWithoutWriting() {
  link_->send(kHeaderBlock, ReplyRule::AckFirst);
  QVERIFY_THROWS_EXCEPTION(std::logic_error, link_->send(kHeaderBlock, ReplyRule::AckFirst));
  QCOMPARE(port_->writes.size(), 1);
  QVERIFY(link_->awaiting());
}

void LinkEngineTest::staleInputIsDroppedBeforeWriting() {
  // A refusal left over from an earlier exchange must not be read as this command's reply.
  port_->putWaiting(kNakCr);
  answerEachWrite(kAckCr);

  QCOMPARE(exchange(kHeaderBlock), Reply::Accepted);
  QCOMPARE(link_->ReplyLine(), kAckCr);
  QCOMPARE(port_->inputClears, 1);
}

void LinkEngineTest::unawaitedCommandHasNoOutcome() {
  answerEachWrite(
      QByteArray("\x06"
                 "A\r"));
  link_->send(QByteArray(), ReplyRule::NotAwaited);
  QCOMPARE(port_->writes.last(), QByteArray("00\r"));
  QVERIFY(!link_->awaiting());
  QCOMPARE(link_->ReplyLine(), QByteArray());

  // The reply the empty frame drew is picked up by the next command.
  QCOMPARE(exchange(kHeaderBlock), Reply::Accepted);
  QCOMPARE(link_->ReplyLine(), QByteArray("\x06"
                                          "A\r"));
  QTest::qWait(60);
  QCOMPARE(outcomes_.size(), 1);
}

void LinkEngineTest::replySplitAcrossEventsCompletesOnCr() {
  port_->onWrite = [this](const QByteArray&) {
    port_->deliver("\x06", 0);
    port_->deliver("\r", 20);
  };
  QList<QPair<bool, QByteArray>> afterEachEvent;
  connect(port_.get(), &FakeCommPort::dataReceived, this, [&] {
    afterEachEvent.append({link_->awaiting(), link_->ReceiveBuffer()});
  });

  QCOMPARE(exchange(";BI07080000", ReplyRule::NoRefusal), Reply::Accepted);
  QCOMPARE(link_->ReplyLine(), kAckCr);
  const QList<QPair<bool, QByteArray>> expected{{true, QByteArray("\x06")}, {false, QByteArray()}};
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
  QCOMPARE(exchange(kHeaderBlock), accepted ? Reply::Accepted : Reply::Refused);
  QCOMPARE(link_->ReplyLine(), reply);
  QCOMPARE(link_->ReceiveBuffer(), QByteArray());

  // The lines read with it must not be taken for the next reply either.
  answerEachWrite(
      QByteArray("\x06"
                 "C\r"));
  QCOMPARE(exchange(kHeaderBlock), Reply::Accepted);
  QCOMPARE(link_->ReplyLine(), QByteArray("\x06"
                                          "C\r"));
}

void LinkEngineTest::partialReplyTimesOutAndIsDroppedBeforeNextCommand() {
  link_->setReplyTimeout(40);
  answerEachWrite(QByteArray("\x06"));
  QCOMPARE(exchange(kHeaderBlock), Reply::TimedOut);
  QCOMPARE(link_->ReceiveBuffer(), QByteArray("\x06"));

  // The held ACK must not lead the next line: a refusal stays a refusal.
  answerEachWrite(kNakCr);
  QCOMPARE(exchange(kHeaderBlock), Reply::Refused);
  QCOMPARE(link_->ReplyLine(), kNakCr);
}

void LinkEngineTest::lateAckCountsAsTimeOut() {
  link_->setReplyTimeout(40);
  answerEachWrite(kAckCr, 120);
  QCOMPARE(exchange(kHeaderBlock), Reply::TimedOut);

  QTRY_COMPARE(link_->ReplyLine(), kAckCr);
  QVERIFY(!link_->TimerComunicacion().isActive());
  QTest::qWait(80);
  QCOMPARE(outcomes_, QList<Reply>{Reply::TimedOut});
}

void LinkEngineTest::replyTimerRunsOnAfterTheReplyAndDropsInput() {
  answerEachWrite(kAckCr);
  QElapsedTimer sinceCommand;
  sinceCommand.start();
  QCOMPARE(exchange(kHeaderBlock), Reply::Accepted);
  QVERIFY(link_->TimerComunicacion().isActive());
  const int clearsBefore = port_->inputClears;

  QTRY_VERIFY_WITH_TIMEOUT(!link_->TimerComunicacion().isActive(), 2000);
  QVERIFY2(sinceCommand.elapsed() >= 299, qPrintable(QString::number(sinceCommand.elapsed())));
  QCOMPARE(port_->inputClears, clearsBefore + 1);
  QCOMPARE(link_->ReplyLine(), kAckCr);
  QCOMPARE(outcomes_, QList<Reply>{Reply::Accepted});
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
  QSignalSpy events(port_.get(), &FakeCommPort::dataReceived);
  for (int size : pieces) port_->deliver(QByteArray(size, 'x'));
  QTRY_COMPARE(events.count(), pieces.size());
  QCOMPARE(link_->ReceiveBuffer(), QByteArray(heldAfter, 'x'));
}

void LinkEngineTest::timerTickOnClosedPortOnlyStops() {
  link_->setReplyTimeout(30);
  link_->send(QByteArray(), ReplyRule::NotAwaited);
  const int clearsBefore = port_->inputClears;
  port_->close();

  QTRY_VERIFY(!link_->TimerComunicacion().isActive());
  QCOMPARE(port_->inputClears, clearsBefore);
  QVERIFY(outcomes_.isEmpty());
}

void LinkEngineTest::writeErrorReachesCaller() {
  port_->failNextWriteWith = kestrel::CommErr::DeviceIoError;
  try {
    link_->send(kHeaderBlock, ReplyRule::AckFirst);
    QFAIL("no error");
  } catch (const CommError& error) {
    QCOMPARE(error.number(), kestrel::CommErr::DeviceIoError);
  }
  QVERIFY(!link_->awaiting());
  QTest::qWait(20);
  QVERIFY(outcomes_.isEmpty());
}

void LinkEngineTest::portLostDuringWaitEndsItWithDescription() {
  link_->setReplyTimeout(5000);
  port_->onWrite = [this](const QByteArray&) {
    QTimer::singleShot(0, port_.get(),
                       [this] { port_->simulateLoss(QStringLiteral("Device removed")); });
  };
  QCOMPARE(exchange(kHeaderBlock), Reply::PortFailed);
  QCOMPARE(lastError_.number(), kestrel::CommErr::DeviceIoError);
  QCOMPARE(lastError_.reason(), QStringLiteral("Device removed"));
}

void LinkEngineTest::portLostWhileIdleIsNotReportedLater() {
  Q_EMIT port_->lost(CommError(kestrel::CommErr::DeviceIoError, QStringLiteral("Device removed")));
  answerEachWrite(kAckCr);
  QCOMPARE(exchange(kHeaderBlock), Reply::Accepted);
  QCOMPARE(outcomes_.size(), 1);
}

QTEST_GUILESS_MAIN(LinkEngineTest)
#include "tst_linkengine.moc"
