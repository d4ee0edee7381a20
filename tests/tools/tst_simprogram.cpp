// The kestrel-sim program over its pseudo-terminal, as the loader meets it.
#include <signal.h>
#include <sys/stat.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest/QtTest>

#include "ptyhelper.h"

using kestrel::test::PtyClient;
using kestrel::test::SimProcess;

namespace {

const QByteArray kAckCr("\x06\r", 2);
const QByteArray kEmptyFrame("00\r");
const QByteArray kHeaderFrame(";BB0000020001:?\r");
// Logo block of 14 zero bytes at address 2: length 37 + codes 1839 = 0x754, digits "54".
const QByteArray kZeroBlockFrame(";BB00020>000000000000000000000000000054\r");
const QByteArray kInfoFrame1800(";BI0708000060\r");

QByteArray Digits(unsigned v, int bytes) {
  QByteArray out;
  for (int i = bytes * 2 - 1; i >= 0; --i) out += char('0' + ((v >> (4 * i)) & 0xF));
  return out;
}

QByteArray Frame(const QByteArray& text) {
  unsigned sum = unsigned(text.size());
  for (char c : text) sum += uint8_t(c);
  return text + Digits(sum & 0xFF, 1) + '\r';
}

// Everything in the folder, hidden files and dangling links included.
QStringList Entries(const QTemporaryDir& dir) {
  return QDir(dir.path())
      .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

// The 132 frames of a download of `logo`, as the loader sends them.
QList<QByteArray> DownloadFrames(const QByteArray& logo) {
  QList<QByteArray> frames{kEmptyFrame, kHeaderFrame};
  unsigned sum = 1800;
  for (int v = 0; v < 1800; v += 14) {
    const QByteArray chunk = logo.mid(v, 14);
    QByteArray text = ";BB" + Digits(unsigned(2 + v), 2) + Digits(unsigned(chunk.size()), 1);
    for (char c : chunk) {
      text += Digits(uint8_t(c), 1);
      sum = (sum + uint8_t(c)) & 0xFFFF;
    }
    frames << Frame(text);
  }
  return frames << Frame(";BI" + Digits(sum, 2) + "0000");
}

// Sends one frame and collects the answer: up to `count` bytes within timeoutMs.
QByteArray Exchange(PtyClient& client, const QByteArray& frame, int count = 2,
                    int timeoutMs = 3000) {
  if (!client.write(frame)) return "<write failed>";
  return client.read(count, timeoutMs);
}

}  // namespace

class TestSimProgram : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { KESTREL_REQUIRE_PTY(); }

  void frameConstantsAreWellFormed() {
    // Guards the hand-written frames above against typos.
    QCOMPARE(Frame(";BB0000020001"), kHeaderFrame);
    QCOMPARE(Frame(";BB00020>" + QByteArray(28, '0')), kZeroBlockFrame);
    QCOMPARE(Frame(";BI07080000"), kInfoFrame1800);
  }

  void printsTerminalPathAndRemovesItsLinkOnSignal() {
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("COM1"));
    SimProcess sim;
    QString why;
    QVERIFY2(sim.start({QStringLiteral("--link"), link}, &why), qPrintable(why));
    QVERIFY2(sim.slavePath().startsWith(QStringLiteral("/dev/")), qPrintable(sim.slavePath()));
    QCOMPARE(QFileInfo(link).symLinkTarget(), sim.slavePath());
    sim.terminate();
    QCOMPARE(sim.exitCode(), 0);
    QVERIFY(!QFileInfo(link).isSymLink());
  }

  // What is at the link's place and not a simulator's stays as it is, whatever it leads to.
  void someoneElsesLinkOrFileIsLeftAlone_data() {
    QTest::addColumn<QString>("target");  // empty: a plain file
    QTest::newRow("dangling: an adapter unplugged") << "/dev/serial/by-id/usb-gone-port0";
    QTest::newRow("another program's pseudo-terminal") << "<pty>";
    QTest::newRow("a real device") << "/dev/null";
    QTest::newRow("a plain file") << QString();
  }
  void someoneElsesLinkOrFileIsLeftAlone() {
    QFETCH(QString, target);
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("COM1"));
    kestrel::sim::PtyPair other;
    QVERIFY(other.open(nullptr));
    target.replace(QStringLiteral("<pty>"), other.slavePath());
    QVERIFY(target.isEmpty() ? kestrel::test::WriteBytes(link, "keep") : QFile::link(target, link));
    const QStringList before = Entries(dir);
    SimProcess sim;
    QVERIFY(!sim.start({QStringLiteral("--link"), link}));
    QVERIFY(sim.waitForExit() && sim.exitCode() != 0);
    QCOMPARE(Entries(dir), before);
    QCOMPARE(QFileInfo(link).symLinkTarget(), target);
    QCOMPARE(QFileInfo(link).size(), target.isEmpty() ? 4 : QFileInfo(target).size());
  }

  // A simulator's link is its own while it runs, and is replaced once it has gone without
  // removing it.
  void linkOfAKilledSimulatorIsReplaced() {
    QTemporaryDir dir;
    const QStringList linked{QStringLiteral("--link"), dir.filePath(QStringLiteral("COM1"))};
    SimProcess first;
    QVERIFY(first.start(linked));
    SimProcess second;
    QVERIFY(!second.start(linked));
    ::kill(pid_t(first.pid()), SIGKILL);
    QVERIFY(first.waitForExit());
    QCOMPARE(QFileInfo(linked[1]).symLinkTarget(), first.slavePath());
    SimProcess third;
    QVERIFY(third.start(linked));
    QCOMPARE(QFileInfo(linked[1]).symLinkTarget(), third.slavePath());
    third.terminate();
    QCOMPARE(Entries(dir), QStringList());
  }

  void linkPortIsThePortTheSettingsName_data() {
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QString>("linked");
    QTest::addColumn<QString>("loader");  // empty: in the folder with the settings
    QTest::newRow("COM 2 chosen once")
        << QByteArray("[SerialPort]\r\nCommPort= 2\r\n") << QStringLiteral("COM2") << QString();
    // An installed one, in a folder no user writes, keeps its settings and finds COMn links in
    // the user's configuration folder.
    QTest::newRow("installed loader")
        << QByteArray("[SerialPort]\r\nCommPort= 4\r\n") << QStringLiteral("COM4") << "/usr/bin";
    // Then the window's own: the last port its start-up scan leaves in force.
    QTest::newRow("no settings file") << QByteArray() << QStringLiteral("COM8") << QString();
    QTest::newRow("TCP") << QByteArray("[SerialPort]\r\nCommPort=TCP\r\n") << QStringLiteral("COM8")
                         << QString();
  }
  void linkPortIsThePortTheSettingsName() {
    QFETCH(QByteArray, ini);
    QFETCH(QString, linked);
    QFETCH(QString, loader);
    QTemporaryDir home;
    const QDir dir(home.filePath(QStringLiteral("kestrel-logo-loader")));
    QVERIFY(dir.mkpath(QStringLiteral(".")));
    if (!ini.isEmpty()) {
      QFile file(dir.filePath(QStringLiteral("Tessaly.ini")));
      QVERIFY(file.open(QIODevice::WriteOnly) && file.write(ini) == ini.size());
    }
    if (loader.isEmpty()) loader = dir.path();
    qputenv("XDG_CONFIG_HOME", home.path().toLocal8Bit());
    QProcess where;  // what the launcher asks before it starts the simulator
    where.start(SimProcess::program(), {QStringLiteral("--settings-folder"), loader});
    QVERIFY(where.waitForFinished(5000));
    QCOMPARE(where.readAllStandardOutput(), dir.path().toLocal8Bit() + '\n');
    SimProcess sim;
    const bool started = sim.start({QStringLiteral("--link-port"), loader});
    qunsetenv("XDG_CONFIG_HOME");
    QVERIFY(started);
    QCOMPARE(QFileInfo(dir.filePath(linked)).symLinkTarget(), sim.slavePath());
    QCOMPARE(dir.entryList({QStringLiteral("COM*")}, QDir::System), QStringList{linked});
  }

  void wholeDownloadIsSavedAndEndsTheRun() {
    QTemporaryDir dir;
    const QString picture = dir.filePath(QStringLiteral("got.pbm"));
    SimProcess sim;
    QVERIFY(sim.start(
        {QStringLiteral("--save"), picture, QStringLiteral("--downloads"), QStringLiteral("1")}));
    PtyClient client;
    QVERIFY(client.open(sim.slavePath()));
    QByteArray logo(1800, '\0');
    for (int i = 0; i < logo.size(); ++i) logo[i] = char((i * 13) & 0xFF);
    const QList<QByteArray> frames = DownloadFrames(logo);
    QVERIFY(client.write(frames.front()));
    for (const QByteArray& frame : frames.mid(1)) QCOMPARE(Exchange(client, frame), kAckCr);
    QVERIFY(sim.waitForExit());
    QCOMPARE(sim.exitCode(), 0);
    QVERIFY2(sim.reports().contains(QStringLiteral("132 frames")), qPrintable(sim.reports()));
    QVERIFY(sim.reports().contains(QStringLiteral(": match")));
    QFile file(picture);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("P4\n240 60\n") + logo);
  }

  // More than one read's worth at once: each read's frames are taken in before the next read.
  void pacedDownloadWrittenAtOnceIsTakenInOrder() {
    SimProcess sim;
    QVERIFY(sim.start({QStringLiteral("--baud"), QStringLiteral("115200"),
                       QStringLiteral("--downloads"), QStringLiteral("1")}));
    PtyClient client;
    QVERIFY(client.open(sim.slavePath()));
    QVERIFY(client.write(DownloadFrames(QByteArray(1800, '\x5A')).join()));
    QCOMPARE(client.read(2 * 131, 5000), kAckCr.repeated(131));
    QVERIFY(sim.waitForExit());
    QCOMPARE(sim.reports().trimmed(),
             QStringLiteral("download 1: 132 frames, 130 blocks, logo checksum sent 7fd8, "
                            "computed 7fd8: match"));
  }

  void saveToSpecialFileIsRefusedAtStart_data() {
    QTest::addColumn<QString>("target");  // empty: a FIFO
    QTest::newRow("FIFO") << QString();
    QTest::newRow("device that takes nothing") << "/dev/full";
  }
  void saveToSpecialFileIsRefusedAtStart() {
    QFETCH(QString, target);
    QTemporaryDir dir;
    if (target.isEmpty()) {
      target = dir.filePath(QStringLiteral("fifo"));
      QCOMPARE(::mkfifo(QFile::encodeName(target).constData(), 0600), 0);
    }
    SimProcess sim;
    QVERIFY(!sim.start({QStringLiteral("--save"), target}));
    QVERIFY(sim.waitForExit());
    QCOMPARE(sim.exitCode(), 1);
    QVERIFY2(sim.reports().contains(QStringLiteral("not a regular file")),
             qPrintable(sim.reports()));
  }

  void faultOptionsShapeTheAnswers_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QByteArray>("answer");  // all that arrives within 400 ms
    QTest::newRow("well behaved") << QStringList{} << kHeaderFrame << kAckCr;
    QTest::newRow("never answer") << QStringList{"--never-answer"} << kHeaderFrame << QByteArray();
    QTest::newRow("nak at header")
        << QStringList{"--nak-at", "0"} << kHeaderFrame << QByteArray("\x15\r", 2);
    QTest::newRow("nak at 1 spares the header")
        << QStringList{"--nak-at", "1"} << kHeaderFrame << kAckCr;
    QTest::newRow("no info answer")
        << QStringList{"--no-info-answer"} << kInfoFrame1800 << QByteArray();
    QTest::newRow("info answered") << QStringList{} << kInfoFrame1800 << kAckCr;
    QTest::newRow("double") << QStringList{"--double"} << kHeaderFrame
                            << QByteArray("\x06\r\x06\r", 4);
    QTest::newRow("no cr") << QStringList{"--no-cr"} << kHeaderFrame << QByteArray("\x06", 1);
    QTest::newRow("split") << QStringList{"--split"} << kHeaderFrame << kAckCr;
    QTest::newRow("bad checksum") << QStringList{} << QByteArray(";BB0000020001:>\r")
                                  << QByteArray();
  }
  void faultOptionsShapeTheAnswers() {
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, frame);
    QFETCH(QByteArray, answer);
    SimProcess sim;
    QVERIFY(sim.start(arguments));
    PtyClient client;
    QVERIFY(client.open(sim.slavePath()));
    QVERIFY(client.write(kEmptyFrame));
    // Wait past any answer, so a second line or a late CR would be seen too.
    QVERIFY(client.write(frame));
    QCOMPARE(client.read(answer.size() + 1, 400), answer);
  }

  void badChecksumIsReported() {
    SimProcess sim;
    QVERIFY(sim.start({}));
    PtyClient client;
    QVERIFY(client.open(sim.slavePath()));
    QVERIFY(client.write(QByteArray(";BB0000020001:>\r")));
    QVERIFY2(sim.waitForReport(QStringLiteral("bad checksum")), qPrintable(sim.reports()));
  }

  void delayHoldsTheAnswerBack() {
    SimProcess sim;
    QVERIFY(sim.start({QStringLiteral("--delay"), QStringLiteral("250")}));
    PtyClient client;
    QVERIFY(client.open(sim.slavePath()));
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(Exchange(client, kHeaderFrame, 2, 5000), kAckCr);
    QVERIFY2(clock.elapsed() >= 240, qPrintable(QString::number(clock.elapsed())));
  }

  void baudPacesBothDirections() {
    // 16 bytes in and 2 out at 1200 baud, 10 bits a byte: at least 150 ms.
    SimProcess sim;
    QVERIFY(sim.start({QStringLiteral("--baud"), QStringLiteral("1200")}));
    PtyClient client;
    QVERIFY(client.open(sim.slavePath()));
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(Exchange(client, kHeaderFrame, 2, 5000), kAckCr);
    QVERIFY2(clock.elapsed() >= 145, qPrintable(QString::number(clock.elapsed())));
  }

  void unplugAfterClosesTerminalAndLink() {
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("COM1"));
    SimProcess sim;
    QVERIFY(sim.start(
        {QStringLiteral("--link"), link, QStringLiteral("--unplug-after"), QStringLiteral("3")}));
    PtyClient client;
    QVERIFY(client.open(link));
    QVERIFY(client.write(kEmptyFrame));
    QCOMPARE(Exchange(client, kHeaderFrame), kAckCr);     // frame 2
    QCOMPARE(Exchange(client, kZeroBlockFrame), kAckCr);  // frame 3, answered, then gone
    // Whatever follows before the line drops is not answered.
    QVERIFY(client.write(kZeroBlockFrame));
    QCOMPARE(client.read(1, 3000), QByteArray());
    QVERIFY(client.hungUp());
    QVERIFY(sim.waitForExit());
    QCOMPARE(sim.exitCode(), 0);
    QVERIFY(sim.reports().contains(QStringLiteral("unplugged after frame 3")));
    QVERIFY(!QFileInfo(link).isSymLink());
  }

  void terminalSurvivesClientClosingAndReopening() {
    SimProcess sim;
    QVERIFY(sim.start({}));
    for (int round = 0; round < 3; ++round) {
      PtyClient client;
      QVERIFY(client.open(sim.slavePath()));
      QCOMPARE(Exchange(client, kHeaderFrame), kAckCr);
    }
    QVERIFY(sim.running());
  }

  void helpNamesEveryOption() {
    QProcess process;
    process.start(SimProcess::program(), {QStringLiteral("--help")});
    QVERIFY(process.waitForFinished(5000));
    QCOMPARE(process.exitCode(), 0);
    const QString help = QString::fromLocal8Bit(process.readAllStandardOutput());
    for (const char* option :
         {"--link", "--save", "--downloads", "--never-answer", "--nak-at", "--no-info-answer",
          "--delay", "--split", "--double", "--no-cr", "--unplug-after", "--baud",
          "--adapter-latency", "--hold", "--link-port", "--settings-folder", "--version"})
      QVERIFY2(help.contains(QLatin1String(option)), option);
    QVERIFY(help.contains(QStringLiteral("header = block 0")));
  }

  void badArgumentIsRefused() {
    QProcess process;
    process.start(SimProcess::program(), {QStringLiteral("--nak-at"), QStringLiteral("x")});
    QVERIFY(process.waitForFinished(5000));
    QCOMPARE(process.exitCode(), 64);
    QVERIFY(process.readAllStandardOutput().isEmpty());
    QVERIFY(process.readAllStandardError().contains("--nak-at"));
  }
};

QTEST_GUILESS_MAIN(TestSimProgram)
#include "tst_simprogram.moc"
