// The simulated device's side of the protocol, fed in-process.
#include <QImage>
#include <QTemporaryDir>
#include <QtTest/QtTest>

#include "simdevice.h"
#include "simoptions.h"

Q_DECLARE_METATYPE(kestrel::sim::DeviceOptions)

using namespace kestrel::sim;

namespace {

const QByteArray kAckCr("\x06\r", 2);
const QByteArray kNakCr("\x15\r", 2);

// Frames written out by hand: checksum digits '0'..'?' of length + sum of codes.
const QByteArray kEmptyFrame("00\r");
const QByteArray kHeaderFrame(";BB0000020001:?\r");  // bytes 00 01 at address 0
const QByteArray kInfoFrame1800(";BI0708000060\r");  // logo checksum 0x0708, second 0

// A ";BB" frame built independently of the device code, for the bulk of a download.
QByteArray BlockFrame(int address, const QByteArray& data) {
  QByteArray text = ";BB";
  auto digits = [&text](unsigned v, int n) {
    for (int i = n * 2 - 1; i >= 0; --i) text += char('0' + ((v >> (4 * i)) & 0xF));
  };
  digits(unsigned(address), 2);
  digits(unsigned(data.size()), 1);
  for (char c : data) digits(uint8_t(c), 1);
  unsigned sum = unsigned(text.size());
  for (char c : text) sum += uint8_t(c);
  digits(sum & 0xFF, 1);
  return text + '\r';
}

QByteArray InfoFrame(unsigned checksum) {
  QByteArray text = ";BI";
  for (int i = 3; i >= 0; --i) text += char('0' + ((checksum >> (4 * i)) & 0xF));
  text += "0000";
  unsigned sum = unsigned(text.size());
  for (char c : text) sum += uint8_t(c);
  text += char('0' + ((sum >> 4) & 0xF));
  text += char('0' + (sum & 0xF));
  return text + '\r';
}

QByteArray PatternLogo() {
  QByteArray logo(kLogoBytes, '\0');
  for (int i = 0; i < kLogoBytes; ++i) logo[i] = char((i * 37 + 11) & 0xFF);
  return logo;
}

// The 132 frames of a whole download of logo.
QList<QByteArray> DownloadFrames(const QByteArray& logo) {
  QList<QByteArray> frames{kEmptyFrame, kHeaderFrame};
  for (int k = 0; k < 128; ++k) frames << BlockFrame(2 + 14 * k, logo.mid(14 * k, 14));
  frames << BlockFrame(1794, logo.mid(1792, 8));
  unsigned sum = 1800;
  for (char c : logo) sum = (sum + uint8_t(c)) & 0xFFFF;
  frames << InfoFrame(sum);
  return frames;
}

QList<QByteArray> Answers(SimDevice& device, const QList<QByteArray>& frames) {
  QList<QByteArray> answers;
  for (const QByteArray& frame : frames)
    for (const FrameResult& r : device.feed(frame)) answers << r.answer;
  return answers;
}

}  // namespace

class TestSimDevice : public QObject {
  Q_OBJECT

 private slots:
  void checksumDigitsMatchWorkedExamples_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("digits");
    QTest::newRow("empty") << QByteArray() << QByteArray("00");
    QTest::newRow("header block") << QByteArray(";BB0000020001") << QByteArray(":?");
    QTest::newRow("logo info 1800") << QByteArray(";BI07080000") << QByteArray("60");
  }
  void checksumDigitsMatchWorkedExamples() {
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, digits);
    QCOMPARE(ChecksumDigits(text), digits);
  }

  void logoChecksumOfZerosAndOfOnes() {
    QCOMPARE(LogoChecksum(QByteArray(kLogoBytes, '\0')), uint16_t(0x0708));
    QCOMPARE(LogoChecksum(QByteArray(kLogoBytes, '\xFF')), uint16_t(0x0800));
  }

  void wholeDownloadIsAcknowledgedStoredAndChecked() {
    SimDevice device;
    const QByteArray logo = PatternLogo();
    const QList<QByteArray> answers = Answers(device, DownloadFrames(logo));
    QCOMPARE(answers.size(), 132);
    QCOMPARE(answers[0], QByteArray());  // the empty frame is not answered
    for (int i = 1; i < answers.size(); ++i) QCOMPARE(answers[i], kAckCr);
    QCOMPARE(device.memoryAt(0), uint8_t(0x00));
    QCOMPARE(device.memoryAt(1), uint8_t(0x01));
    QCOMPARE(device.logo(), logo);
    QCOMPARE(device.completedDownloads(), 1);
    QVERIFY(device.lastChecksumMatched());
    const QStringList reports = device.takeReports();
    QCOMPARE(reports.size(), 1);
    QVERIFY2(reports[0].contains(QStringLiteral("132 frames")), qPrintable(reports[0]));
    QVERIFY2(reports[0].endsWith(QStringLiteral(": match")), qPrintable(reports[0]));
  }

  void wrongLogoChecksumIsReportedAsMismatch() {
    SimDevice device;
    QList<QByteArray> frames = DownloadFrames(QByteArray(kLogoBytes, '\0'));
    frames.last() = InfoFrame(0x0709);
    const QList<QByteArray> answers = Answers(device, frames);
    QCOMPARE(answers.last(), kAckCr);  // any checksum gets its reply line
    QVERIFY(!device.lastChecksumMatched());
    QVERIFY(device.takeReports().join('\n').contains(QStringLiteral("MISMATCH")));
  }

  void frameSplitAcrossFeedsCompletesOnCr() {
    SimDevice device;
    QList<FrameResult> results;
    for (char c : kHeaderFrame) {
      QCOMPARE(results.size(), 0);
      results << device.feed(QByteArray(1, c));
    }
    QCOMPARE(results.size(), 1);
    QCOMPARE(results[0].answer, kAckCr);
  }

  void severalFramesInOneFeedAnswerEach() {
    SimDevice device;
    const QList<FrameResult> results = device.feed(kEmptyFrame + kHeaderFrame + kInfoFrame1800);
    QCOMPARE(results.size(), 3);
    QCOMPARE(results[0].kind, FrameKind::Empty);
    QCOMPARE(results[1].answer, kAckCr);
    QCOMPARE(results[2].kind, FrameKind::LogoInfo);
    QCOMPARE(results[2].frameNumber, 3);
  }

  void badFramesGetNoAnswerOrNak_data() {
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("kind");
    QTest::newRow("checksum off by one")
        << QByteArray(";BB0000020001:>\r") << QByteArray() << int(FrameKind::BadChecksum);
    QTest::newRow("checksum in letters")
        << QByteArray(";BB0000020001AF\r") << QByteArray() << int(FrameKind::BadChecksum);
    QTest::newRow("one character")
        << QByteArray("0\r") << QByteArray() << int(FrameKind::BadChecksum);
    // Valid checksums around a body the device cannot use.
    QTest::newRow("count says 3, two bytes follow")
        << (QByteArray(";BB0000030001") + ChecksumDigits(";BB0000030001") + '\r') << kNakCr
        << int(FrameKind::Malformed);
    QTest::newRow("letter in the data")
        << (QByteArray(";BB00000200A1") + ChecksumDigits(";BB00000200A1") + '\r') << kNakCr
        << int(FrameKind::Malformed);
    QTest::newRow("beyond the last address")
        << (QByteArray(";BB????020001") + ChecksumDigits(";BB????020001") + '\r') << kNakCr
        << int(FrameKind::Malformed);
    QTest::newRow("unknown command")
        << (QByteArray(";BX") + ChecksumDigits(";BX") + '\r') << kNakCr << int(FrameKind::Unknown);
  }
  void badFramesGetNoAnswerOrNak() {
    QFETCH(QByteArray, frame);
    QFETCH(QByteArray, answer);
    QFETCH(int, kind);
    SimDevice device;
    const QList<FrameResult> results = device.feed(frame);
    QCOMPARE(results.size(), 1);
    QCOMPARE(int(results[0].kind), kind);
    QCOMPARE(results[0].answer, answer);
    QCOMPARE(device.memoryAt(1), uint8_t(0));  // nothing stored
    QCOMPARE(device.takeReports().size(), 1);
  }

  void emptyFrameStartsNewDownloadAndReportsUnfinishedOne() {
    SimDevice device;
    device.feed(kEmptyFrame + kHeaderFrame);
    QCOMPARE(device.framesInDownload(), 2);
    const QList<FrameResult> results = device.feed(kEmptyFrame);
    QCOMPARE(results[0].frameNumber, 1);
    QCOMPARE(device.framesInDownload(), 1);
    QCOMPARE(device.memoryAt(1), uint8_t(0));  // memory starts over
    const QStringList reports = device.takeReports();
    QCOMPARE(reports.size(), 1);
    QVERIFY(reports[0].contains(QStringLiteral("incomplete")));
  }

  void overlongLineWithoutCrIsDropped() {
    SimDevice device;
    QVERIFY(device.feed(QByteArray(kMaxFrame + 10, '1')).isEmpty());
    // The CR that ends the noise is swallowed with it; the next frame is read cleanly.
    const QList<FrameResult> results = device.feed("\r" + kHeaderFrame);
    QCOMPARE(results.size(), 1);
    QCOMPARE(results[0].answer, kAckCr);
  }

  void faultOptionsShapeTheAnswers_data() {
    QTest::addColumn<DeviceOptions>("options");
    QTest::addColumn<QByteArray>("blockAnswer");
    QTest::addColumn<QByteArray>("infoAnswer");
    DeviceOptions o;
    o.neverAnswer = true;
    QTest::newRow("never answer") << o << QByteArray() << QByteArray();
    o = {};
    o.noInfoAnswer = true;
    QTest::newRow("no info answer") << o << kAckCr << QByteArray();
    o = {};
    o.doubleLine = true;
    QTest::newRow("double") << o << QByteArray("\x06\r\x06\r", 4) << QByteArray("\x06\r\x06\r", 4);
    o = {};
    o.noCr = true;
    QTest::newRow("no cr") << o << QByteArray("\x06", 1) << QByteArray("\x06", 1);
  }
  void faultOptionsShapeTheAnswers() {
    QFETCH(DeviceOptions, options);
    QFETCH(QByteArray, blockAnswer);
    QFETCH(QByteArray, infoAnswer);
    SimDevice device(options);
    const QList<FrameResult> results = device.feed(kEmptyFrame + kHeaderFrame + kInfoFrame1800);
    QCOMPARE(results[1].answer, blockAnswer);
    QCOMPARE(results[2].answer, infoAnswer);
  }

  void nakAtCountsHeaderAsBlockZero_data() {
    QTest::addColumn<int>("nakAt");
    QTest::addColumn<int>("rejectedFrame");  // frame number within the download
    QTest::newRow("header") << 0 << 2;
    QTest::newRow("first logo block") << 1 << 3;
    QTest::newRow("50th logo block") << 50 << 52;
    QTest::newRow("last logo block") << 129 << 131;
  }
  void nakAtCountsHeaderAsBlockZero() {
    QFETCH(int, nakAt);
    QFETCH(int, rejectedFrame);
    DeviceOptions options;
    options.nakAtBlock = nakAt;
    SimDevice device(options);
    const QByteArray logo(kLogoBytes, '\x55');
    const QList<QByteArray> answers = Answers(device, DownloadFrames(logo));
    for (int i = 1; i < answers.size(); ++i)
      QCOMPARE(answers[i], i + 1 == rejectedFrame ? kNakCr : kAckCr);
    // The rejected block is not stored.
    const int address = nakAt == 0 ? 0 : 2 + 14 * (nakAt - 1);
    QCOMPARE(device.memoryAt(address + 1), uint8_t(0));
    // Every download rejects the same block.
    const QList<QByteArray> again = Answers(device, DownloadFrames(logo));
    QCOMPARE(again[rejectedFrame - 1], kNakCr);
  }

  void pbmHoldsRowsMsbLeftmostOneIsBlack() {
    QByteArray logo(kLogoBytes, '\0');
    logo[0] = char(0x80);         // top-left pixel
    logo[kLogoBytes - 1] = 0x01;  // bottom-right pixel
    const QByteArray pbm = LogoToPbm(logo);
    QCOMPARE(pbm.left(10), QByteArray("P4\n240 60\n"));
    QCOMPARE(pbm.size(), 10 + kLogoBytes);
    QCOMPARE(pbm.mid(10), logo);
  }

  void savedPictureShowsTheLogo_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("png") << QStringLiteral("logo.png");
    QTest::newRow("pbm") << QStringLiteral("logo.pbm");
  }
  void savedPictureShowsTheLogo() {
    QFETCH(QString, name);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QByteArray logo(kLogoBytes, '\0');
    logo[0] = char(0x80);
    logo[30 * 59 + 29] = 0x01;
    QString error;
    QVERIFY2(SaveLogoPicture(logo, dir.filePath(name), &error), qPrintable(error));
    QImage image(dir.filePath(name));
    QVERIFY(!image.isNull() || name.endsWith(QStringLiteral(".pbm")));
    if (image.isNull()) {  // no PBM reader in this Qt: check the bytes instead
      QFile file(dir.filePath(name));
      QVERIFY(file.open(QIODevice::ReadOnly));
      QCOMPARE(file.readAll(), LogoToPbm(logo));
      return;
    }
    QCOMPARE(image.size(), QSize(240, 60));
    QCOMPARE(qGray(image.pixel(0, 0)), 0);
    QCOMPARE(qGray(image.pixel(1, 0)), 255);
    QCOMPARE(qGray(image.pixel(239, 59)), 0);
    QCOMPARE(qGray(image.pixel(238, 59)), 255);
  }

  void saveToUnwritablePlaceFails() {
    QString error;
    QVERIFY(!SaveLogoPicture(QByteArray(kLogoBytes, '\0'), QStringLiteral("/nonexistent/x.pbm"),
                             &error));
    QVERIFY(!error.isEmpty());
  }

  void optionsParse_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("ok");
    QTest::newRow("none") << QStringList{} << true;
    QTest::newRow("everything") << QStringList{"--never-answer",
                                               "--nak-at",
                                               "5",
                                               "--no-info-answer",
                                               "--delay",
                                               "20",
                                               "--split",
                                               "--double",
                                               "--no-cr",
                                               "--unplug-after",
                                               "3",
                                               "--baud",
                                               "9600",
                                               "--downloads",
                                               "2",
                                               "--save",
                                               "x.png",
                                               "--link",
                                               "COM1"}
                                << true;
    QTest::newRow("missing value") << QStringList{"--delay"} << false;
    QTest::newRow("negative delay") << QStringList{"--delay", "-1"} << false;
    QTest::newRow("not a number") << QStringList{"--nak-at", "x"} << false;
    QTest::newRow("zero downloads") << QStringList{"--downloads", "0"} << false;
    QTest::newRow("frame 0") << QStringList{"--unplug-after", "0"} << false;
    QTest::newRow("unknown") << QStringList{"--fast"} << false;
  }
  void optionsParse() {
    QFETCH(QStringList, arguments);
    QFETCH(bool, ok);
    SimOptions options;
    QString error;
    bool help = false;
    QCOMPARE(ParseSimOptions(arguments, options, &error, &help), ok);
    QCOMPARE(error.isEmpty(), ok);
  }

  void optionsReachTheirFields() {
    SimOptions o;
    bool help = false;
    QVERIFY(ParseSimOptions({"--nak-at", "50", "--delay", "250", "--split", "--unplug-after", "7",
                             "--baud", "4800", "--downloads", "3", "--save", "out.pbm", "--link",
                             "/tmp/COM1", "--no-cr", "--double", "--help"},
                            o, nullptr, &help));
    QVERIFY(help);
    QCOMPARE(o.device.nakAtBlock, 50);
    QCOMPARE(o.delayMs, 250);
    QVERIFY(o.split);
    QCOMPARE(o.unplugAfter, 7);
    QCOMPARE(o.baud, 4800);
    QCOMPARE(o.downloads, 3);
    QCOMPARE(o.savePath, QStringLiteral("out.pbm"));
    QCOMPARE(o.linkPath, QStringLiteral("/tmp/COM1"));
    QVERIFY(o.device.noCr && o.device.doubleLine && !o.device.neverAnswer);
  }
};


QTEST_GUILESS_MAIN(TestSimDevice)
#include "tst_simdevice.moc"
