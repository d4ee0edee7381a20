// The converter's pictures, end to end: a picture file goes in, the loader's own reader and
// raster conversion judge what comes out.
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QTemporaryDir>
#include <QtTest>

#include "convertcommand.h"
#include "logo/bitmapfile.h"
#include "logo/logobitmap.h"
#include "logo/logoraster.h"
#include "picture/logoconvert.h"
#include "picture/logoimage.h"
#include "picture/pictureread.h"

using namespace kestrel;
using namespace kestrel::convert;

Q_DECLARE_METATYPE(kestrel::convert::ConvertOptions)

namespace {

QImage Filled(int width, int height, QColor colour) {
  QImage picture(width, height, QImage::Format_ARGB32);
  picture.fill(colour);
  return picture;
}

QImage LeftHalfBlack(int width, int height) {
  QImage picture = Filled(width, height, Qt::white);
  QPainter(&picture).fillRect(0, 0, width / 2, height, Qt::black);
  return picture;
}

ConvertOptions Mode(ScaleMode mode, HorizontalAlign h = HorizontalAlign::Center,
                    VerticalAlign v = VerticalAlign::Middle) {
  ConvertOptions options;
  options.mode = mode;
  options.horizontal = h;
  options.vertical = v;
  return options;
}

// The raster the loader builds from a bitmap file; fails the test when the loader refuses it.
bool LoaderRaster(const QString& path, LogoRaster* raster) {
  const LogoFileResult result = ReadLogoBitmap(path);
  if (result.outcome != LogoFileResult::Outcome::Accepted) return false;
  raster->fill(0xAA);
  return BuildLogoRaster(result.header, result.pixels, *raster);
}

// Raster with exactly the pixels of one rectangle black (or none for an empty rectangle).
QByteArray RasterWithBlackRect(QRect black) {
  QByteArray raster(kLogoBytes, '\0');
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 240; ++x)
      if (black.contains(x, y))
        raster[y * 30 + x / 8] = char(raster[y * 30 + x / 8] | (0x80 >> (x % 8)));
  return raster;
}

// A GIF of an indexed picture with at most 4 colours, written by hand: Qt reads GIF but does not
// write it. Codes stay 3 bits wide by clearing the table after every two pixels.
QByteArray GifOf(const QImage& indexed, int transparentIndex = -1) {
  QByteArray gif("GIF89a");
  auto put16 = [&gif](int value) { gif.append(char(value & 0xFF)).append(char(value >> 8)); };
  put16(indexed.width());
  put16(indexed.height());
  gif.append(char(0x81)).append('\0').append('\0');  // 4-entry global colour table
  for (int i = 0; i < 4; ++i) {
    const QRgb c = i < indexed.colorCount() ? indexed.color(i) : qRgb(0, 0, 0);
    gif.append(char(qRed(c))).append(char(qGreen(c))).append(char(qBlue(c)));
  }
  if (transparentIndex >= 0)
    gif.append(QByteArray::fromHex("21f904010000")).append(char(transparentIndex)).append('\0');
  gif.append(',');
  put16(0);
  put16(0);
  put16(indexed.width());
  put16(indexed.height());
  gif.append('\0').append(char(2));  // no local table; minimum code size 2

  QByteArray codes;
  uint32_t bits = 0;
  int count = 0;
  auto putCode = [&](int code) {
    bits |= uint32_t(code) << count;
    count += 3;
    while (count >= 8) {
      codes.append(char(bits & 0xFF));
      bits >>= 8;
      count -= 8;
    }
  };
  int sinceClear = 2;
  for (int y = 0; y < indexed.height(); ++y)
    for (int x = 0; x < indexed.width(); ++x) {
      if (sinceClear == 2) {
        putCode(4);
        sinceClear = 0;
      }
      putCode(indexed.pixelIndex(x, y));
      ++sinceClear;
    }
  putCode(5);
  if (count > 0) codes.append(char(bits & 0xFF));
  for (int at = 0; at < codes.size(); at += 255) {
    const QByteArray block = codes.mid(at, 255);
    gif.append(char(block.size())).append(block);
  }
  gif.append('\0').append(';');
  return gif;
}

QByteArray Encoded(const QImage& picture, const char* format) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  return picture.save(&buffer, format) ? bytes : QByteArray();
}

// A progressive JPEG; with `scans`, its last scan is repeated until it has that many (a decoder
// warns and goes over the whole picture once more for each).
QByteArray ProgressiveJpeg(const QImage& picture, int scans = 0) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, "jpeg");
  writer.setProgressiveScanWrite(true);
  if (!writer.write(picture)) return {};
  if (scans == 0) return bytes;
  const QByteArray startOfScan("\xFF\xDA");
  const qsizetype last = bytes.lastIndexOf(startOfScan);
  const QByteArray scan = bytes.mid(last, bytes.size() - 2 - last);  // up to the end marker
  return bytes.left(last) + scan.repeated(scans - bytes.count(startOfScan) + 1) + "\xFF\xD9";
}

// The JPEG with an application segment (APP1, where cameras put EXIF) right after its start.
QByteArray WithApp1(const QByteArray& jpeg, const QByteArray& payload) {
  const int length = int(payload.size()) + 2;
  return jpeg.left(2) + QByteArray("\xFF\xE1") + char(length >> 8) + char(length & 0xFF) + payload +
         jpeg.mid(2);
}

// An EXIF block with an orientation tag (6: shown turned a quarter clockwise, 0: none), then
// `more` bytes as a thumbnail would follow.
QByteArray Exif(int orientation, const QByteArray& more = {}) {
  QByteArray exif("Exif\0\0MM\0\x2a\0\0\0\x08", 14);
  if (orientation == 0)
    exif += QByteArray(2 + 4, '\0');
  else
    exif +=
        QByteArray::fromHex("0001011200030000000100") + char(orientation) + QByteArray(2 + 4, '\0');
  return exif + more;
}

// 1920 x 960 as shown, black and white squares of 32 pixels: their edges fall on logo pixel
// edges in every mode and on the JPEG's own 8 x 8 blocks, so no decoded size blurs them. A
// turned one is stored 960 x 1920 with an orientation tag that turns it upright.
QByteArray SquaresJpeg(bool turned) {
  QImage squares(1920, 960, QImage::Format_Grayscale8);
  for (int y = 0; y < squares.height(); ++y)
    for (int x = 0; x < squares.width(); ++x)
      squares.scanLine(y)[x] = ((x / 32) * 7 + (y / 32) * 3) % 5 < 2 ? 0 : 255;
  if (!turned) return Encoded(squares, "jpg");
  return WithApp1(Encoded(squares.transformed(QTransform().rotate(-90)), "jpg"), Exif(6));
}

QByteArray RasterBytes(const LogoRaster& raster) {
  return QByteArray(reinterpret_cast<const char*>(raster.data()), kLogoBytes);
}

}  // namespace

class TestConvertLogo : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir_;

  QString PathFor(const QString& name) const { return dir_.filePath(name); }

  // Writes the file, converts it like the program does, and returns the loader's raster.
  QByteArray ConvertThroughFiles(const QByteArray& content, const QString& suffix,
                                 const ConvertOptions& options) {
    const QString input = PathFor(QStringLiteral("input.") + suffix);
    const QString output = PathFor(QStringLiteral("output.bmp"));
    QFile::remove(output);
    QFile file(input);
    if (content.isEmpty() || !file.open(QIODevice::WriteOnly) ||
        file.write(content) != content.size())
      return "picture not saved";
    file.close();
    CommandLine command;
    command.input = input;
    command.output = output;
    command.options = options;
    const QString error = ConvertLogoFile(command);
    if (!error.isEmpty()) return error.toUtf8();
    LogoRaster raster{};
    if (!LoaderRaster(output, &raster)) return "loader refused the output";
    return RasterBytes(raster);
  }
  QByteArray ConvertThroughFiles(const QImage& picture, const ConvertOptions& options) {
    return ConvertThroughFiles(Encoded(picture, "png"), QStringLiteral("png"), options);
  }

 private slots:
  void initTestCase() { QVERIFY(dir_.isValid()); }

  void simplePicturesGiveTheExpectedRaster_data() {
    QTest::addColumn<QImage>("picture");
    QTest::addColumn<ConvertOptions>("options");
    QTest::addColumn<QByteArray>("raster");

    const QByteArray zeros(kLogoBytes, '\0');
    const QByteArray ones(kLogoBytes, char(0xFF));
    ConvertOptions plain;
    ConvertOptions inverted;
    inverted.invert = true;
    ConvertOptions blackBackground;
    blackBackground.background = Qt::black;

    QTest::newRow("all white") << Filled(240, 60, Qt::white) << plain << zeros;
    QTest::newRow("all black") << Filled(240, 60, Qt::black) << plain << ones;
    QTest::newRow("white inverted") << Filled(240, 60, Qt::white) << inverted << ones;
    QTest::newRow("black inverted") << Filled(240, 60, Qt::black) << inverted << zeros;
    QTest::newRow("other size, all black")
        << Filled(37, 911, Qt::black) << Mode(ScaleMode::Stretch) << ones;

    QImage corners = Filled(240, 60, Qt::white);
    for (QPoint p : {QPoint(0, 0), QPoint(239, 0), QPoint(0, 59), QPoint(239, 59)})
      corners.setPixel(p, qRgb(0, 0, 0));
    QByteArray cornerRaster = zeros;
    cornerRaster[0] = char(0x80);
    cornerRaster[29] = char(0x01);
    cornerRaster[1770] = char(0x80);
    cornerRaster[1799] = char(0x01);
    QTest::newRow("one black pixel in each corner") << corners << plain << cornerRaster;

    QTest::newRow("transparent over default white")
        << Filled(240, 60, QColor(0, 0, 0, 0)) << plain << zeros;
    QTest::newRow("transparent over black background")
        << Filled(240, 60, QColor(255, 255, 255, 0)) << blackBackground << ones;
    // Black at 40 % over white is light grey (luminance 153), at 60 % dark grey (102).
    QTest::newRow("faint black over white")
        << Filled(240, 60, QColor(0, 0, 0, 102)) << plain << zeros;
    QTest::newRow("strong black over white")
        << Filled(240, 60, QColor(0, 0, 0, 153)) << plain << ones;
    QTest::newRow("transparent inverted")
        << Filled(240, 60, QColor(0, 0, 0, 0)) << inverted << ones;
  }
  void simplePicturesGiveTheExpectedRaster() {
    QFETCH(QImage, picture);
    QFETCH(ConvertOptions, options);
    QFETCH(QByteArray, raster);
    QCOMPARE(ConvertThroughFiles(picture, options), raster);
  }

  void scaleModesPlaceThePicturePredictably_data() {
    QTest::addColumn<QImage>("picture");
    QTest::addColumn<ConvertOptions>("options");
    QTest::addColumn<QRect>("black");

    const QImage wide = LeftHalfBlack(480, 60);
    const QImage square = LeftHalfBlack(240, 240);
    using H = HorizontalAlign;
    using V = VerticalAlign;
    // 480 x 60 halves to 240 x 30, centred between white bands.
    QTest::newRow("wide fit") << wide << Mode(ScaleMode::Fit) << QRect(0, 15, 120, 30);
    QTest::newRow("wide fit top") << wide << Mode(ScaleMode::Fit, H::Center, V::Top)
                                  << QRect(0, 0, 120, 30);
    QTest::newRow("wide fit bottom")
        << wide << Mode(ScaleMode::Fit, H::Center, V::Bottom) << QRect(0, 30, 120, 30);
    QTest::newRow("wide stretch") << wide << Mode(ScaleMode::Stretch) << QRect(0, 0, 120, 60);
    // Fill keeps the middle 240 columns: source 120..359, of which 120..239 are black.
    QTest::newRow("wide fill") << wide << Mode(ScaleMode::Fill) << QRect(0, 0, 120, 60);
    QTest::newRow("wide fill left")
        << wide << Mode(ScaleMode::Fill, H::Left) << QRect(0, 0, 240, 60);
    QTest::newRow("wide fill right") << wide << Mode(ScaleMode::Fill, H::Right) << QRect();
    // 240 x 240 shrinks to 60 x 60; its left 30 columns are black.
    QTest::newRow("square fit") << square << Mode(ScaleMode::Fit) << QRect(90, 0, 30, 60);
    QTest::newRow("square fit left")
        << square << Mode(ScaleMode::Fit, H::Left) << QRect(0, 0, 30, 60);
    QTest::newRow("square fit right")
        << square << Mode(ScaleMode::Fit, H::Right) << QRect(180, 0, 30, 60);
    QTest::newRow("square fill") << square << Mode(ScaleMode::Fill) << QRect(0, 0, 120, 60);
    QTest::newRow("square stretch") << square << Mode(ScaleMode::Stretch) << QRect(0, 0, 120, 60);
    // A small picture is enlarged to the full height.
    QTest::newRow("small fit") << LeftHalfBlack(20, 10) << Mode(ScaleMode::Fit)
                               << QRect(60, 0, 60, 60);
  }
  void scaleModesPlaceThePicturePredictably() {
    QFETCH(QImage, picture);
    QFETCH(ConvertOptions, options);
    QFETCH(QRect, black);
    QCOMPARE(ConvertThroughFiles(picture, options), RasterWithBlackRect(black));
  }

  void placementKeepsThinPicturesVisible_data() {
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QRect>("rect");
    QTest::newRow("one pixel wide, fit")
        << QSize(1, 5000) << int(ScaleMode::Fit) << QRect(119, 0, 1, 60);
    QTest::newRow("one pixel high, fit")
        << QSize(9000, 1) << int(ScaleMode::Fit) << QRect(0, 29, 240, 1);
    QTest::newRow("one pixel wide, fill crop")
        << QSize(1, 5000) << int(ScaleMode::Fill) << QRect(0, 2499, 1, 1);
    QTest::newRow("exact size, fill crop")
        << QSize(240, 60) << int(ScaleMode::Fill) << QRect(0, 0, 240, 60);
  }
  void placementKeepsThinPicturesVisible() {
    QFETCH(QSize, picture);
    QFETCH(int, mode);
    QFETCH(QRect, rect);
    const ConvertOptions options = Mode(ScaleMode(mode));
    const QRect got = options.mode == ScaleMode::Fill ? CropFromPicture(picture, options)
                                                      : PlacementOnLogo(picture, options);
    QCOMPARE(got, rect);
  }

  void thresholdSplitsOnLuminance_data() {
    QTest::addColumn<QColor>("colour");
    QTest::addColumn<int>("threshold");
    QTest::addColumn<bool>("black");
    QTest::newRow("grey 100, default") << QColor(100, 100, 100) << 128 << true;
    QTest::newRow("grey 100, threshold 100") << QColor(100, 100, 100) << 100 << false;
    QTest::newRow("grey 100, threshold 101") << QColor(100, 100, 100) << 101 << true;
    QTest::newRow("black, threshold 0") << QColor(0, 0, 0) << 0 << false;
    QTest::newRow("near white, threshold 255") << QColor(254, 254, 254) << 255 << true;
    QTest::newRow("white, threshold 255") << QColor(255, 255, 255) << 255 << false;
    // Green weighs most in brightness, blue least.
    QTest::newRow("pure green") << QColor(0, 255, 0) << 128 << false;
    QTest::newRow("pure red") << QColor(255, 0, 0) << 128 << true;
    QTest::newRow("pure blue") << QColor(0, 0, 255) << 128 << true;
    QTest::newRow("yellow") << QColor(255, 255, 0) << 128 << false;
  }
  void thresholdSplitsOnLuminance() {
    QFETCH(QColor, colour);
    QFETCH(int, threshold);
    QFETCH(bool, black);
    ConvertOptions options;
    options.threshold = threshold;
    const LogoPicture logo = ConvertPicture(Filled(240, 60, colour), options);
    for (uint8_t pixel : logo.black) QCOMPARE(pixel != 0, black);
  }

  void ditheringMatchesTheGreyLevel_data() {
    QTest::addColumn<int>("grey");
    QTest::addColumn<double>("blackShare");
    QTest::newRow("black stays black") << 0 << 1.0;
    QTest::newRow("white stays white") << 255 << 0.0;
    QTest::newRow("light grey") << 191 << 0.25;
    QTest::newRow("middle grey") << 128 << 0.5;
    QTest::newRow("dark grey") << 64 << 0.75;
  }
  void ditheringMatchesTheGreyLevel() {
    QFETCH(int, grey);
    QFETCH(double, blackShare);
    ConvertOptions options;
    options.dither = true;
    const LogoPicture logo = ConvertPicture(Filled(240, 60, QColor(grey, grey, grey)), options);
    const double share = std::count(logo.black.begin(), logo.black.end(), 1) / 14400.0;
    QVERIFY2(std::abs(share - blackShare) < 0.02, qPrintable(QString::number(share)));
  }

  void ditheringSpreadsDotsInsteadOfBands() {
    // A plain threshold makes this grey all white; dithering mixes black into every row.
    ConvertOptions options;
    options.dither = true;
    const LogoPicture logo = ConvertPicture(Filled(240, 60, QColor(140, 140, 140)), options);
    for (int y = 0; y < 60; ++y) {
      int black = 0;
      for (int x = 0; x < 240; ++x) black += logo.isBlack(x, y);
      QVERIFY2(black > 60 && black < 150, qPrintable(QStringLiteral("row %1").arg(y)));
    }
    QCOMPARE(ConvertPicture(Filled(240, 60, QColor(140, 140, 140)), ConvertOptions()).black,
             LogoPicture().black);
  }

  void bitmapHeaderIsTheUsualOneBitLayout() {
    const QByteArray file = EncodeLogoBitmap(RasterOf(LogoPicture()));
    QCOMPARE(file.size(), 1982);
    const QByteArray expectedHead = QByteArray::fromHex(
        "424d"      // "BM"
        "be070000"  // file size 1982
        "00000000"  // reserved
        "3e000000"  // pixel data at 62
        "28000000"  // 40-byte information header
        "f0000000"  // width 240
        "3c000000"  // height 60, bottom row first
        "0100"
        "0100"      // planes, bits per pixel
        "00000000"  // uncompressed
        "80070000"  // 1920 pixel bytes
        "130b0000"
        "130b0000"  // 72 dpi
        "02000000"
        "02000000"    // colours used, important
        "00000000"    // palette entry 0: black
        "ffffff00");  // palette entry 1: white
    QCOMPARE(file.left(62), expectedHead);
  }

  void bitmapRowsAreStoredBottomUpWithZeroPadding() {
    LogoPicture logo;
    logo.setBlack(0, 0, true);     // top left
    logo.setBlack(239, 59, true);  // bottom right
    logo.setBlack(9, 1, true);     // second row, second byte, second bit
    const QByteArray file = EncodeLogoBitmap(RasterOf(logo));
    QByteArray pixels(1920, char(0xFF));
    for (int row = 0; row < 60; ++row) pixels[row * 32 + 30] = pixels[row * 32 + 31] = 0;
    pixels[29] = char(0xFE);           // stored row 0 is the bottom row
    pixels[58 * 32 + 1] = char(0xBF);  // picture row 1 is stored row 58
    pixels[59 * 32] = char(0x7F);      // the top row is stored last
    QCOMPARE(file.mid(62), pixels);
  }

  void previewShowsTheRasterEnlargedTwice() {
    LogoRaster raster{};
    raster[0] = 0x80;     // top-left pixel
    raster[1799] = 0x01;  // bottom-right pixel
    raster[31] = 0x40;    // row 1, pixel 9
    const QImage preview = LogoPreviewImage(raster).convertToFormat(QImage::Format_RGB32);
    QCOMPARE(preview.size(), QSize(480, 120));
    int blackPixels = 0;
    for (int y = 0; y < 120; ++y)
      for (int x = 0; x < 480; ++x) blackPixels += preview.pixel(x, y) == qRgb(0, 0, 0);
    QCOMPARE(blackPixels, 12);
    for (QPoint p : {QPoint(0, 0), QPoint(1, 1), QPoint(478, 118), QPoint(479, 119), QPoint(18, 2),
                     QPoint(19, 3)})
      QCOMPARE(preview.pixel(p), qRgb(0, 0, 0));
    QCOMPARE(preview.pixel(2, 0), qRgb(255, 255, 255));
  }

  void previewFileShowsWhatTheLoaderWillSend() {
    QImage picture = Filled(240, 60, Qt::white);
    QPainter(&picture).fillRect(10, 5, 20, 7, Qt::black);
    const QString input = PathFor(QStringLiteral("preview-in.png"));
    QVERIFY(picture.save(input));
    CommandLine command;
    command.input = input;
    command.output = PathFor(QStringLiteral("preview-out.bmp"));
    command.preview = PathFor(QStringLiteral("preview.png"));
    command.options.invert = true;
    QCOMPARE(ConvertLogoFile(command), QString());

    const QImage preview = QImage(command.preview).convertToFormat(QImage::Format_RGB32);
    QCOMPARE(preview.size(), QSize(480, 120));
    for (int y = 0; y < 120; ++y)
      for (int x = 0; x < 480; ++x) {
        const bool inBox = QRect(20, 10, 40, 14).contains(x, y);
        // Inverted: the box is white on black.
        if (preview.pixel(x, y) != (inBox ? qRgb(255, 255, 255) : qRgb(0, 0, 0)))
          QFAIL(qPrintable(QStringLiteral("preview pixel %1,%2").arg(x).arg(y)));
      }
  }

  void everyReadableFormatBecomesAnAcceptedLogo_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("suffix");
    QImage indexed(300, 150, QImage::Format_Indexed8);
    indexed.setColorTable({qRgb(20, 0, 90), qRgb(250, 240, 10)});
    for (int y = 0; y < 150; ++y)
      for (int x = 0; x < 300; ++x) indexed.setPixel(x, y, x < 150 ? 0 : 1);
    const QImage colour = indexed.convertToFormat(QImage::Format_ARGB32);

    QTest::newRow("png, colour") << Encoded(colour, "png") << QStringLiteral("png");
    QTest::newRow("png, 16 bits") << Encoded(colour.convertToFormat(QImage::Format_RGBA64), "png")
                                  << QStringLiteral("png");
    QTest::newRow("png, grey") << Encoded(colour.convertToFormat(QImage::Format_Grayscale8), "png")
                               << QStringLiteral("png");
    QTest::newRow("jpeg") << Encoded(colour, "jpg") << QStringLiteral("jpg");
    QTest::newRow("jpeg, progressive") << ProgressiveJpeg(colour) << QStringLiteral("jpg");
    QTest::newRow("gif") << GifOf(indexed) << QStringLiteral("gif");
    QTest::newRow("bmp, 32 bits") << Encoded(colour, "bmp") << QStringLiteral("bmp");
    QTest::newRow("bmp, 8 bits") << Encoded(indexed, "bmp") << QStringLiteral("bmp");
    QTest::newRow("bmp, 1 bit") << Encoded(colour.convertToFormat(QImage::Format_Mono,
                                                                  Qt::ThresholdDither),
                                           "bmp")
                                << QStringLiteral("bmp");
    QTest::newRow("png content named .bmp") << Encoded(colour, "png") << QStringLiteral("bmp");
  }
  void everyReadableFormatBecomesAnAcceptedLogo() {
    QFETCH(QByteArray, content);
    QFETCH(QString, suffix);
    // 300 x 150 fits as 120 x 60 in the middle: columns 60..119 dark, 120..179 light.
    QCOMPARE(ConvertThroughFiles(content, suffix, ConvertOptions()),
             RasterWithBlackRect(QRect(60, 0, 60, 60)));
  }

  void transparentGifAreasTakeTheBackground() {
    QImage picture(240, 60, QImage::Format_Indexed8);
    picture.setColorTable({qRgb(255, 0, 0), qRgb(0, 0, 0)});
    picture.fill(0);
    for (int y = 0; y < 60; ++y)
      for (int x = 0; x < 8; ++x) picture.setPixel(x, y, 1);
    const QByteArray gif = GifOf(picture, 0);
    QCOMPARE(ConvertThroughFiles(gif, QStringLiteral("gif"), ConvertOptions()),
             RasterWithBlackRect(QRect(0, 0, 8, 60)));
    ConvertOptions black;
    black.background = Qt::black;
    QCOMPARE(ConvertThroughFiles(gif, QStringLiteral("gif"), black),
             QByteArray(kLogoBytes, char(0xFF)));
  }

  void cutShortPicturesAreRefused_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<bool>("complete");
    QImage indexed(300, 150, QImage::Format_Indexed8);
    indexed.setColorTable({qRgb(20, 0, 90), qRgb(250, 240, 10), qRgb(200, 0, 0)});
    for (int y = 0; y < 150; ++y)
      for (int x = 0; x < 300; ++x) indexed.setPixel(x, y, (x * 7 + y * 3) % 3);
    const QImage colour = indexed.convertToFormat(QImage::Format_RGB32);
    // A whole JPEG inside a segment, as a camera's thumbnail, ends before the picture does.
    const QByteArray photo =
        WithApp1(Encoded(colour, "jpg"), Exif(0, Encoded(colour.scaled(30, 15), "jpg")));
    auto cut = [](const QByteArray& file) { return file.left(file.size() * 2 / 3); };

    QTest::newRow("jpeg with a thumbnail, cut") << cut(photo) << "jpg" << false;
    QTest::newRow("jpeg with bytes after its end")
        << photo + QByteArray(100, '\x55') << "jpg" << true;
    QTest::newRow("gif, cut") << cut(GifOf(indexed)) << "gif" << false;
    QTest::newRow("bmp, cut") << cut(Encoded(colour, "bmp")) << "bmp" << false;
  }
  void cutShortPicturesAreRefused() {
    QFETCH(QByteArray, content);
    QFETCH(QString, suffix);
    QFETCH(bool, complete);
    const QByteArray result = ConvertThroughFiles(content, suffix, ConvertOptions());
    if (complete)
      QCOMPARE(result.size(), kLogoBytes);
    else
      QVERIFY2(result.endsWith(": the file is cut short"), result.constData());
  }

  // Thousands of scans keep a decoder busy for minutes on a larger picture: refused unread.
  void jpegOfThousandsOfScansIsRefused() {
    const QByteArray jpeg = ProgressiveJpeg(Filled(64, 32, Qt::darkGray), 2000);
    QCOMPARE(jpeg.count("\xFF\xDA"), 2000);
    const QByteArray result = ConvertThroughFiles(jpeg, QStringLiteral("jpg"), ConvertOptions());
    QVERIFY2(result.contains("is made of more than 300 scans"), result.constData());
  }

  void decodeSizeKeepsTwoPixelsForEachLogoPixel_data() {
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<ConvertOptions>("options");
    QTest::addColumn<QSize>("decoded");
    // 6000 x 4000 fits as 90 x 60; filled, its 6000 x 1500 band covers 240 x 60.
    QTest::newRow("photo, fit") << QSize(6000, 4000) << Mode(ScaleMode::Fit) << QSize(180, 120);
    QTest::newRow("photo, fill") << QSize(6000, 4000) << Mode(ScaleMode::Fill) << QSize(480, 320);
    QTest::newRow("photo, stretch")
        << QSize(6000, 4000) << Mode(ScaleMode::Stretch) << QSize(480, 320);
    QTest::newRow("already small") << QSize(400, 100) << Mode(ScaleMode::Fit) << QSize(400, 100);
  }
  void decodeSizeKeepsTwoPixelsForEachLogoPixel() {
    QFETCH(QSize, picture);
    QFETCH(ConvertOptions, options);
    QFETCH(QSize, decoded);
    QCOMPARE(DecodeSizeFor(picture, options), decoded);
  }

  void reducedDecodingGivesTheLogoOfTheWholePicture_data() {
    QTest::addColumn<bool>("turned");
    QTest::addColumn<ConvertOptions>("options");
    using H = HorizontalAlign;
    using V = VerticalAlign;
    ConvertOptions dither;
    dither.dither = true;
    QTest::newRow("fit") << false << Mode(ScaleMode::Fit);
    QTest::newRow("fit right") << false << Mode(ScaleMode::Fit, H::Right);
    QTest::newRow("fill top") << false << Mode(ScaleMode::Fill, H::Center, V::Top);
    QTest::newRow("fill bottom") << false << Mode(ScaleMode::Fill, H::Center, V::Bottom);
    QTest::newRow("stretch") << false << Mode(ScaleMode::Stretch);
    QTest::newRow("dither") << false << dither;
    QTest::newRow("turned, fill bottom") << true << Mode(ScaleMode::Fill, H::Center, V::Bottom);
  }
  void reducedDecodingGivesTheLogoOfTheWholePicture() {
    QFETCH(bool, turned);
    QFETCH(ConvertOptions, options);
    const QByteArray jpeg = SquaresJpeg(turned);
    const QByteArray raster = ConvertThroughFiles(jpeg, QStringLiteral("jpg"), options);

    const QString input = PathFor(QStringLiteral("input.jpg"));
    PictureFailure failure;
    QSize fullSize;
    const QImage reduced = LoadPicture(
        input, &failure, [&options](QSize full) { return DecodeSizeFor(full, options); },
        &fullSize);
    QCOMPARE(fullSize, QSize(1920, 960));
    QVERIFY(reduced.width() <= 480 && reduced.height() <= 240);
    QImageReader whole(input);
    whole.setAutoTransform(true);
    QCOMPARE(raster, RasterBytes(RasterOf(ConvertPicture(whole.read(), options))));
  }

  void zeroSizeIsAnnouncedFromTheHeader_data() {
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<QSize>("size");
    QTest::newRow("png 0 x 0") << QByteArray::fromHex(
                                      "89504e470d0a1a0a0000000d49484452000000000000000008060000")
                               << QSize(0, 0);
    QTest::newRow("png 640 x 3") << QByteArray::fromHex(
                                        "89504e470d0a1a0a0000000d49484452000002800000000308060000")
                                 << QSize(640, 3);
    QTest::newRow("bmp 0 x 10") << QByteArray::fromHex(
                                       "424d000000000000000036000000"
                                       "28000000"
                                       "00000000"
                                       "0a000000")
                                << QSize(0, 10);
    QTest::newRow("bmp top-down 240 x 60") << QByteArray::fromHex(
                                                  "424d00000000000000003e000000"
                                                  "28000000"
                                                  "f0000000"
                                                  "c4ffffff")
                                           << QSize(240, 60);
    QTest::newRow("bmp core header 16 x 0") << QByteArray::fromHex(
                                                   "424d000000000000000036000000"
                                                   "0c000000"
                                                   "1000"
                                                   "0000"
                                                   "0100")
                                            << QSize(16, 0);
    QTest::newRow("gif: reader knows") << QByteArray("GIF89a\x00\x00\x05\x00", 10) << QSize();
    QTest::newRow("png cut short") << QByteArray::fromHex("89504e470d0a1a0a0000") << QSize();
  }
  void zeroSizeIsAnnouncedFromTheHeader() {
    QFETCH(QByteArray, head);
    QFETCH(QSize, size);
    QCOMPARE(DeclaredPictureSize(head), size);
  }
};

QTEST_GUILESS_MAIN(TestConvertLogo)
#include "tst_convertlogo.moc"
