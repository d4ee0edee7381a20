#pragma once

#include <QObject>
#include <QString>

#include "app/downloadlog.h"
#include "app/logotransfer.h"
#include "app/portconnection.h"

namespace kestrel {

// The record of every download, for the window and the command line alike: a row in the
// download log as each ends, before anyone is told how it ended, and the picture sent
// remembered for the next file dialog.
class DownloadRecorder : public QObject {
  Q_OBJECT

 public:
  // logPath empty: the default log in the settings folder.
  DownloadRecorder(LogoTransfer& transfer, const PortConnection& connection,
                   const QString& logPath = {}, QObject* parent = nullptr);

  // The picture the next downloads send. remember: the next file dialog starts there too.
  void setPicture(const QString& path, bool remember);
  // Who the log names as running the downloads; the user's login name until set.
  void setOperator(const QString& name) { operator_ = name; }
  const DownloadLog& log() const { return log_; }
  // Why the last download's row could not be written; said once, empty otherwise.
  const QString& logProblem() const { return logProblem_; }

 Q_SIGNALS:
  void recorded(const kestrel::DownloadRecord& record);

 private:
  void record(const TransferOutcome& outcome);

  const PortConnection& connection_;
  DownloadLog log_;
  QString picture_;
  QString operator_;
  QString logProblem_;
};

}  // namespace kestrel
