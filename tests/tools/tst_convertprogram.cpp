// kestrel-logo-convert as users run it: arguments, exit codes, the one-line messages, and
// outputs that are either complete or untouched.
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "convertcommand.h"
#include "logo/bitmapfile.h"
#include "logo/logoraster.h"

using namespace kestrel;
using namespace kestrel::convert;

namespace {

struct Run {
  int exitCode = -1;
  QByteArray out;
  QByteArray err;
};

QString ProgramPath() {
  return QDir(QStringLiteral(KESTREL_BIN_DIR))
      .filePath(QStringLiteral("kestrel-logo-convert" KESTREL_EXE_SUFFIX));
}

bool WriteFile(const QString& path, const QByteArray& content) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

QByteArray ReadFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList Args(std::initializer_list<const char*> list) {
  QStringList args{QStringLiteral("kestrel-logo-convert")};
  for (const char* a : list) args << QString::fromUtf8(a);
  return args;
}

}  // namespace

class TestConvertProgram : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir_;
  QString logoPng_;

  QString PathFor(const QString& name) const { return dir_.filePath(name); }

  Run Start(const QStringList& arguments) {
    QProcess process;
    process.setWorkingDirectory(dir_.path());
    process.start(ProgramPath(), arguments);
    Run run;
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit) return run;
    run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
#ifdef Q_OS_WIN
    // Text written there ends its lines the system's way.
    run.out.replace("\r\n", "\n");
    run.err.replace("\r\n", "\n");
#endif
    return run;
  }

  // Files in the working folder, to see that nothing half-written was left behind.
  QStringList FolderEntries() const {
    return QDir(dir_.path())
        .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
  }

 private slots:
  void initTestCase() {
    QVERIFY(dir_.isValid());
    QVERIFY2(QFile::exists(ProgramPath()), qPrintable(ProgramPath()));
    QImage logo(500, 200, QImage::Format_ARGB32);
    logo.fill(Qt::transparent);
    QPainter(&logo).fillRect(50, 50, 400, 100, QColor(200, 30, 30));
    logoPng_ = PathFor(QStringLiteral("logo.png"));
    QVERIFY(logo.save(logoPng_));
  }

  void init() {
    // Each case starts with only the source picture in the folder.
    for (const QString& name : FolderEntries()) {
      const QString path = PathFor(name);
      if (path == logoPng_) continue;
      QVERIFY(QFileInfo(path).isDir() ? QDir(path).removeRecursively() : QFile::remove(path));
    }
  }

  void convertsAPngIntoABitmapTheLoaderAccepts() {
    const Run run = Start({logoPng_, QStringLiteral("out.bmp"), QStringLiteral("--preview"),
                           QStringLiteral("shown.png")});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.err, QByteArray());
    QCOMPARE(run.out, QByteArray());
    const QString output = PathFor(QStringLiteral("out.bmp"));
    QCOMPARE(QFileInfo(output).size(), 1982);
    const LogoFileResult read = ReadLogoBitmap(output);
    QCOMPARE(int(read.outcome), int(LogoFileResult::Outcome::Accepted));
    LogoRaster raster{};
    QVERIFY(BuildLogoRaster(read.header, read.pixels, raster));
    // 500 x 200 fits as 150 x 60 from column 45; the red bar covers columns 60..179,
    // rows 15..44. Outside it all is white, inside red (luminance 84) is black.
    QCOMPARE(raster[0], uint8_t(0x00));
    QCOMPARE(raster[30 * 30 + 10], uint8_t(0xFF));
    QCOMPARE(QImage(PathFor(QStringLiteral("shown.png"))).size(), QSize(480, 120));
    QCOMPARE(FolderEntries(), QStringList({"logo.png", "out.bmp", "shown.png"}));
  }

  void failuresExitNonZeroWithOneLineAndNoOutput_data() {
    QTest::addColumn<bool>("createInput");
    QTest::addColumn<QByteArray>("inputContent");
    QTest::addColumn<QStringList>("extraArgs");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("messagePart");
    const QStringList none;
    QTest::newRow("missing input") << false << QByteArray() << none << 1 << "no such file";
    QTest::newRow("text file as input")
        << true << QByteArray("just some words\n") << none << 1 << "is not a picture";
    QTest::newRow("empty input") << true << QByteArray() << none << 1 << "is empty";
    QTest::newRow("damaged png") << true
                                 << QByteArray::fromHex(
                                        "89504e470d0a1a0a0000000d4948445200000010000000100806000000"
                                        "1ff3ff610000")
                                 << none << 1 << "cannot read the picture";
    QTest::newRow("zero-size bmp")
        << true
        << QByteArray::fromHex(
               "424d36000000000000003600000028000000000000000a000000010018"
               "00000000000000000000000000000000000000000000000000")
        << none << 1 << "zero size";
    QTest::newRow("bad threshold")
        << true << QByteArray("x") << QStringList{"--threshold", "-3"} << 64 << "bad threshold";
    QTest::newRow("unknown option")
        << true << QByteArray("x") << QStringList{"--sharpen"} << 64 << "unknown option 'sharpen'";
  }
  void failuresExitNonZeroWithOneLineAndNoOutput() {
    QFETCH(bool, createInput);
    QFETCH(QByteArray, inputContent);
    QFETCH(QStringList, extraArgs);
    QFETCH(int, exitCode);
    QFETCH(QString, messagePart);
    const QString input = PathFor(QStringLiteral("input.png"));
    if (createInput) QVERIFY(WriteFile(input, inputContent));
    const QStringList before = FolderEntries();

    const Run run = Start(QStringList{input, QStringLiteral("out.bmp")} + extraArgs);
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(run.err.startsWith("kestrel-logo-convert: "), run.err.constData());
    QVERIFY2(run.err.endsWith('\n') && run.err.count('\n') == 1, run.err.constData());
    QVERIFY2(run.err.contains(messagePart.toUtf8()), run.err.constData());
    QCOMPARE(FolderEntries(), before);
  }

  void failedRunLeavesAnExistingOutputAsItWas() {
    const QString output = PathFor(QStringLiteral("keep.bmp"));
    QVERIFY(WriteFile(output, "previous logo"));
    QVERIFY(WriteFile(PathFor(QStringLiteral("notes.png")), "not a picture"));
    const Run run = Start({QStringLiteral("notes.png"), QStringLiteral("keep.bmp")});
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(ReadFile(output), QByteArray("previous logo"));
  }

  void unwritableOutputLeavesNoPartialFile_data() {
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("preview");
    QTest::newRow("folder that does not exist") << "missing/out.bmp" << QString();
    QTest::newRow("beneath a plain file") << "blocker/out.bmp" << QString();
    QTest::newRow("output is a folder") << "folder" << QString();
    QTest::newRow("preview beneath a plain file") << "out.bmp"
                                                  << "blocker/shown.png";
  }
  void unwritableOutputLeavesNoPartialFile() {
    QFETCH(QString, output);
    QFETCH(QString, preview);
    QVERIFY(WriteFile(PathFor(QStringLiteral("blocker")), "a file, not a folder"));
    QVERIFY(QDir(dir_.path()).mkdir(QStringLiteral("folder")));
    const QStringList before = FolderEntries();

    QStringList args{logoPng_, output};
    if (!preview.isEmpty()) args << QStringLiteral("--preview") << preview;
    const Run run = Start(args);
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.startsWith("kestrel-logo-convert: cannot write"), run.err.constData());
    QCOMPARE(run.err.count('\n'), 1);
    QCOMPARE(FolderEntries(), before);
    QVERIFY(QDir(PathFor(QStringLiteral("folder"))).isEmpty());
  }

  void outputReplacesAnOlderFileCompletely() {
    const QString output = PathFor(QStringLiteral("logo.bmp"));
    QVERIFY(WriteFile(output, QByteArray(5000, 'x')));
    QCOMPARE(Start({logoPng_, output}).exitCode, 0);
    QCOMPARE(QFileInfo(output).size(), 1982);
    QCOMPARE(int(ReadLogoBitmap(output).outcome), int(LogoFileResult::Outcome::Accepted));
  }

  void helpAndVersionGoToStandardOutput() {
    Run run = Start({QStringLiteral("--help")});
    QCOMPARE(run.exitCode, 0);
    QVERIFY(run.out.startsWith("Usage: kestrel-logo-convert INPUT OUTPUT.bmp [options]\n"));
    for (const char* option : {"--fit", "--fill", "--stretch", "--align", "--background",
                               "--threshold", "--dither", "--invert", "--preview"})
      QVERIFY2(run.out.contains(option), option);
    QCOMPARE(run.err, QByteArray());
    run = Start({QStringLiteral("--version")});
    QCOMPARE(run.exitCode, 0);
    QVERIFY(run.out.startsWith("kestrel-logo-convert "));
  }

  void optionsAreParsedIntoSettings_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("horizontal");
    QTest::addColumn<int>("vertical");
    QTest::addColumn<QColor>("background");
    QTest::addColumn<int>("threshold");
    QTest::addColumn<bool>("dither");
    QTest::addColumn<bool>("invert");
    using H = HorizontalAlign;
    using V = VerticalAlign;
    const QColor white(Qt::white);
    const int fit = int(ScaleMode::Fit), fill = int(ScaleMode::Fill);
    const int stretch = int(ScaleMode::Stretch);
    QTest::newRow("defaults") << Args({"a.png", "b.bmp"}) << fit << int(H::Center) << int(V::Middle)
                              << white << 128 << false << false;
    QTest::newRow("fill, options after files")
        << Args({"a.png", "b.bmp", "--fill", "--invert", "--dither"}) << fill << int(H::Center)
        << int(V::Middle) << white << 128 << true << true;
    QTest::newRow("stretch first")
        << Args({"--stretch", "a.png", "b.bmp"}) << stretch << int(H::Center) << int(V::Middle)
        << white << 128 << false << false;
    QTest::newRow("align left") << Args({"a.png", "b.bmp", "--align", "left"}) << fit
                                << int(H::Left) << int(V::Middle) << white << 128 << false << false;
    QTest::newRow("align top,right")
        << Args({"a.png", "b.bmp", "--align=top,right"}) << fit << int(H::Right) << int(V::Top)
        << white << 128 << false << false;
    QTest::newRow("align Bottom-Left")
        << Args({"a.png", "b.bmp", "--align", "Bottom-Left"}) << fit << int(H::Left)
        << int(V::Bottom) << white << 128 << false << false;
    QTest::newRow("align center bottom")
        << Args({"a.png", "b.bmp", "--align", "center bottom"}) << fit << int(H::Center)
        << int(V::Bottom) << white << 128 << false << false;
    QTest::newRow("align left centre")
        << Args({"a.png", "b.bmp", "--align", "left centre"}) << fit << int(H::Left)
        << int(V::Middle) << white << 128 << false << false;
    QTest::newRow("background name")
        << Args({"a.png", "b.bmp", "--background", "navy"}) << fit << int(H::Center)
        << int(V::Middle) << QColor(0, 0, 128) << 128 << false << false;
    QTest::newRow("background hex")
        << Args({"a.png", "b.bmp", "--background", "#102030"}) << fit << int(H::Center)
        << int(V::Middle) << QColor(16, 32, 48) << 128 << false << false;
    QTest::newRow("threshold 0") << Args({"a.png", "b.bmp", "--threshold", "0"}) << fit
                                 << int(H::Center) << int(V::Middle) << white << 0 << false
                                 << false;
    QTest::newRow("threshold 255")
        << Args({"a.png", "b.bmp", "--threshold=255"}) << fit << int(H::Center) << int(V::Middle)
        << white << 255 << false << false;
    QTest::newRow("file named like an option after --")
        << Args({"--invert", "--", "--odd.png", "b.bmp"}) << fit << int(H::Center) << int(V::Middle)
        << white << 128 << false << true;
  }
  void optionsAreParsedIntoSettings() {
    QFETCH(QStringList, arguments);
    const ParsedCommandLine parsed = ParseCommandLine(arguments);
    QCOMPARE(parsed.error, QString());
    const ConvertOptions& o = parsed.command.options;
    QTEST(int(o.mode), "mode");
    QTEST(int(o.horizontal), "horizontal");
    QTEST(int(o.vertical), "vertical");
    QTEST(o.background, "background");
    QTEST(o.threshold, "threshold");
    QTEST(o.dither, "dither");
    QTEST(o.invert, "invert");
    QCOMPARE(parsed.command.output, QStringLiteral("b.bmp"));
  }

  void badArgumentsAreRefused_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("messagePart");
    QTest::newRow("nothing") << Args({}) << "give the input picture";
    QTest::newRow("input only") << Args({"a.png"}) << "give the output bitmap";
    QTest::newRow("three files") << Args({"a.png", "b.bmp", "c.bmp"}) << "too many file names";
    QTest::newRow("two modes") << Args({"a.png", "b.bmp", "--fit", "--stretch"})
                               << "only one of --fit, --fill and --stretch";
    QTest::newRow("threshold 256")
        << Args({"a.png", "b.bmp", "--threshold", "256"}) << "bad threshold";
    QTest::newRow("threshold word")
        << Args({"a.png", "b.bmp", "--threshold", "half"}) << "bad threshold";
    QTest::newRow("threshold fraction")
        << Args({"a.png", "b.bmp", "--threshold", "12.5"}) << "bad threshold";
    QTest::newRow("threshold missing")
        << Args({"a.png", "b.bmp", "--threshold"}) << "missing value after '--threshold'";
    QTest::newRow("align nonsense")
        << Args({"a.png", "b.bmp", "--align", "north"}) << "bad alignment";
    QTest::newRow("align twice horizontal")
        << Args({"a.png", "b.bmp", "--align", "left,right"}) << "bad alignment";
    QTest::newRow("align three centres")
        << Args({"a.png", "b.bmp", "--align", "center,center,center"}) << "bad alignment";
    QTest::newRow("align empty") << Args({"a.png", "b.bmp", "--align", ","}) << "bad alignment";
    QTest::newRow("background unknown")
        << Args({"a.png", "b.bmp", "--background", "blurple"}) << "bad background colour";
    QTest::newRow("background bad hex")
        << Args({"a.png", "b.bmp", "--background", "#12345"}) << "bad background colour";
    QTest::newRow("preview is the output")
        << Args({"a.png", "b.bmp", "--preview", "./b.bmp"}) << "must be different files";
    QTest::newRow("empty output name") << Args({"a.png", ""}) << "file name is empty";
    QTest::newRow("bitmap named .png")
        << Args({"a.png", "b.png"}) << "\"b.png\" would be a BMP file named as PNG";
    QTest::newRow("bitmap named .JPEG")
        << Args({"a.png", "b.JPEG"}) << "would be a BMP file named as JPEG";
  }
  void badArgumentsAreRefused() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, messagePart);
    const ParsedCommandLine parsed = ParseCommandLine(arguments);
    QVERIFY2(parsed.error.contains(messagePart), qPrintable(parsed.error));
    QVERIFY(!parsed.error.contains(QLatin1Char('\n')));
  }
};

QTEST_GUILESS_MAIN(TestConvertProgram)
#include "tst_convertprogram.moc"
