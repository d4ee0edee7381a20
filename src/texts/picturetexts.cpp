#include "texts/picturetexts.h"

#include <QCoreApplication>
#include <QDir>
#include <QImageReader>
#include <QStringList>

#include "picture/picturecomplete.h"
#include "texts/usertexts.h"

class Pictures {
  Q_DECLARE_TR_FUNCTIONS(Pictures)
};

namespace kestrel::texts {

namespace {

QString ReadableFormats() {
  QStringList names;
  for (const QByteArray& format : QImageReader::supportedImageFormats())
    names << QString::fromLatin1(format).toUpper();
  names.removeDuplicates();
  return names.join(QLatin1String(", "));
}

}  // namespace

QString PictureFailureText(const convert::PictureFailure& failure) {
  using Kind = convert::PictureFailure::Kind;
  const QString path = convert::ShownPath(failure.path);
  switch (failure.kind) {
    case Kind::None:
      return {};
    case Kind::Missing:
      return Pictures::tr("cannot read %1: no such file").arg(path);
    case Kind::CannotRead:
      return Pictures::tr("cannot read %1: %2").arg(path, failure.reason);
    case Kind::Empty:
      return Pictures::tr("cannot read %1: the file is empty").arg(path);
    case Kind::TooManyScans:
      return Pictures::tr(
                 "cannot read the picture in %1: it is made of more than %2 scans, which no real "
                 "photograph needs and which would take minutes to decode")
          .arg(path)
          .arg(convert::kMaxJpegScans);
    case Kind::NotAPicture:
      return Pictures::tr("%1 is not a picture in a format this program reads (%2)")
          .arg(path, ReadableFormats());
    case Kind::ZeroSize:
      return Pictures::tr("the picture in %1 has zero size").arg(path);
    case Kind::TooLarge:
      return Pictures::tr("the picture in %1 is too large (%2 x %3 pixels)")
          .arg(path)
          .arg(failure.size.width())
          .arg(failure.size.height());
    case Kind::Undecodable:
      return Pictures::tr("cannot read the picture in %1: %2").arg(path, failure.reason);
    case Kind::CutShort:
      return Pictures::tr("cannot read the picture in %1: the file is cut short").arg(path);
    case Kind::CannotOpenLogo:
      return CannotOpenFileMessage(QDir::toNativeSeparators(failure.path), failure.reason);
  }
  return {};
}

QString OptionProblemText(const convert::OptionProblem& problem) {
  using Kind = convert::OptionProblem::Kind;
  switch (problem.kind) {
    case Kind::None:
      return {};
    case Kind::SeveralModes:
      return Pictures::tr("choose only one of --fit, --fill and --stretch");
    case Kind::BadThreshold:
      return Pictures::tr("bad threshold \"%1\": give a whole number from 0 to 255")
          .arg(problem.value);
    case Kind::BadAlignment:
      return Pictures::tr(
                 "bad alignment \"%1\": use left, center or right and/or top, middle or bottom, "
                 "as in \"top,left\"")
          .arg(problem.value);
    case Kind::BadBackground:
      return Pictures::tr(
                 "bad background colour \"%1\": give a colour name such as white or black, or "
                 "#rrggbb")
          .arg(problem.value);
  }
  return {};
}

QString LogoSaveFailureText(const LogoSaveFailure& failure) {
  using Kind = LogoSaveFailure::Kind;
  const QString path = convert::ShownPath(failure.path);
  switch (failure.kind) {
    case Kind::None:
      return {};
    case Kind::WouldReplaceSource:
      return BitmapWouldReplaceInput();
    case Kind::NamedAsOtherFormat:
      return BitmapNamedAsOtherFormat(path, failure.format.toUpper());
    case Kind::CannotWrite:
      return CannotWriteBitmap(path, convert::AsMessagePart(failure.reason));
    case Kind::DoesNotReadBack:
      return BitmapDoesNotReadBack(path);
  }
  return {};
}

}  // namespace kestrel::texts
