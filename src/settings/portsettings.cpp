#include "settings/portsettings.h"

#include <QDir>
#include <cmath>

#include "settings/inifile.h"
#include "settings/programfolder.h"

namespace kestrel {

namespace {

const QString kCommPortKey = QStringLiteral("CommPort");
const QString kBaudKey = QStringLiteral("Baud");

QString FileIn(const QString& folder) {
  return QDir(folder.isEmpty() ? SettingsFolder() : folder)
      .filePath(QString::fromLatin1(kIniFileName));
}

QString Read(const QString& folder, const char* section, const QString& key) {
  return ArchivoIni::ReadProfileString(FileIn(folder), QString::fromLatin1(section), key);
}

bool Store(const char* section, const QString& key, const QString& value, QString* problem) {
  return ArchivoIni::WriteProfileString(FileIn({}), QString::fromLatin1(section), key, value,
                                        problem);
}

bool ValidComNumber(int n) { return n >= 1 && n <= kHighestComNumber; }

QString DeviceKey(int comNumber) { return QStringLiteral("COM%1").arg(comNumber); }

// The numeric value of the number a text begins with; 0 when it begins with none.
double LeadingNumber(const QString& text) {
  QString s;
  s.reserve(text.size());
  for (QChar c : text)
    if (c != QLatin1Char(' ') && c != QLatin1Char('\t') && c != QLatin1Char('\n')) s += c;

  qsizetype i = 0;
  const auto digitAt = [&s](qsizetype k) {
    return k < s.size() && s[k].isDigit() && s[k].unicode() < 128;
  };
  QString number;
  if (i < s.size() && (s[i] == QLatin1Char('+') || s[i] == QLatin1Char('-'))) number += s[i++];
  bool anyDigit = false;
  while (digitAt(i)) {
    number += s[i++];
    anyDigit = true;
  }
  if (i < s.size() && s[i] == QLatin1Char('.')) {
    number += s[i++];
    while (digitAt(i)) {
      number += s[i++];
      anyDigit = true;
    }
  }
  if (!anyDigit) return 0;
  // An exponent counts only when digits follow its letter (and optional sign).
  if (i < s.size() && QStringLiteral("eEdD").contains(s[i])) {
    qsizetype k = i + 1;
    QString exponent = QStringLiteral("e");
    if (k < s.size() && (s[k] == QLatin1Char('+') || s[k] == QLatin1Char('-'))) exponent += s[k++];
    if (digitAt(k)) {
      while (digitAt(k)) exponent += s[k++];
      number += exponent;
    }
  }
  bool ok = false;
  const double value = number.toDouble(&ok);
  return ok ? value : HUGE_VAL;  // only an exponent too large for a double fails here
}

double RoundHalfToEven(double v) {
  const double low = std::floor(v);
  const double diff = v - low;
  if (diff > 0.5) return low + 1;
  if (diff < 0.5) return low;
  return std::fmod(low, 2.0) == 0 ? low : low + 1;
}

}  // namespace

std::optional<int> CommPortNumberFromText(const QString& text) {
  const double value = LeadingNumber(text);
  if (!std::isfinite(value)) return std::nullopt;
  const double rounded = RoundHalfToEven(value);
  if (rounded < -32768 || rounded > 32767) return std::nullopt;
  return static_cast<int>(rounded);
}

StoredPort ReadStoredPort(const QString& folder) {
  StoredPort stored;
  if (const auto n = CommPortNumberFromText(Read(folder, kIniSection, kCommPortKey));
      n && ValidComNumber(*n))
    stored.comNumber = *n;
  stored.lineSettings = ParseLineSettings(Read(folder, kIniSection, kBaudKey));
  return stored;
}

bool StoreComNumber(int comNumber, QString* problem) {
  if (!ValidComNumber(comNumber)) return false;
  // The sign position of a non-negative number is a blank.
  return Store(kIniSection, kCommPortKey, QLatin1Char(' ') + QString::number(comNumber), problem);
}

bool StoreTcpIp(QString* problem) {
  return Store(kIniSection, kCommPortKey, QStringLiteral("TCP"), problem);
}

bool StoreBaud(int baud, QString* problem) {
  return Store(kIniSection, kBaudKey, QStringLiteral(" %1,N,8,1").arg(baud), problem);
}

std::optional<QString> ReadDeviceAssignment(int comNumber, const QString& folder) {
  if (!ValidComNumber(comNumber)) return std::nullopt;
  const QString text = Read(folder, kDevicesSection, DeviceKey(comNumber)).trimmed();
  if (text.isEmpty()) return std::nullopt;
  return text;
}

bool StoreDeviceAssignment(int comNumber, const QString& device, QString* problem) {
  if (!ValidComNumber(comNumber)) return false;
  return Store(kDevicesSection, DeviceKey(comNumber), device, problem);
}

}  // namespace kestrel
