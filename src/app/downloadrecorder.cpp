#include "app/downloadrecorder.h"

#include <QFileInfo>

#include "app/station.h"
#include "settings/recentfiles.h"

namespace kestrel {

DownloadRecorder::DownloadRecorder(LogoTransfer& transfer, const PortConnection& connection,
                                   const QString& logPath, QObject* parent)
    : QObject(parent), connection_(connection), log_(logPath), operator_(LoginName()) {
  connect(&transfer, &LogoTransfer::ended, this, &DownloadRecorder::record);
}

void DownloadRecorder::setPicture(const QString& path, bool remember) {
  picture_ = QFileInfo(path).absoluteFilePath();
  if (remember) RememberFile(path);
}

void DownloadRecorder::record(const TransferOutcome& outcome) {
  DownloadRecord record;
  record.time = outcome.pressed;
  record.comNumber = connection_.state().comNumber();
  // The device the download went to, or tried; else the one the port in force stands for.
  record.device = outcome.device.isEmpty() ? connection_.deviceInForce() : outcome.device;
  record.picture = picture_;
  record.checksum = outcome.logoChecksum;
  record.frames = outcome.framesSent;
  record.durationMs = outcome.durationMs;
  record.result = outcome.result;
  record.station = StationName();
  record.operatorName = operator_;
  record.version = LoaderVersion();
  logProblem_ = log_.append(record);
  Q_EMIT recorded(record);
}

}  // namespace kestrel
