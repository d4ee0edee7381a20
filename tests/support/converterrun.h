#pragma once

#include <QImage>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include "convertcommand.h"

namespace kestrel::test {

// kestrel-logo-convert run in this process; what it says on standard error goes to *errors.
inline int RunConverterHere(const QStringList& arguments, QString* errors) {
  QString out;
  QTextStream outStream(&out);
  QTextStream errStream(errors);
  return convert::RunConverter(QStringList{QStringLiteral("kestrel-logo-convert")} + arguments,
                               outStream, errStream);
}

// A small white PNG for the converter to read.
inline bool SaveWhitePicture(const QString& path) {
  QImage picture(120, 30, QImage::Format_RGB32);
  picture.fill(Qt::white);
  return picture.save(path);
}

}  // namespace kestrel::test
