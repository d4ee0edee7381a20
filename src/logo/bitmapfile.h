#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <cstdint>

namespace kestrel {

// The 54 bytes at the start of a Windows bitmap, as the loader reads them.
struct BitmapHeader {
  QString Signature;
  int32_t FileSize = 0;
  int32_t Reserved = 0;
  int32_t DataOffset = 0;
  int32_t HeaderSize = 0;
  int32_t Width = 0;
  int32_t Height = 0;
  int32_t Planes = 0;
  int32_t BitCount = 0;
  int32_t Compression = 0;
  int32_t ImageSize = 0;
  int32_t XPelsPerMeter = 0;
  int32_t YPelsPerMeter = 0;
  int32_t ColorsUsed = 0;
  int32_t ColorsImportant = 0;
};

// The readers report a failed read or a value outside their range (last byte 0x80 or more)
// through ok, and then return 0.
int32_t ReadLongLE(QIODevice& file, bool* ok);
int32_t ReadIntegerLE(QIODevice& file, bool* ok);

// Reads rows x columns bytes into buffer[0..]; returns the count stored, or -1 when a read
// fails or the buffer is too small. Never writes past bufferSize.
int32_t ReadByteBlock(uint8_t* buffer, int64_t bufferSize, int16_t columns, int32_t rows,
                      QIODevice& file);

struct LogoFileResult {
  enum class Outcome {
    Accepted,     // header and pixels hold the file's data
    NotABitmap,   // signature is not "BM": a logo accepted before may still be sent
    WrongFormat,  // any later check or read failed: nothing may be sent until a new logo
    CannotOpen,   // the file could not be opened; openError says why
  };
  Outcome outcome = Outcome::CannotOpen;
  BitmapHeader header;
  QByteArray pixels;  // the pixel rows: at most 1920 bytes, whatever ImageSize claims
  QString openError;
  // Palette entry 0 is lighter than entry 1 (white first): other viewers draw the picture
  // inverted compared with what the device shows. The raster does not depend on it.
  bool lighterColourFirst = false;
};

// Opens, checks, reads and closes a logo bitmap, without the window. Only regular files are
// opened (a FIFO or a device is CannotOpen at once), and no more than the pixel rows are read.
// A file that ends early (even inside the signature), or whose pixel byte count is below 1918
// or beyond what the file still holds, is WrongFormat. LoadLogoFile also builds the raster.
LogoFileResult ReadLogoBitmap(const QString& path);

}  // namespace kestrel
