#include <QTest>
#include <algorithm>

#include "logo/logoraster.h"

using namespace kestrel;

namespace {

BitmapHeader LogoHeader(int32_t width = 240, int32_t height = 60) {
  BitmapHeader h;
  h.Signature = QStringLiteral("BM");
  h.Width = width;
  h.Height = height;
  h.Planes = 1;
  h.BitCount = 1;
  return h;
}

// Raster bytes [first, last] hold `inside`, all others `outside`; index 1800 is not looked at.
bool RasterIs(const LogoRaster& logo, int first, int last, uint8_t inside, uint8_t outside) {
  for (int i = 0; i < kLogoBytes; ++i)
    if (logo[i] != ((i >= first && i <= last) ? inside : outside)) return false;
  return true;
}

}  // namespace

class TestLogoRaster : public QObject {
  Q_OBJECT

 private slots:
  void workedExampleSetsTopLeftAndBottomRightBits_data() {
    QTest::addColumn<char>("padding");
    QTest::newRow("padding 0xFF") << '\xFF';
    QTest::newRow("padding 0x00") << '\x00';
    QTest::newRow("padding 0x5A") << '\x5A';
  }
  void workedExampleSetsTopLeftAndBottomRightBits() {
    QFETCH(char, padding);
    QByteArray pixels(1920, '\xFF');
    for (int row = 0; row < 60; ++row) pixels[row * 32 + 30] = pixels[row * 32 + 31] = padding;
    pixels[1888] = '\x7F';
    pixels[29] = '\xFE';

    LogoRaster logo{};
    logo.fill(0x33);
    logo[1800] = 0;
    QVERIFY(BuildLogoRaster(LogoHeader(), pixels, logo));
    QCOMPARE(logo[0], uint8_t{0x80});
    QCOMPARE(logo[1799], uint8_t{0x01});
    QCOMPARE(std::count(logo.begin() + 1, logo.begin() + 1799, uint8_t{0}), qsizetype{1798});
  }

  void wholeRowsMapTopRowFirstInverted_data() {
    QTest::addColumn<QByteArray>("pixels");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::addColumn<int>("inside");
    QTest::addColumn<int>("outside");
    QTest::newRow("all 0x00 gives all 0xFF")
        << QByteArray(1920, '\x00') << 0 << 1799 << 0xFF << 0xFF;
    QTest::newRow("all 0xFF gives all 0x00")
        << QByteArray(1920, '\xFF') << 0 << 1799 << 0x00 << 0x00;
    QByteArray firstStored(1920, '\xFF');
    std::fill(firstStored.begin(), firstStored.begin() + 30, '\x00');
    QTest::newRow("first stored row is the bottom row, sent last")
        << firstStored << 1770 << 1799 << 0xFF << 0x00;
    QByteArray lastStored(1920, '\xFF');
    std::fill(lastStored.begin() + 1888, lastStored.begin() + 1918, '\x00');
    QTest::newRow("last stored row is the top row, sent first")
        << lastStored << 0 << 29 << 0xFF << 0x00;
    QByteArray secondStored(1920, '\xFF');
    std::fill(secondStored.begin() + 32, secondStored.begin() + 62, '\x00');
    QTest::newRow("second stored row is the row above the bottom")
        << secondStored << 1740 << 1769 << 0xFF << 0x00;
  }
  void wholeRowsMapTopRowFirstInverted() {
    QFETCH(QByteArray, pixels);
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(int, inside);
    QFETCH(int, outside);
    LogoRaster logo{};
    QVERIFY(BuildLogoRaster(LogoHeader(), pixels, logo));
    QVERIFY(RasterIs(logo, first, last, uint8_t(inside), uint8_t(outside)));
  }

  void bitsKeepTheirOrderInsideAByte() {
    QByteArray pixels(1920, '\xFF');
    pixels[1888] = '\x0F';
    pixels[1889] = '\xF0';
    LogoRaster logo{};
    QVERIFY(BuildLogoRaster(LogoHeader(), pixels, logo));
    QCOMPARE(logo[0], uint8_t{0xF0});
    QCOMPARE(logo[1], uint8_t{0x0F});
    QCOMPARE(logo[2], uint8_t{0x00});
  }

  void paddingBytesNeverReachTheRaster() {
    QByteArray pixels(1920, '\x00');
    LogoRaster plain{};
    QVERIFY(BuildLogoRaster(LogoHeader(), pixels, plain));
    for (int row = 0; row < 60; ++row) pixels[row * 32 + 30] = pixels[row * 32 + 31] = '\x81';
    LogoRaster padded{};
    QVERIFY(BuildLogoRaster(LogoHeader(), pixels, padded));
    QCOMPARE(padded, plain);
  }

  void indexPastTheRasterIsNeverWritten() {
    LogoRaster logo{};
    logo[1800] = 0x5A;
    QVERIFY(BuildLogoRaster(LogoHeader(), QByteArray(1920, '\x00'), logo));
    QCOMPARE(logo[1799], uint8_t{0xFF});
    QCOMPARE(logo[1800], uint8_t{0x5A});
  }

  void shortestBufferIsEnough() {
    // Byte 1917 is the last one used: the top row's last pixel byte.
    QByteArray pixels(1918, '\xFF');
    pixels[1917] = '\x00';
    LogoRaster logo{};
    QVERIFY(BuildLogoRaster(LogoHeader(), pixels, logo));
    QVERIFY(RasterIs(logo, 29, 29, 0xFF, 0x00));
  }

  void unusableInputLeavesTheRasterAlone_data() {
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("bufferSize");
    QTest::newRow("buffer one byte short") << 240 << 60 << 1917;
    QTest::newRow("empty buffer") << 240 << 60 << 0;
    QTest::newRow("241 wide") << 241 << 60 << 4000;
    QTest::newRow("61 high") << 240 << 61 << 4000;
    QTest::newRow("negative height") << 240 << -60 << 4000;
    QTest::newRow("zero width") << 0 << 60 << 4000;
  }
  void unusableInputLeavesTheRasterAlone() {
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, bufferSize);
    LogoRaster logo{};
    logo.fill(0x42);
    const LogoRaster before = logo;
    QVERIFY(!BuildLogoRaster(LogoHeader(width, height), QByteArray(bufferSize, '\x00'), logo));
    QCOMPARE(logo, before);
  }
};

QTEST_GUILESS_MAIN(TestLogoRaster)
#include "tst_logoraster.moc"
