#include "link/wirelog.h"

#include "link/framing.h"

namespace kestrel {

Q_LOGGING_CATEGORY(lcWire, "kestrel.wire", QtInfoMsg)

QString WireText(const QByteArray& bytes) {
  QString text;
  text.reserve(bytes.size());
  for (const char c : bytes) {
    if (c == kCr)
      text += QLatin1String("<CR>");
    else if (c == kAck)
      text += QLatin1String("<ACK>");
    else if (c == kNak)
      text += QLatin1String("<NAK>");
    else if (c >= 0x20 && c < 0x7F)
      text += QLatin1Char(c);
    else
      text += QStringLiteral("<%1>").arg(uint8_t(c), 2, 16, QLatin1Char('0'));
  }
  return text;
}

}  // namespace kestrel
