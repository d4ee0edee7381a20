#include "settings/inifile.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QLockFile>
#include <algorithm>
#include <optional>

#include "files/fileaccess.h"
#include "settings/programfolder.h"
#include "texts/usertexts.h"

namespace kestrel::ArchivoIni {

namespace {

// Reads look at this much of a file, so a stray huge or binary file stays cheap; writes refuse
// a file that is or would become larger, so a key they update is always one a read sees.
constexpr qint64 kMaxFileBytes = qint64{1} << 20;
// What the profile reader's 255-character buffer leaves room for.
constexpr qsizetype kMaxValueChars = 254;
// A write holds the lock for milliseconds: one held longer belongs to a program that hangs
// or died on another machine sharing the folder.
constexpr int kLockWaitMs = 2000;
constexpr int kStaleLockMs = 10000;
// Editors that save UTF-8 may put this in front; it is no part of the first line.
constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";
constexpr qsizetype kUtf8BomSize = 3;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

QByteArrayView Trimmed(QByteArrayView v) {
  while (!v.isEmpty() && IsBlank(v.front())) v = v.sliced(1);
  while (!v.isEmpty() && IsBlank(v.back())) v.chop(1);
  return v;
}

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool EqualsNoCase(QByteArrayView a, QByteArrayView b) {
  if (a.size() != b.size()) return false;
  for (qsizetype i = 0; i < a.size(); ++i)
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  return true;
}

// Latin-1 bytes of text, or nothing when a character has no single-byte form.
std::optional<QByteArray> ToLatin1(const QString& text) {
  for (QChar c : text)
    if (c.unicode() > 0xFF) return std::nullopt;
  return text.toLatin1();
}

struct Line {
  qsizetype start = 0;
  qsizetype contentEnd = 0;  // before the CR LF or LF that ends the line
  qsizetype end = 0;         // after it
};

// Lines end at LF; a CR just before the LF belongs to the line ending. A CR elsewhere is part
// of the line, so the bytes around it survive a rewrite unchanged. Only a file without any LF
// ends its lines at CR (as old Mac editors save).
char LineEndOf(const QByteArray& data) {
  return !data.contains('\n') && data.contains('\r') ? '\r' : '\n';
}

QList<Line> SplitLines(const QByteArray& data) {
  const char eol = LineEndOf(data);
  QList<Line> lines;
  qsizetype start = 0;
  while (start < data.size()) {
    const qsizetype at = data.indexOf(eol, start);
    Line line;
    line.start = start;
    line.end = at < 0 ? data.size() : at + 1;
    line.contentEnd = at < 0 ? data.size() : at;
    if (eol == '\n' && at > start && data[at - 1] == '\r') --line.contentEnd;
    lines.append(line);
    start = line.end;
  }
  return lines;
}

// The bytes after a byte-order mark, which is kept aside for the rewrite.
QByteArray WithoutBom(const QByteArray& data, QByteArray* bom = nullptr) {
  if (!data.startsWith(kUtf8Bom)) return data;
  if (bom) *bom = data.first(kUtf8BomSize);
  return data.sliced(kUtf8BomSize);
}

struct ParsedLine {
  enum class Kind { Other, Section, Key } kind = Kind::Other;
  QByteArrayView name;
  qsizetype valueStart = 0;  // offset in the line just after '=' (keys only)
};

ParsedLine Parse(QByteArrayView content) {
  ParsedLine parsed;
  const QByteArrayView text = Trimmed(content);
  if (text.isEmpty() || text.front() == ';') return parsed;
  if (text.front() == '[') {
    const qsizetype close = text.indexOf(']');
    if (close < 0) return parsed;
    parsed.kind = ParsedLine::Kind::Section;
    parsed.name = Trimmed(text.sliced(1, close - 1));
    return parsed;
  }
  const qsizetype eq = content.indexOf('=');
  if (eq < 0) return parsed;
  parsed.kind = ParsedLine::Kind::Key;
  parsed.name = Trimmed(content.first(eq));
  parsed.valueStart = eq + 1;
  return parsed;
}

struct Location {
  qsizetype sectionLine = -1;
  qsizetype sectionEnd = -1;  // first line after the section
  qsizetype keyLine = -1;
};

// The first section of that name, and the first key of that name inside it.
Location Locate(const QByteArray& data, const QList<Line>& lines, QByteArrayView section,
                QByteArrayView key) {
  Location where;
  for (qsizetype i = 0; i < lines.size(); ++i) {
    const Line& line = lines[i];
    const ParsedLine parsed =
        Parse(QByteArrayView(data).sliced(line.start, line.contentEnd - line.start));
    if (parsed.kind == ParsedLine::Kind::Section) {
      if (where.sectionLine >= 0) {
        where.sectionEnd = i;
        return where;
      }
      if (EqualsNoCase(parsed.name, section)) where.sectionLine = i;
    } else if (parsed.kind == ParsedLine::Kind::Key && where.sectionLine >= 0 &&
               where.keyLine < 0 && EqualsNoCase(parsed.name, key)) {
      where.keyLine = i;
    }
  }
  if (where.sectionLine >= 0) where.sectionEnd = lines.size();
  return where;
}

bool IsBlankLine(const QByteArray& data, const Line& line) {
  return Trimmed(QByteArrayView(data).sliced(line.start, line.contentEnd - line.start)).isEmpty();
}

bool HasLineBreakOrNul(QByteArrayView text) {
  return text.contains('\r') || text.contains('\n') || text.contains('\0');
}

QByteArray NewLineOf(const QByteArray& data) {
  const qsizetype lf = data.indexOf('\n');
  if (lf > 0 && data[lf - 1] == '\r') return "\r\n";
  if (lf >= 0) return "\n";
  if (data.contains('\r')) return "\r";
  return "\r\n";  // a file of our own follows the home platform's convention
}

QString IniPath(const QString& fileName) { return SettingsFolder() + QLatin1Char('/') + fileName; }

}  // namespace

QString StripControlChars(const QString& text) {
  QString result;
  result.reserve(text.size());
  for (QChar c : text) {
    const char16_t u = c.unicode();
    if (u != 13 && u != 10 && u != 0 && u != 2) result.append(c);
  }
  return result;
}

QString ReadProfileString(const QString& path, const QString& section, const QString& key) {
  const std::optional<QByteArray> sectionBytes = ToLatin1(section);
  const std::optional<QByteArray> keyBytes = ToLatin1(key);
  if (!sectionBytes || !keyBytes) return {};
  const QByteArrayView sectionName = Trimmed(*sectionBytes);
  const QByteArrayView keyName = Trimmed(*keyBytes);
  if (sectionName.isEmpty() || keyName.isEmpty()) return {};

  QFile file;
  if (!files::OpenRegularFile(file, path).opened()) return {};
  // Sized by the file, not the limit: read() allocates all it is allowed to read.
  const QByteArray data = WithoutBom(file.read(std::min(file.size(), kMaxFileBytes)));
  file.close();

  const QList<Line> lines = SplitLines(data);
  const Location where = Locate(data, lines, sectionName, keyName);
  if (where.keyLine < 0) return {};

  const Line& line = lines[where.keyLine];
  const QByteArrayView content =
      QByteArrayView(data).sliced(line.start, line.contentEnd - line.start);
  QByteArrayView value = Trimmed(content.sliced(Parse(content).valueStart));
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
    value = value.sliced(1, value.size() - 2);

  QString text = QString::fromLatin1(value.first(std::min(value.size(), kMaxValueChars)));
  // Leading blanks go; trailing ones (kept by quotes) stay.
  qsizetype lead = 0;
  while (lead < text.size() && text[lead] == QLatin1Char(' ')) ++lead;
  return StripControlChars(text.mid(lead));
}

namespace {

// The read-modify-write itself, under the caller's lock: empty on success, else why not.
QString Rewrite(const QString& path, QByteArrayView sectionName, QByteArrayView keyName,
                const QByteArray& valueBytes) {
  QByteArray read;
  QFile file;
  const files::OpenResult opened = files::OpenRegularFile(file, path);
  if (opened.opened()) {
    if (file.size() > kMaxFileBytes) return texts::SettingsTooLargeReason();
    read = file.read(file.size());
    if (read.size() != file.size() || file.error() != QFileDevice::NoError)
      return file.errorString();
    file.close();
  } else if (opened.status != files::OpenResult::Status::Missing) {
    return opened.error;
  }

  QByteArray bom;
  const QByteArray data = WithoutBom(read, &bom);
  const QByteArray nl = NewLineOf(data);
  const char eol = LineEndOf(data);
  const QByteArray keyLine = keyName.toByteArray() + '=' + valueBytes;
  const QList<Line> lines = SplitLines(data);
  const Location where = Locate(data, lines, sectionName, keyName);

  QByteArray out = bom;
  out.reserve(read.size() + keyLine.size() + sectionName.size() + 8);
  if (where.keyLine >= 0) {
    // Keep the line's own spelling of the key and its blanks up to '='.
    const Line& line = lines[where.keyLine];
    const qsizetype valueStart =
        line.start +
        Parse(QByteArrayView(data).sliced(line.start, line.contentEnd - line.start)).valueStart;
    out += data.left(valueStart) + valueBytes + data.mid(line.contentEnd);
  } else if (where.sectionLine >= 0) {
    // New key after the section's last non-blank line, ahead of the blank lines that part it
    // from the next section.
    qsizetype last = where.sectionEnd - 1;
    while (last > where.sectionLine && IsBlankLine(data, lines[last])) --last;
    const Line& after = lines[last];
    out += data.left(after.end);
    if (after.end == after.contentEnd) out += nl;  // the file ended without a line break
    out += keyLine + nl;
    out += data.mid(after.end);
  } else {
    out += data;
    if (!data.isEmpty()) {
      if (!data.endsWith(eol)) out += nl;
      if (!IsBlankLine(data, lines.back())) out += nl;
    }
    out += '[' + sectionName.toByteArray() + ']' + nl + keyLine + nl;
  }

  if (out.size() > kMaxFileBytes) return texts::SettingsWouldGrowReason();
  return files::SaveFile(path, out);
}

}  // namespace

bool WriteProfileString(const QString& path, const QString& section, const QString& key,
                        const QString& value, QString* problem) {
  const auto fail = [problem](const QString& why) {
    if (problem) *problem = why;
    return false;
  };
  const std::optional<QByteArray> sectionBytes = ToLatin1(section);
  const std::optional<QByteArray> keyBytes = ToLatin1(key);
  const std::optional<QByteArray> valueBytes = ToLatin1(value);
  if (!sectionBytes || !keyBytes)
    return fail(texts::CannotHoldTextReason(section + QLatin1Char('/') + key));
  if (!valueBytes) return fail(texts::CannotHoldTextReason(value));
  const QByteArrayView sectionName = Trimmed(*sectionBytes);
  const QByteArrayView keyName = Trimmed(*keyBytes);
  // Anything that would read back as a different line, section or key is refused.
  if (sectionName.isEmpty() || HasLineBreakOrNul(sectionName) || sectionName.contains(']') ||
      keyName.isEmpty() || HasLineBreakOrNul(keyName) || keyName.contains('=') ||
      keyName.front() == '[' || keyName.front() == ';')
    return fail(texts::CannotHoldTextReason(section + QLatin1Char('/') + key));
  if (HasLineBreakOrNul(*valueBytes)) return fail(texts::CannotHoldTextReason(value));

  // Its lock file's name (NUL.lock, COM1.ini.lock) would reach the same device.
  if (files::NamesDevice(path)) return fail(texts::DeviceNameReason());
  // Another program's update between our read and our replace would be lost without this.
  const QString lockPath = path + QStringLiteral(".lock");
  const QString lockName = QDir::toNativeSeparators(lockPath);
  const QFileInfo lockInfo(lockPath);
  // QLockFile reads a lock file it finds to tell whether it is stale: a FIFO would hang it.
  if (lockInfo.isSymLink() || (lockInfo.exists() && !lockInfo.isFile()))
    return fail(texts::LockFileNotRegularReason(lockName));
  QLockFile lock(lockPath);
  lock.setStaleLockTime(kStaleLockMs);
  // Where no lock file can be made (a folder in which only the file itself may be written),
  // no other program can make one either, and the write goes on without.
  if (!lock.tryLock(kLockWaitMs) && lock.error() == QLockFile::LockFailedError)
    return fail(texts::SettingsLockedReason(lockName));

  const QString why = Rewrite(path, sectionName, keyName, *valueBytes);
  return why.isEmpty() || fail(why);
}

QString ReadIniValue(const QString& fileName, const QString& section, const QString& key) {
  return ReadProfileString(IniPath(fileName), section, key);
}

bool WriteIniValue(const QString& fileName, const QString& section, const QString& key,
                   const QString& value, QString* problem) {
  return WriteProfileString(IniPath(fileName), section, key, value, problem);
}

}  // namespace kestrel::ArchivoIni
