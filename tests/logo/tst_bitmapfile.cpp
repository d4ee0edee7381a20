#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <array>

#include "bitmapbytes.h"
#include "logo/bitmapfile.h"
#include "logo/logoraster.h"
#include "tempfolder.h"

using namespace kestrel;
using kestrel::test::BitmapBytes;
using kestrel::test::BitmapFields;
using kestrel::test::PatternPixels;
using Outcome = LogoFileResult::Outcome;

Q_DECLARE_METATYPE(LogoFileResult::Outcome)

namespace {

BitmapFields With(void (*change)(BitmapFields&)) {
  BitmapFields f;
  change(f);
  return f;
}

int OpenDescriptorCount() {
  return static_cast<int>(QDir(QStringLiteral("/proc/self/fd"))
                              .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
                              .size());
}

}  // namespace

class TestBitmapFile : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;

  QString Write(const QByteArray& bytes, const QString& name = QStringLiteral("logo.bmp")) {
    const QString path = dir_.filePath(name);
    if (!kestrel::test::WriteBytes(path, bytes)) qFatal("cannot write test file");
    return path;
  }

 private slots:
  void initTestCase() { QVERIFY(dir_.isValid()); }

  void fieldReadersAcceptUpTo0x7FInTheLastByte_data() {
    QTest::addColumn<int>("width");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("value");
    QTest::addColumn<bool>("ok");
    QTest::newRow("long 240") << 4 << QByteArray("\xF0\x00\x00\x00", 4) << 240 << true;
    QTest::newRow("long byte order")
        << 4 << QByteArray("\x01\x02\x03\x04", 4) << 0x04030201 << true;
    QTest::newRow("long largest") << 4 << QByteArray("\xFF\xFF\xFF\x7F", 4) << 0x7FFFFFFF << true;
    QTest::newRow("long last byte 0x80") << 4 << QByteArray("\x00\x00\x00\x80", 4) << 0 << false;
    QTest::newRow("long minus 60") << 4 << QByteArray("\xC4\xFF\xFF\xFF", 4) << 0 << false;
    QTest::newRow("long, three bytes left") << 4 << QByteArray("\x01\x02\x03", 3) << 0 << false;
    QTest::newRow("long, nothing left") << 4 << QByteArray() << 0 << false;
    QTest::newRow("integer 1") << 2 << QByteArray("\x01\x00", 2) << 1 << true;
    QTest::newRow("integer byte order") << 2 << QByteArray("\x34\x12", 2) << 0x1234 << true;
    QTest::newRow("integer largest") << 2 << QByteArray("\xFF\x7F", 2) << 32767 << true;
    QTest::newRow("integer second byte 0x80") << 2 << QByteArray("\x01\x80", 2) << 0 << false;
    QTest::newRow("integer, one byte left") << 2 << QByteArray("\x01", 1) << 0 << false;
  }
  void fieldReadersAcceptUpTo0x7FInTheLastByte() {
    QFETCH(int, width);
    QFETCH(QByteArray, bytes);
    QFETCH(int, value);
    QFETCH(bool, ok);
    QBuffer buffer(&bytes);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    bool readOk = !ok;
    QCOMPARE(width == 4 ? ReadLongLE(buffer, &readOk) : ReadIntegerLE(buffer, &readOk), value);
    QCOMPARE(readOk, ok);
  }

  void readByteBlockStoresInReadOrderAndRefusesWhatDoesNotFit() {
    QByteArray bytes("abcdefgh");
    QBuffer file(&bytes);
    QVERIFY(file.open(QIODevice::ReadOnly));
    std::array<uint8_t, 6> buffer{};
    buffer.fill('.');

    QCOMPARE(ReadByteBlock(buffer.data(), buffer.size(), 0, 5, file), 0);
    QCOMPARE(ReadByteBlock(buffer.data(), buffer.size(), 3, -1, file), 0);
    QCOMPARE(file.pos(), 0);

    QCOMPARE(ReadByteBlock(buffer.data(), buffer.size(), 3, 2, file), 6);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(buffer.data()), 6), QByteArray("abcdef"));

    // Past the end of the buffer: refused, nothing stored.
    buffer.fill('.');
    QCOMPARE(ReadByteBlock(buffer.data(), buffer.size(), 7, 1, file), -1);
    QCOMPARE(buffer[0], uint8_t('.'));

    // Past the end of the file: a failed read.
    QCOMPARE(ReadByteBlock(buffer.data(), buffer.size(), 1, 3, file), -1);
  }

  void outcomeOfFile_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<Outcome>("outcome");
    const QByteArray pixels = PatternPixels();
    const auto file = [&pixels](void (*change)(BitmapFields&)) {
      return BitmapBytes(With(change), pixels);
    };

    QTest::newRow("ordinary") << file([](BitmapFields&) {}) << Outcome::Accepted;
    QTest::newRow("ImageSize 0") << file([](BitmapFields& f) { f.imageSize = 0; })
                                 << Outcome::Accepted;
    QTest::newRow("124-byte header, DataOffset 146") << file([](BitmapFields& f) {
      f.headerSize = 124;
      f.dataOffset = 146;
    }) << Outcome::Accepted;
    QTest::newRow("DataOffset 54")
        << file([](BitmapFields& f) { f.dataOffset = 54; }) << Outcome::Accepted;
    QTest::newRow("DataOffset 0") << file([](BitmapFields& f) { f.dataOffset = 0; })
                                  << Outcome::Accepted;
    QTest::newRow("DataOffset 311")
        << file([](BitmapFields& f) { f.dataOffset = 311; }) << Outcome::Accepted;
    QTest::newRow("DataOffset 312")
        << file([](BitmapFields& f) { f.dataOffset = 312; }) << Outcome::WrongFormat;
    QTest::newRow("DataOffset 0x7FFFFFFF")
        << file([](BitmapFields& f) { f.dataOffset = 0x7FFFFFFF; }) << Outcome::WrongFormat;
    QTest::newRow("ignored fields at their largest") << file([](BitmapFields& f) {
      f.fileSize = f.reserved = f.compression = 0x7FFFFFFF;
      f.xPelsPerMeter = f.yPelsPerMeter = f.colorsUsed = f.colorsImportant = 0x7FFFFFFF;
      f.headerSize = 0x7FFFFFFF;
    }) << Outcome::Accepted;
    QTest::newRow("ignored field out of range")
        << file([](BitmapFields& f) { f.compression = 0x80000000; }) << Outcome::WrongFormat;
    QTest::newRow("last field out of range")
        << file([](BitmapFields& f) { f.colorsImportant = 0xFFFFFFFF; }) << Outcome::WrongFormat;
    QTest::newRow("top-down -60") << file([](BitmapFields& f) { f.height = uint32_t(-60); })
                                  << Outcome::WrongFormat;
    QTest::newRow("241 wide") << file([](BitmapFields& f) { f.width = 241; })
                              << Outcome::WrongFormat;
    QTest::newRow("240 x 61") << file([](BitmapFields& f) { f.height = 61; })
                              << Outcome::WrongFormat;
    QTest::newRow("4-bit") << file([](BitmapFields& f) { f.bitCount = 4; }) << Outcome::WrongFormat;
    QTest::newRow("2 planes") << file([](BitmapFields& f) { f.planes = 2; })
                              << Outcome::WrongFormat;
    QTest::newRow("planes second byte 0x80")
        << file([](BitmapFields& f) { f.planes = 0x8001; }) << Outcome::WrongFormat;
    QTest::newRow("BA") << file([](BitmapFields& f) { f.signature = "BA"; }) << Outcome::NotABitmap;
    QTest::newRow("bm") << file([](BitmapFields& f) { f.signature = "bm"; }) << Outcome::NotABitmap;
    QTest::newRow("BA and nothing else") << QByteArray("BA") << Outcome::NotABitmap;
    QTest::newRow("empty file") << QByteArray() << Outcome::WrongFormat;
    QTest::newRow("one byte") << QByteArray("B") << Outcome::WrongFormat;

    const QByteArray ordinary = file([](BitmapFields&) {});
    QTest::newRow("ends inside the header") << ordinary.left(30) << Outcome::WrongFormat;
    QTest::newRow("ends inside the last header field") << ordinary.left(53) << Outcome::WrongFormat;
    QTest::newRow("ends inside the gap") << ordinary.left(58) << Outcome::WrongFormat;
    QTest::newRow("ends inside the pixels") << ordinary.left(1981) << Outcome::WrongFormat;
    QTest::newRow("ImageSize 0x7FFFFFF0")
        << file([](BitmapFields& f) { f.imageSize = 0x7FFFFFF0; }) << Outcome::WrongFormat;
    QTest::newRow("ImageSize 100")
        << file([](BitmapFields& f) { f.imageSize = 100; }) << Outcome::WrongFormat;
    QTest::newRow("ImageSize 1917")
        << file([](BitmapFields& f) { f.imageSize = 1917; }) << Outcome::WrongFormat;
    QTest::newRow("ImageSize 1918, no padding after the last row")
        << BitmapBytes(With([](BitmapFields& f) { f.imageSize = 1918; }), pixels.left(1918))
        << Outcome::Accepted;
    QTest::newRow("ImageSize 1921 on 1920 pixel bytes")
        << file([](BitmapFields& f) { f.imageSize = 1921; }) << Outcome::WrongFormat;
    QTest::newRow("ImageSize 0 on a short file")
        << BitmapBytes(With([](BitmapFields& f) { f.imageSize = 0; }), pixels.left(1919))
        << Outcome::WrongFormat;
  }
  void outcomeOfFile() {
    QFETCH(QByteArray, bytes);
    QFETCH(Outcome, outcome);
    const LogoFileResult result = ReadLogoBitmap(Write(bytes));
    QCOMPARE(result.outcome, outcome);
    if (outcome != Outcome::Accepted) QVERIFY(result.pixels.isEmpty());
  }

  void acceptedFileHoldsItsHeaderAndPixels() {
    const QByteArray pixels = PatternPixels();
    BitmapFields f;
    f.compression = 7;
    const LogoFileResult result = ReadLogoBitmap(Write(BitmapBytes(f, pixels)));
    QCOMPARE(result.outcome, Outcome::Accepted);
    QCOMPARE(result.header.Signature, QStringLiteral("BM"));
    QCOMPARE(result.header.FileSize, 1982);
    QCOMPARE(result.header.DataOffset, 62);
    QCOMPARE(result.header.HeaderSize, 40);
    QCOMPARE(result.header.Width, 240);
    QCOMPARE(result.header.Height, 60);
    QCOMPARE(result.header.Planes, 1);
    QCOMPARE(result.header.BitCount, 1);
    QCOMPARE(result.header.Compression, 7);
    QCOMPARE(result.header.ImageSize, 1920);
    QCOMPARE(result.header.XPelsPerMeter, 2835);
    QCOMPARE(result.header.ColorsImportant, 2);
    QCOMPARE(result.pixels, pixels);
    QVERIFY(result.openError.isEmpty());
  }

  void pixelsStartAfterTheGap_data() {
    QTest::addColumn<uint32_t>("dataOffset");
    QTest::newRow("no gap") << 54u;
    QTest::newRow("offset before the header end reads from 54") << 20u;
    QTest::newRow("palette") << 62u;
    QTest::newRow("124-byte header") << 146u;
    QTest::newRow("largest gap") << 311u;
  }
  void pixelsStartAfterTheGap() {
    QFETCH(uint32_t, dataOffset);
    BitmapFields f;
    f.dataOffset = dataOffset;
    const QByteArray pixels = PatternPixels();
    const LogoFileResult result = ReadLogoBitmap(Write(BitmapBytes(f, pixels)));
    QCOMPARE(result.outcome, Outcome::Accepted);
    QCOMPARE(result.pixels, pixels);
  }

  void largerImageSizeReadsOnlyTheRows() {
    BitmapFields f;
    f.imageSize = 2000;
    const QByteArray pixels = PatternPixels(2000);
    const LogoFileResult result = ReadLogoBitmap(Write(BitmapBytes(f, pixels)));
    QCOMPARE(result.outcome, Outcome::Accepted);
    QCOMPARE(result.pixels, pixels.left(1920));
  }

  void imageSizeZeroGivesTheSameRaster() {
    const QByteArray pixels = PatternPixels();
    BitmapFields zero;
    zero.imageSize = 0;
    const LogoFileResult a = ReadLogoBitmap(Write(BitmapBytes(BitmapFields{}, pixels), "a.bmp"));
    const LogoFileResult b = ReadLogoBitmap(Write(BitmapBytes(zero, pixels), "b.bmp"));
    QCOMPARE(a.outcome, Outcome::Accepted);
    QCOMPARE(b.outcome, Outcome::Accepted);
    LogoRaster ra{}, rb{};
    QVERIFY(BuildLogoRaster(a.header, a.pixels, ra));
    QVERIFY(BuildLogoRaster(b.header, b.pixels, rb));
    QCOMPARE(ra, rb);
  }

  void acceptedFileBecomesTheDeviceRaster() {
    // Top-left and bottom-right pixels at palette index 0, everything else index 1.
    QByteArray pixels(1920, '\xFF');
    pixels[1888] = '\x7F';
    pixels[29] = '\xFE';
    const LogoFileResult result = ReadLogoBitmap(Write(BitmapBytes(BitmapFields{}, pixels)));
    QCOMPARE(result.outcome, Outcome::Accepted);
    LogoRaster logo{};
    logo.fill(0xAA);
    logo[1800] = 0;
    QVERIFY(BuildLogoRaster(result.header, result.pixels, logo));
    QCOMPARE(logo[0], uint8_t{0x80});
    QCOMPARE(logo[1799], uint8_t{0x01});
    QCOMPARE(std::count(logo.begin(), logo.end(), uint8_t{0}), qsizetype{1799});
  }

  void missingFileCannotBeOpenedAndSaysWhy() {
    const LogoFileResult result = ReadLogoBitmap(dir_.filePath(QStringLiteral("absent.bmp")));
    QCOMPARE(result.outcome, Outcome::CannotOpen);
    QVERIFY(!result.openError.isEmpty());
    QVERIFY(result.pixels.isEmpty());
  }

  void folderCannotBeOpened() {
    QVERIFY(QDir(dir_.path()).mkpath(QStringLiteral("folder.bmp")));
    const LogoFileResult result = ReadLogoBitmap(dir_.filePath(QStringLiteral("folder.bmp")));
    QCOMPARE(result.outcome, Outcome::CannotOpen);
    QVERIFY(!result.openError.isEmpty());
  }

  void fileIsClosedOnEveryOutcome_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<Outcome>("outcome");
    const QByteArray ordinary = BitmapBytes(BitmapFields{}, PatternPixels());
    QTest::newRow("accepted") << ordinary << Outcome::Accepted;
    QTest::newRow("wrong signature") << QByteArray("BA") + ordinary.mid(2) << Outcome::NotABitmap;
    QTest::newRow("wrong width") << BitmapBytes(With([](BitmapFields& f) { f.width = 241; }),
                                                PatternPixels())
                                 << Outcome::WrongFormat;
    QTest::newRow("ends early") << ordinary.left(1000) << Outcome::WrongFormat;
  }
  void fileIsClosedOnEveryOutcome() {
    QFETCH(QByteArray, bytes);
    QFETCH(Outcome, outcome);
    const QString path = Write(bytes, QStringLiteral("closed.bmp"));
#ifdef Q_OS_LINUX
    const bool countable = QDir(QStringLiteral("/proc/self/fd")).exists();
#else
    // Under Wine, Z:\proc\self\fd is the Linux process's, with Wine's own descriptors coming
    // and going as other Windows programs start.
    const bool countable = false;
#endif
    const int before = countable ? OpenDescriptorCount() : 0;

    QCOMPARE(ReadLogoBitmap(path).outcome, outcome);

    if (countable) QCOMPARE(OpenDescriptorCount(), before);
    // Another program may replace the file straight away.
    const QString moved = dir_.filePath(QStringLiteral("moved.bmp"));
    QVERIFY(QFile::rename(path, moved));
    QVERIFY(QFile::remove(moved));
  }
};

QTEST_GUILESS_MAIN(TestBitmapFile)
#include "tst_bitmapfile.moc"
