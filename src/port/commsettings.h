#pragma once

#include <QString>
#include <optional>

namespace kestrel {

// A line-settings text: "rate,parity,data,stop", e.g. "9600,n,8,1".
struct LineSettings {
  int baud = 9600;
  char parity = 'n';   // n, e, o, m, s (lower case)
  int dataBits = 8;    // 5..8
  QString stopBits = QStringLiteral("1");  // "1", "1.5" or "2"

  bool operator==(const LineSettings&) const = default;
};

// Blanks around fields are allowed; the parity letter may be either case. nullopt = refused.
std::optional<LineSettings> ParseLineSettings(const QString& text);

// The form the port reports back, e.g. "38400,n,8,1".
QString FormatLineSettings(const LineSettings& settings);

}  // namespace kestrel
