#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>
#include <functional>

namespace kestrel::convert {

// Reads any picture Qt can read; a null image and a one-line reason on failure, also for a file
// that ends before its picture does. `decodeSize`, when given, is asked for the size that is
// enough of a picture of the full size it is given (as shown, turned upright); a JPEG is then
// decoded at that size, many times faster. `fullSize` receives the picture's full size.
QImage LoadPicture(const QString& path, QString* error,
                   const std::function<QSize(QSize)>& decodeSize = {}, QSize* fullSize = nullptr);

// The size a PNG or BMP file's header announces (from its first 32 bytes), even one its
// reader would refuse; invalid for other formats.
QSize DeclaredPictureSize(const QByteArray& head);

// A path as messages show it: native separators, in double quotes.
QString ShownPath(const QString& path);

// A library's message as part of one of ours: lower-case start, no final stop.
QString AsMessagePart(QString text);

}  // namespace kestrel::convert
