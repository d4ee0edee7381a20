#include "app/downloadlog.h"

#include <QDir>
#include <QJsonValue>
#include <iterator>

#include "files/fileaccess.h"
#include "settings/programfolder.h"
#include "texts/usertexts.h"

namespace kestrel {

namespace {

QByteArray CsvField(const QString& text) {
  QByteArray bytes = text.toUtf8();
  // A spreadsheet takes a field that starts so for a formula: a port or file name must not
  // run as one when the log is opened there.
  if (!bytes.isEmpty() && QByteArrayView("=+-@\t\r").contains(bytes.front())) bytes.prepend('\'');
  if (bytes.contains(',') || bytes.contains('"') || bytes.contains('\r') || bytes.contains('\n')) {
    bytes.replace("\"", "\"\"");
    bytes = '"' + bytes + '"';
  }
  return bytes;
}

// The last byte of a file of size bytes; a newline when it cannot be read (a log that may only
// be appended to), which leaves such a log as it always was.
char LastByte(const QString& path, qint64 size) {
  QFile file;
  char last = '\n';
  if (files::OpenRegularFile(file, path).opened() && file.seek(size - 1)) file.getChar(&last);
  return last;
}

// The fields' names, as the header line gives them.
const QByteArrayList& LogColumns() {
  static const QByteArrayList names = QByteArray(kDownloadLogHeader).trimmed().split(',');
  return names;
}

// The columns an existing log's header names; none (all of ours) when its first line is no
// header of ours: a file begun by hand or by some other program.
QByteArrayList ColumnsOfLog(const QString& path) {
  QFile file;
  if (!files::OpenRegularFile(file, path).opened()) return {};
  constexpr qint64 kLongestHeader = 1024;
  const QByteArray line = file.readLine(kLongestHeader);
  if (!line.endsWith('\n')) return {};
  const QByteArrayList names = line.trimmed().split(',');
  return names.front() == LogColumns().front() ? names : QByteArrayList{};
}

}  // namespace

QString ResultWord(TransferResult result) {
  switch (result) {
    case TransferResult::NotSent:
      return QStringLiteral("not-sent");
    case TransferResult::Loaded:
      return QStringLiteral("loaded");
    case TransferResult::NotAcknowledged:
      return QStringLiteral("not-acknowledged");
    case TransferResult::LogoInfoNotAnswered:
      return QStringLiteral("logo-info-not-answered");
    case TransferResult::LogoInfoRefused:
      return QStringLiteral("logo-info-refused");
    case TransferResult::Interrupted:
      return QStringLiteral("interrupted");
    case TransferResult::PortMissing:
      return QStringLiteral("port-missing");
    case TransferResult::PortOccupied:
      return QStringLiteral("port-occupied");
    case TransferResult::PortFailed:
      return QStringLiteral("port-failed");
  }
  return QStringLiteral("unknown");
}

QJsonObject DownloadLogFields(const DownloadRecord& r) {
  const QDateTime time = r.time.toOffsetFromUtc(r.time.offsetFromUtc());
  const QJsonValue values[] = {
      time.toString(Qt::ISODate),
      r.comNumber > 0 ? QJsonValue(r.comNumber) : QJsonValue(),
      r.device,
      r.picture,
      ChecksumText(r.checksum),
      r.frames,
      r.durationMs,
      ResultWord(r.result),
      r.station,
      r.operatorName,
      r.version,
  };
  const QByteArrayList& names = LogColumns();
  Q_ASSERT(names.size() == std::ssize(values));
  QJsonObject fields;
  for (qsizetype i = 0; i < names.size(); ++i) fields.insert(QLatin1String(names[i]), values[i]);
  return fields;
}

QByteArray DownloadLogLine(const DownloadRecord& r, const QByteArrayList& columns) {
  const QJsonObject fields = DownloadLogFields(r);
  QByteArrayList line;
  for (const QByteArray& name : columns.isEmpty() ? LogColumns() : columns) {
    const QJsonValue value = fields.value(QLatin1String(name));
    line << (value.isString()   ? CsvField(value.toString())
             : value.isDouble() ? QByteArray::number(value.toInteger())
                                : QByteArray());  // null, or a column not known here
  }
  return line.join(',') + "\r\n";
}

DownloadLog::DownloadLog(QString path) : path_(std::move(path)) {}

QString DownloadLog::DefaultPath() {
  return QDir(SettingsFolder()).filePath(QString::fromLatin1(kDownloadLogName));
}

QString DownloadLog::path() const { return path_.isEmpty() ? DefaultPath() : path_; }

QString DownloadLog::append(const DownloadRecord& record) {
  const QString file = path();
  QFile log;
  const files::OpenResult opened = files::OpenForAppend(log, file);
  QString reason = opened.error;
  if (opened.opened()) {
    const qint64 oldSize = log.size();
    QByteArray bytes = DownloadLogLine(record, oldSize > 0 ? ColumnsOfLog(file) : QByteArrayList{});
    if (oldSize == 0)
      bytes.prepend(kDownloadLogHeader);
    else if (const char last = LastByte(file, oldSize); last != '\n')
      bytes.prepend(last == '\r' ? "\n" : "\r\n");  // a row cut short elsewhere stays alone
    // One write, so lines of loaders appending at once do not interleave.
    qint64 written = log.write(bytes);
    // A short write (a full disk) sets no error; the rest, tried once more, names the reason.
    if (written >= 0 && written < bytes.size()) {
      const qint64 more = log.write(bytes.constData() + written, bytes.size() - written);
      written = more < 0 ? more : written + more;
    }
    if (written == bytes.size()) return {};
    reason = log.errorString();
    log.resize(oldSize);  // no half row for the next one to be glued to
  }
  if (reported_) return {};
  reported_ = true;
  return texts::DownloadLogNotWrittenMessage(QDir::toNativeSeparators(file), reason);
}

}  // namespace kestrel
