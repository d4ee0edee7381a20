#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>
#include <functional>

namespace kestrel::convert {

// Why a picture could not be read, worded where it is shown (src/texts).
struct PictureFailure {
  enum class Kind {
    None,
    Missing,
    CannotRead,    // reason: the system's words
    Empty,         // the file is empty
    TooManyScans,  // a JPEG of more than kMaxJpegScans scans
    NotAPicture,   // in no format this program reads
    ZeroSize,
    TooLarge,        // size: the picture's
    Undecodable,     // reason: the decoder's words
    CutShort,        // the file ends before its picture does
    CannotOpenLogo,  // a logo bitmap that could not be opened; reason: why
  };
  Kind kind = Kind::None;
  QString path;
  QString reason;
  QSize size;
};

// Reads any picture Qt can read; a null image and what failed, also for a file that ends
// before its picture does. `decodeSize`, when given, is asked for the size that is
// enough of a picture of the full size it is given (as shown, turned upright); a JPEG is then
// decoded at that size, many times faster. `fullSize` receives the picture's full size.
QImage LoadPicture(const QString& path, PictureFailure* failure,
                   const std::function<QSize(QSize)>& decodeSize = {}, QSize* fullSize = nullptr);

// Whether the file is a picture in a format this program reads, from its header only (quick,
// and never held up by a FIFO or a device): what Import Picture could be given.
bool IsReadablePicture(const QString& path);

// The size a PNG or BMP file's header announces (from its first 32 bytes), even one its
// reader would refuse; invalid for other formats.
QSize DeclaredPictureSize(const QByteArray& head);

// A path as messages show it: native separators, in double quotes.
QString ShownPath(const QString& path);

// A library's message as part of one of ours: lower-case start, no final stop.
QString AsMessagePart(QString text);

}  // namespace kestrel::convert
