#include "port/commsettings.h"

#include <QStringList>

namespace kestrel {

std::optional<LineSettings> ParseLineSettings(const QString& text) {
  const QStringList fields = text.split(QLatin1Char(','));
  if (fields.size() != 4) return std::nullopt;

  LineSettings s;
  bool ok = false;
  const QString rate = fields[0].trimmed();
  // Digits only: toInt would also take a sign or blanks inside.
  if (rate.isEmpty() || rate.size() > 7) return std::nullopt;
  for (QChar c : rate)
    if (!c.isDigit()) return std::nullopt;
  s.baud = rate.toInt(&ok);
  if (!ok || s.baud <= 0) return std::nullopt;

  const QString parity = fields[1].trimmed().toLower();
  if (parity.size() != 1 || !QStringLiteral("neoms").contains(parity)) return std::nullopt;
  s.parity = parity.at(0).toLatin1();

  const QString data = fields[2].trimmed();
  if (data.size() != 1 || data.at(0) < QLatin1Char('5') || data.at(0) > QLatin1Char('8'))
    return std::nullopt;
  s.dataBits = data.toInt();

  const QString stop = fields[3].trimmed();
  if (stop != QLatin1String("1") && stop != QLatin1String("1.5") && stop != QLatin1String("2"))
    return std::nullopt;
  s.stopBits = stop;
  return s;
}

QString FormatLineSettings(const LineSettings& s) {
  return QStringLiteral("%1,%2,%3,%4")
      .arg(s.baud)
      .arg(QLatin1Char(s.parity))
      .arg(s.dataBits)
      .arg(s.stopBits);
}

}  // namespace kestrel
