#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QDateTime>
#include <QFile>
#include <QJsonObject>
#include <QString>
#include <cstdint>

#include "app/logotransfer.h"

namespace kestrel {

inline constexpr char kDownloadLogName[] = "kestrel-loads.log";

// One download as the log keeps it.
struct DownloadRecord {
  QDateTime time;     // when Send was pressed
  int comNumber = 0;  // 0 when the device was named directly and no COM number stands for it
  QString device;     // the device the COM number resolved to, or the one named
  QString picture;    // the file the logo came from
  uint16_t checksum = 0;
  int frames = 0;
  qint64 durationMs = 0;
  TransferResult result = TransferResult::Loaded;
  QString station;       // the computer's host name
  QString operatorName;  // who ran the download
  QString version;       // the loader's own version
};

// A stable word for each result, as the log writes it: loaded, not-acknowledged, ...
QString ResultWord(TransferResult result);

// CSV (RFC 4180), one line per download, UTF-8; the header names the fields. Columns are only
// ever added at the end, so a reader of the older ones keeps working.
inline constexpr char kDownloadLogHeader[] =
    "time,com,device,picture,checksum,frames,duration_ms,result,station,operator,version\r\n";
// The line in the columns named (a log's own header, without its line break); all of them when
// none are named. A column this program does not know stays empty.
QByteArray DownloadLogLine(const DownloadRecord& record, const QByteArrayList& columns = {});
// The same fields under the header's names, for a program to read: a text or a number each,
// null where the line leaves the field empty.
QJsonObject DownloadLogFields(const DownloadRecord& record);

// The download log every loader appends to: kestrel-loads.log in the settings folder, or a
// file of the user's choice. Only a regular file (or a new one) is ever written; a FIFO, a
// device or a link is refused without being opened for writing, so an append never blocks.
class DownloadLog {
 public:
  explicit DownloadLog(QString path = {});  // empty: the default, looked up at each append

  static QString DefaultPath();
  QString path() const;

  // Appends the record, and the header first when the file is new or empty. A log begun with
  // fewer columns (an older loader's) goes on with its own, so every row matches its header.
  // A log that cannot be written never stops anything: the reason is returned the first time
  // only, empty otherwise.
  QString append(const DownloadRecord& record);

 private:
  QString path_;
  bool reported_ = false;
};

}  // namespace kestrel
