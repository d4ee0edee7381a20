#pragma once

#include <QByteArray>
#include <cstdint>
#include <span>

namespace kestrel {

inline constexpr char kAck = 0x06;
inline constexpr char kNak = 0x15;  // what a device refusing a frame is likely to send
inline constexpr char kCr = 0x0D;

// 2 x byteCount digit characters ('0'..'?') for the low 8 x byteCount bits of value,
// most significant nibble first (two's complement for a negative value). byteCount <= 0 gives
// the empty text; above 10 throws std::out_of_range.
QByteArray NibbleDigits(int32_t value, int16_t byteCount);

// Replaces command by its frame (text, two checksum digits, CR) and returns the frame.
// The checksum sum (length plus character codes) is held to 16 signed bits: past 32767 it
// throws std::overflow_error and leaves command unchanged.
QByteArray AppendChecksum(QByteArray& command);

// Command texts, before framing. A block write carries at most 255 bytes (its count is one
// byte); more throws std::length_error.
QByteArray BlockWriteText(int32_t address, std::span<const uint8_t> bytes);  // ";BB"
QByteArray LogoInfoText(int32_t checksum, int16_t second);                   // ";BI"

// How the reply to a command is judged.
enum class ReplyRule {
  NotAwaited,  // no reply is awaited (the empty frame)
  AckFirst,    // a line whose first character is ACK (a block write)
  NoRefusal,   // any line but a refusal (the logo information): a device that refuses the
               // logo's checksum must not leave the user believing it was loaded
};

// Whether a complete reply line accepts a command awaited under rule.
bool ReplyAccepted(ReplyRule rule, const QByteArray& replyLine);
bool IsRefusal(const QByteArray& replyLine);  // it starts with NAK

}  // namespace kestrel
