#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

namespace kestrel::convert {

// Reads any picture Qt can read; a null image and a one-line reason on failure.
QImage LoadPicture(const QString& path, QString* error);

// The size a PNG or BMP file's header announces (from its first 32 bytes), even one its
// reader would refuse; invalid for other formats.
QSize DeclaredPictureSize(const QByteArray& head);

// A path as messages show it: native separators, in double quotes.
QString ShownPath(const QString& path);

// A library's message as part of one of ours: lower-case start, no final stop.
QString AsMessagePart(QString text);

}  // namespace kestrel::convert
