#include "app/downloadlog.h"

#include <QDir>

#include "files/fileaccess.h"
#include "settings/programfolder.h"

namespace kestrel {

namespace {

QByteArray CsvField(const QString& text) {
  QByteArray bytes = text.toUtf8();
  if (bytes.contains(',') || bytes.contains('"') || bytes.contains('\r') || bytes.contains('\n')) {
    bytes.replace("\"", "\"\"");
    bytes = '"' + bytes + '"';
  }
  return bytes;
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
    case TransferResult::PortMissing:
      return QStringLiteral("port-missing");
    case TransferResult::PortOccupied:
      return QStringLiteral("port-occupied");
    case TransferResult::PortFailed:
      return QStringLiteral("port-failed");
  }
  return QStringLiteral("unknown");
}

QByteArray DownloadLogLine(const DownloadRecord& r) {
  const QDateTime time = r.time.toOffsetFromUtc(r.time.offsetFromUtc());
  const QByteArrayList fields{
      CsvField(time.toString(Qt::ISODate)),
      r.comNumber > 0 ? QByteArray::number(r.comNumber) : QByteArray(),
      CsvField(r.device),
      CsvField(r.picture),
      LogoTransfer::ChecksumText(r.checksum).toLatin1(),
      QByteArray::number(r.frames),
      QByteArray::number(r.durationMs),
      ResultWord(r.result).toLatin1(),
  };
  return fields.join(',') + "\r\n";
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
    QByteArray bytes = DownloadLogLine(record);
    if (log.size() == 0) bytes.prepend(kDownloadLogHeader);
    // One write, so lines of loaders appending at once do not interleave.
    if (log.write(bytes) == bytes.size()) return {};
    reason = log.errorString();
  }
  if (reported_) return {};
  reported_ = true;
  return QStringLiteral("The download log \"%1\" cannot be written: %2")
      .arg(QDir::toNativeSeparators(file), reason);
}

}  // namespace kestrel
