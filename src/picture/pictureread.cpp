#include "picture/pictureread.h"

#include <QDir>
#include <QFile>
#include <QImageReader>
#include <algorithm>
#include <limits>

#include "files/fileaccess.h"
#include "picture/picturecomplete.h"
#include "picture/quietdecoders.h"

namespace kestrel::convert {

namespace {

constexpr int kPictureAllocationLimitMiB = 512;

// JPEG decodes at any number of eighths of its size, in few eighths many times faster than
// whole: the fewest eighths that give at least `enough`. Asking for exactly that size spares the
// reader a second scaling.
QSize JpegDecodeSize(QSize stored, QSize enough) {
  for (int eighths = 1; eighths < 8; ++eighths) {
    const QSize decoded((stored.width() * eighths + 7) / 8, (stored.height() * eighths + 7) / 8);
    if (decoded.width() >= enough.width() && decoded.height() >= enough.height()) return decoded;
  }
  return stored;
}

// Whole, the picture would take more memory than readers are allowed.
bool OverAllocationLimit(QSize size) {
  const int limitMiB = QImageReader::allocationLimit();
  return limitMiB > 0 && double(size.width()) * size.height() * 4 > double(limitMiB) * 1024 * 1024;
}

}  // namespace

QString ShownPath(const QString& path) {
  return QLatin1Char('"') + QDir::toNativeSeparators(path) + QLatin1Char('"');
}

QString AsMessagePart(QString text) {
  text = text.trimmed();
  if (text.endsWith(QLatin1Char('.'))) text.chop(1);
  if (!text.isEmpty()) text[0] = text[0].toLower();
  return text;
}

QSize DeclaredPictureSize(const QByteArray& head) {
  // Only the formats whose readers fail on a zero size without telling it.
  auto le = [&head](int at, int size) {
    int64_t value = 0;
    for (int i = size - 1; i >= 0; --i) value = value * 256 + static_cast<uint8_t>(head[at + i]);
    return value;
  };
  auto be32 = [&head](int at) {
    int64_t value = 0;
    for (int i = 0; i < 4; ++i) value = value * 256 + static_cast<uint8_t>(head[at + i]);
    return value;
  };
  auto clamped = [](int64_t value) {
    return static_cast<int>(std::clamp<int64_t>(value, 0, std::numeric_limits<int>::max()));
  };
  if (head.size() >= 24 && head.startsWith("\x89PNG\r\n\x1a\n") && head.mid(12, 4) == "IHDR")
    return QSize(clamped(be32(16)), clamped(be32(20)));
  if (head.size() >= 22 && head.startsWith("BM") && le(14, 4) == 12)
    return QSize(clamped(le(18, 2)), clamped(le(20, 2)));
  if (head.size() >= 26 && head.startsWith("BM")) {
    // Height is signed: negative for rows stored top first.
    const int64_t height = static_cast<int32_t>(le(22, 4));
    return QSize(clamped(static_cast<int32_t>(le(18, 4))), clamped(height < 0 ? -height : height));
  }
  return QSize();
}

bool IsReadablePicture(const QString& path) {
  QFile file;
  if (!files::OpenRegularFile(file, path).opened()) return false;
  const QuietDecoders quiet;
  QImageReader reader(&file);
  reader.setDecideFormatFromContent(true);
  // Some readers know their format by a signature alone ("BM"): the reader must make sense of
  // the header too.
  return reader.canRead() && !reader.size().isEmpty();
}

QImage LoadPicture(const QString& path, PictureFailure* failure,
                   const std::function<QSize(QSize)>& decodeSize, QSize* fullSize) {
  using Kind = PictureFailure::Kind;
  const auto fail = [&](Kind kind, const QString& reason = {}, QSize size = {}) {
    *failure = PictureFailure{kind, path, reason, size};
    return QImage();
  };
  // Only a regular file: a FIFO or a device would hold the reader up or never end. The reader
  // gets this very file, not the name again, so nothing can be swapped in between.
  QFile file;
  const files::OpenResult opened = files::OpenRegularFile(file, path);
  if (!opened.opened())
    return opened.status == files::OpenResult::Status::Missing
               ? fail(Kind::Missing)
               : fail(Kind::CannotRead, AsMessagePart(opened.error));
  const QByteArray head = file.peek(32);
  if (head.isEmpty()) return fail(Kind::Empty);

  // The structure first: a file made to keep the decoder busy for minutes is refused unread.
  const PictureData data = CheckPictureData(&file);
  if (data == PictureData::TooManyScans) return fail(Kind::TooManyScans);
  if (!file.seek(0)) return fail(Kind::CannotRead, AsMessagePart(file.errorString()));

  const QuietDecoders quiet;
  // Photographs of many megapixels are welcome in every program that reads pictures; Qt's own
  // limit is 128 MB.
  QImageReader::setAllocationLimit(kPictureAllocationLimitMiB);
  QImageReader reader(&file);
  reader.setDecideFormatFromContent(true);
  reader.setAutoTransform(true);
  if (!reader.canRead()) return fail(Kind::NotAPicture);
  QSize size = reader.size();
  if (!size.isValid()) size = DeclaredPictureSize(head);
  if (size.isValid() && size.isEmpty()) return fail(Kind::ZeroSize);
  // Sizes as the picture is shown: the reader turns it upright after decoding.
  const bool turned = reader.transformation() & QImageIOHandler::TransformationRotate90;
  const QSize shown = turned ? size.transposed() : size;
  // Decoding smaller is for speed: a picture too large whole is refused all the same.
  if (decodeSize && size.isValid() && !OverAllocationLimit(size) && reader.format() == "jpeg") {
    const QSize enough = decodeSize(shown);
    const QSize eighths = JpegDecodeSize(size, turned ? enough.transposed() : enough);
    if (eighths != size) reader.setScaledSize(eighths);
  }
  QImage picture;
  if (!reader.read(&picture)) {
    // Readers refuse an oversized picture without saying why.
    if (size.isValid() && OverAllocationLimit(size)) return fail(Kind::TooLarge, {}, size);
    return fail(Kind::Undecodable, AsMessagePart(reader.errorString()));
  }
  if (picture.isNull() || picture.size().isEmpty()) return fail(Kind::ZeroSize);
  if (data == PictureData::CutShort) return fail(Kind::CutShort);
  if (fullSize) *fullSize = reader.scaledSize().isValid() ? shown : picture.size();
  return picture;
}

}  // namespace kestrel::convert
