#include "link/framing.h"

#include <QString>
#include <limits>
#include <stdexcept>

namespace kestrel {

namespace {

constexpr int kMaxFieldBytes = 10;
constexpr int kMaxChecksumSum = std::numeric_limits<int16_t>::max();

// The device's digits run on from '9': 10..15 are ':' ';' '<' '=' '>' '?', never letters.
char Digit(int nibble) { return static_cast<char>('0' + (nibble & 0x0F)); }

}  // namespace

QByteArray NibbleDigits(int32_t value, int16_t byteCount) {
  if (byteCount <= 0) return {};
  if (byteCount > kMaxFieldBytes)
    throw std::out_of_range("NibbleDigits: field wider than 10 bytes");

  // Two's complement, sign-extended: a negative value still yields its low 8n bits.
  int64_t v = value;
  QByteArray digits(2 * byteCount, '0');
  for (int p = 2 * byteCount - 1; p > 0; p -= 2) {
    digits[p] = Digit(static_cast<int>(v & 0x0F));
    digits[p - 1] = Digit(static_cast<int>((v >> 4) & 0x0F));
    v >>= 8;
  }
  return digits;
}

QByteArray AppendChecksum(QByteArray& command) {
  qsizetype sum = command.size();
  for (char c : command) {
    sum += static_cast<unsigned char>(c);
    if (sum > kMaxChecksumSum) throw std::overflow_error("AppendChecksum: sum past 32767");
  }
  const int low = static_cast<int>(sum & 0xFF);
  command.append(Digit(low >> 4));
  command.append(Digit(low & 0x0F));
  command.append(kCr);
  return command;
}

QByteArray BlockWriteText(int32_t address, std::span<const uint8_t> bytes) {
  // The count travels in one byte; a longer block would announce the wrong length.
  if (bytes.size() > 255) throw std::length_error("BlockWriteText: more than 255 bytes");
  QByteArray text(";BB");
  text.reserve(9 + 2 * static_cast<qsizetype>(bytes.size()));
  text += NibbleDigits(address, 2);
  text += NibbleDigits(static_cast<int32_t>(bytes.size()), 1);
  for (uint8_t b : bytes) text += NibbleDigits(b, 1);
  return text;
}

QByteArray LogoInfoText(int32_t checksum, int16_t second) {
  QByteArray text(";BI");
  text += NibbleDigits(checksum, 2);
  text += NibbleDigits(second, 2);
  return text;
}

bool ReplyAccepted(ReplyRule rule, const QByteArray& replyLine) {
  switch (rule) {
    case ReplyRule::NotAwaited:
      break;
    case ReplyRule::AckFirst:
      return replyLine.startsWith(kAck);
    case ReplyRule::NoRefusal:
      return !IsRefusal(replyLine);
  }
  return false;
}

bool IsRefusal(const QByteArray& replyLine) { return replyLine.startsWith(kNak); }

}  // namespace kestrel
