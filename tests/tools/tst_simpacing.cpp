// Line pacing of the simulator: the wire arithmetic in-process, and the paced program never
// answering sooner than a real line could carry the bytes.
#include <QElapsedTimer>
#include <QtTest/QtTest>

#include "linepacer.h"
#include "ptyhelper.h"

using kestrel::sim::LinePacer;
using kestrel::test::PtyClient;
using kestrel::test::SimProcess;

namespace {

const QByteArray kAckCr("\x06\r", 2);
const QByteArray kHeaderFrame(";BB0000020001:?\r");  // 16 bytes

struct Sent {
  qint64 seenNs;
  qint64 bytes;
};

}  // namespace

Q_DECLARE_METATYPE(QList<Sent>)

class TestSimPacing : public QObject {
  Q_OBJECT

 private slots:
  void wireTimeIsExactToTheNanosecond_data() {
    QTest::addColumn<int>("baud");
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<qint64>("ns");
    // 10 bits a byte, rounded down to whole nanoseconds once for the whole run.
    QTest::newRow("block frame at 115200") << 115200 << qint64(40) << qint64(3472222);
    QTest::newRow("answer at 115200") << 115200 << qint64(2) << qint64(173611);
    QTest::newRow("whole download out at 115200") << 115200 << qint64(5181) << qint64(449739583);
    QTest::newRow("header frame at 9600") << 9600 << qint64(16) << qint64(16666666);
    QTest::newRow("one byte at 9600") << 9600 << qint64(1) << qint64(1041666);
    QTest::newRow("exchange at 1200") << 1200 << qint64(18) << qint64(150000000);
    QTest::newRow("nothing") << 4800 << qint64(0) << qint64(0);
    QTest::newRow("a gigabyte at 300 does not overflow")
        << 300 << qint64(1000000000) << qint64(33333333333333333);
  }

  void wireTimeIsExactToTheNanosecond() {
    QFETCH(int, baud);
    QFETCH(qint64, bytes);
    QFETCH(qint64, ns);
    QCOMPARE(LinePacer(baud).wireNs(bytes), ns);
  }

  void inboundLineCarriesOnePieceAtATime_data() {
    QTest::addColumn<QList<Sent>>("sent");
    QTest::addColumn<QList<qint64>>("done");
    // At 9600 a byte takes 1,041,666.6 ns.
    QTest::newRow("idle line starts when the bytes are seen")
        << QList<Sent>{{0, 16}, {50000000, 16}} << QList<qint64>{16666666, 66666666};
    QTest::newRow("bytes seen while the line is busy wait for it")
        << QList<Sent>{{0, 20}, {5000000, 10}} << QList<qint64>{20833333, 31249999};
    QTest::newRow("seen the moment the line frees")
        << QList<Sent>{{0, 16}, {16666666, 16}} << QList<qint64>{16666666, 33333332};
  }

  void inboundLineCarriesOnePieceAtATime() {
    QFETCH(QList<Sent>, sent);
    QFETCH(QList<qint64>, done);
    LinePacer pacer(9600);
    QList<qint64> got;
    for (const Sent& s : sent) got << pacer.inboundDone(s.seenNs, s.bytes);
    QCOMPARE(got, done);
  }

  void answersQueueOnTheirOwnLine() {
    LinePacer pacer(9600);
    // A long frame still coming in does not hold up an answer going out.
    QCOMPARE(pacer.inboundDone(0, 100), qint64(104166666));
    QCOMPARE(pacer.outboundDone(1000000, 2), qint64(3083333));
    // A second answer ready before the first is through follows it.
    QCOMPARE(pacer.outboundDone(2000000, 2), qint64(5166666));
  }

  void unpacedLineCostsNothing() {
    for (int baud : {0, -9600}) {
      LinePacer pacer(baud);
      QVERIFY(!pacer.paced());
      QCOMPARE(pacer.wireNs(5181), qint64(0));
      QCOMPARE(pacer.inboundDone(123, 40), qint64(123));
      QCOMPARE(pacer.outboundDone(456, 2), qint64(456));
    }
  }

  void answerComesNoSoonerThanTheWireAllows_data() {
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QList<QByteArray>>("writes");
    QTest::addColumn<int>("gapMs");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<qint64>("minimumUs");
    // At 4800 baud a byte takes 2,083.3 us; the sums below are of whole nanoseconds.
    const QStringList at4800{QStringLiteral("--baud"), QStringLiteral("4800")};
    QTest::newRow("frame in, answer out")
        << at4800 << QList<QByteArray>{kHeaderFrame} << 0 << kAckCr << qint64(37499);
    QTest::newRow("two frames in one write queue on the line")
        << at4800 << QList<QByteArray>{kHeaderFrame + kHeaderFrame} << 0 << kAckCr + kAckCr
        << qint64(70833);
    // The first half is through at 16.7 ms; still busy at 10 ms, idle at 20 ms.
    QTest::newRow("second half written while the line is busy")
        << at4800 << QList<QByteArray>{kHeaderFrame.left(8), kHeaderFrame.mid(8)} << 10 << kAckCr
        << qint64(37499);
    QTest::newRow("second half written to an idle line")
        << at4800 << QList<QByteArray>{kHeaderFrame.left(8), kHeaderFrame.mid(8)} << 20 << kAckCr
        << qint64(40833);
    QTest::newRow("delay counts from the frame's last byte")
        << (at4800 + QStringList{QStringLiteral("--delay"), QStringLiteral("30")})
        << QList<QByteArray>{kHeaderFrame} << 0 << kAckCr << qint64(67499);
    QTest::newRow("split answer: CR 10 ms after the ACK is through")
        << (at4800 + QStringList{QStringLiteral("--split")}) << QList<QByteArray>{kHeaderFrame} << 0
        << kAckCr << qint64(47499);
    QTest::newRow("adapter holds the answer for its latency once it is off the line")
        << (at4800 + QStringList{QStringLiteral("--adapter-latency"), QStringLiteral("40")})
        << QList<QByteArray>{kHeaderFrame} << 0 << kAckCr << qint64(77499);
    // Unpaced, the answer is held the moment the frame is read, and a latency this short is
    // waited out before the hold returns.
    QTest::newRow("adapter latency shorter than the event loop's timers")
        << QStringList{QStringLiteral("--adapter-latency"), QStringLiteral("1")}
        << QList<QByteArray>{kHeaderFrame} << 0 << kAckCr << qint64(1000);
  }

  void answerComesNoSoonerThanTheWireAllows() {
    KESTREL_REQUIRE_PTY();
    QFETCH(QStringList, options);
    QFETCH(QList<QByteArray>, writes);
    QFETCH(int, gapMs);
    QFETCH(QByteArray, answer);
    QFETCH(qint64, minimumUs);
    SimProcess sim;
    QString why;
    QVERIFY2(sim.start(options, &why), qPrintable(why));
    PtyClient client;
    QVERIFY(client.open(sim.slavePath()));
    QElapsedTimer clock;
    clock.start();
    for (qsizetype i = 0; i < writes.size(); ++i) {
      if (i > 0) QTest::qWait(gapMs);
      QVERIFY(client.write(writes[i]));
    }
    QCOMPARE(client.read(int(answer.size()), 5000), answer);
    const qint64 us = clock.nsecsElapsed() / 1000;
    QVERIFY2(us >= minimumUs, qPrintable(QStringLiteral("answered after %1 us").arg(us)));
  }
};

QTEST_GUILESS_MAIN(TestSimPacing)
#include "tst_simpacing.moc"
