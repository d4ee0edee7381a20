#include "simdevice.h"

#include <QBuffer>
#include <QColor>
#include <QImage>

#include "files/fileaccess.h"

namespace kestrel::sim {

namespace {

constexpr int kLogoWidth = 240;
constexpr int kLogoHeight = 60;
constexpr int kRowBytes = kLogoWidth / 8;

// Value of one digit character '0'..'?', or -1.
int DigitValue(char c) { return (c >= '0' && c <= '?') ? c - '0' : -1; }

// Reads count*2 digits at pos as a number; -1 when any is not a digit.
int ReadField(const QByteArray& text, int pos, int bytes) {
  int value = 0;
  for (int i = 0; i < bytes * 2; ++i) {
    const int d = DigitValue(text[pos + i]);
    if (d < 0) return -1;
    value = value * 16 + d;
  }
  return value;
}

}  // namespace

QByteArray ChecksumDigits(const QByteArray& text) {
  unsigned sum = unsigned(text.size());
  for (char c : text) sum += uint8_t(c);
  const unsigned low = sum & 0xFF;
  QByteArray digits;
  digits += char('0' + (low >> 4));
  digits += char('0' + (low & 0x0F));
  return digits;
}

uint16_t LogoChecksum(const QByteArray& logo) {
  unsigned sum = kLogoBytes;
  for (char c : logo) sum = (sum + uint8_t(c)) & 0xFFFF;
  return uint16_t(sum);
}

QString Printable(const QByteArray& bytes) {
  QString out;
  for (char c : bytes) {
    const auto u = uint8_t(c);
    if (u >= 0x20 && u < 0x7F)
      out += QLatin1Char(c);
    else
      out += QStringLiteral("<%1>").arg(u, 2, 16, QLatin1Char('0'));
  }
  return out;
}

SimDevice::SimDevice(DeviceOptions options) : options_(options) {}

QByteArray SimDevice::logo() const {
  return QByteArray(reinterpret_cast<const char*>(memory_.data()) + kLogoAddress, kLogoBytes);
}

QStringList SimDevice::takeReports() {
  QStringList out;
  out.swap(reports_);
  return out;
}

QList<FrameResult> SimDevice::feed(const QByteArray& bytes) {
  QList<FrameResult> results;
  for (char c : bytes) {
    if (c != '\r') {
      if (discarding_) continue;
      pending_ += c;
      if (pending_.size() > kMaxFrame) {
        report(QStringLiteral("discarding %1 bytes without CR").arg(pending_.size()));
        pending_.clear();
        discarding_ = true;
      }
      continue;
    }
    if (discarding_) {
      discarding_ = false;
      continue;
    }
    QByteArray frame;
    frame.swap(pending_);
    results << handleFrame(frame);
  }
  return results;
}

QByteArray SimDevice::replyLine(bool accepted) const {
  if (options_.neverAnswer) return {};
  QByteArray line(1, accepted ? kAck : kNak);
  if (!options_.noCr) line += '\r';
  if (options_.doubleLine) line += line;
  return line;
}

FrameResult SimDevice::handleFrame(const QByteArray& frame) {
  FrameResult r;
  if (frame == "00") {
    if (downloads_ > 0 && frames_ > 0 && completedDownloads_ < downloads_)
      report(QStringLiteral("download %1 incomplete: %2 frames, %3 blocks")
                 .arg(downloads_)
                 .arg(frames_)
                 .arg(blocks_));
    ++downloads_;
    frames_ = 1;
    blocks_ = 0;
    memory_.fill(0);
    r.kind = FrameKind::Empty;
    r.frameNumber = 1;
    return r;  // the empty frame gets no answer
  }

  if (downloads_ == 0) downloads_ = 1;  // a download that began without its empty frame
  r.frameNumber = ++frames_;

  if (frame.size() < 2 || frame.right(2) != ChecksumDigits(frame.left(frame.size() - 2))) {
    r.kind = FrameKind::BadChecksum;
    report(QStringLiteral("frame %1: bad checksum, no answer: %2")
               .arg(r.frameNumber)
               .arg(Printable(frame)));
    return r;
  }

  const QByteArray text = frame.left(frame.size() - 2);
  if (text.startsWith(";BB")) {
    const int count = text.size() >= 9 ? ReadField(text, 7, 1) : -1;
    const int address = text.size() >= 9 ? ReadField(text, 3, 2) : -1;
    bool ok = count >= 0 && address >= 0 && text.size() == 9 + 2 * count &&
              address + count <= int(memory_.size());
    QByteArray data;
    for (int i = 0; ok && i < count; ++i) {
      const int v = ReadField(text, 9 + 2 * i, 1);
      ok = v >= 0;
      data += char(v);
    }
    if (!ok) {
      r.kind = FrameKind::Malformed;
      r.answer = replyLine(false);
      report(QStringLiteral("frame %1: malformed block write: %2")
                 .arg(r.frameNumber)
                 .arg(Printable(frame)));
      return r;
    }
    r.kind = FrameKind::BlockWrite;
    const int block = blocks_++;
    if (block == options_.nakAtBlock) {
      r.answer = replyLine(false);
      report(QStringLiteral("frame %1: block %2 at address %3 rejected as asked")
                 .arg(r.frameNumber)
                 .arg(block)
                 .arg(address));
      return r;
    }
    for (int i = 0; i < count; ++i) memory_[size_t(address + i)] = uint8_t(data[i]);
    r.answer = replyLine(true);
    return r;
  }

  if (text.startsWith(";BI")) {
    const int sent = text.size() == 11 ? ReadField(text, 3, 2) : -1;
    const int second = text.size() == 11 ? ReadField(text, 7, 2) : -1;
    if (sent < 0 || second < 0) {
      r.kind = FrameKind::Malformed;
      r.answer = replyLine(false);
      report(QStringLiteral("frame %1: malformed logo information: %2")
                 .arg(r.frameNumber)
                 .arg(Printable(frame)));
      return r;
    }
    r.kind = FrameKind::LogoInfo;
    r.downloadComplete = true;
    const uint16_t computed = LogoChecksum(logo());
    lastChecksumMatched_ = computed == sent;
    ++completedDownloads_;
    if (!options_.noInfoAnswer) r.answer = replyLine(true);
    report(
        QStringLiteral("download %1: %2 frames, %3 blocks, logo checksum sent %4, computed %5: %6")
            .arg(downloads_)
            .arg(frames_)
            .arg(blocks_)
            .arg(sent, 4, 16, QLatin1Char('0'))
            .arg(computed, 4, 16, QLatin1Char('0'))
            .arg(lastChecksumMatched_ ? QStringLiteral("match") : QStringLiteral("MISMATCH")));
    return r;
  }

  r.kind = FrameKind::Unknown;
  r.answer = replyLine(false);
  report(QStringLiteral("frame %1: unknown command: %2").arg(r.frameNumber).arg(Printable(frame)));
  return r;
}

QByteArray LogoToPbm(const QByteArray& logo) {
  QByteArray out = QByteArrayLiteral("P4\n240 60\n");
  out += logo.left(kLogoBytes);
  if (out.size() < 10 + kLogoBytes) out += QByteArray(10 + kLogoBytes - out.size(), '\0');
  return out;
}

bool SaveLogoPicture(const QByteArray& logo, const QString& path, QString* error) {
  QByteArray bytes;
  if (path.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive)) {
    QImage image(kLogoWidth, kLogoHeight, QImage::Format_Mono);
    image.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    for (int y = 0; y < kLogoHeight; ++y)
      for (int x = 0; x < kRowBytes; ++x)
        image.scanLine(y)[x] = uchar(y * kRowBytes + x < logo.size() ? logo[y * kRowBytes + x] : 0);
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
  } else {
    bytes = LogoToPbm(logo);
  }
  const QString failed = files::SaveFile(path, bytes);
  if (failed.isEmpty()) return true;
  if (error) *error = QStringLiteral("cannot write %1: %2").arg(path, failed);
  return false;
}

}  // namespace kestrel::sim
