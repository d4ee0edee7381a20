#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>

#include "linepacer.h"
#include "simdevice.h"
#include "simoptions.h"

class QSocketNotifier;

namespace kestrel::sim {

// A pseudo-terminal in raw mode. The simulator keeps the slave side open as well, so the
// terminal survives the loader closing and reopening its end.
class PtyPair {
 public:
  PtyPair() = default;
  ~PtyPair() { close(); }
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  bool open(QString* error);
  void close();
  bool isOpen() const { return master_ >= 0; }
  int masterFd() const { return master_; }
  const QString& slavePath() const { return slavePath_; }

 private:
  int master_ = -1;
  int slave_ = -1;
  QString slavePath_;
};

// Symbolic link to the slave side, made for a run and removed only if it still points there.
// Noted beside the link, so that a later run replaces it only if a simulator made it and that
// simulator has gone; any other link at that place is refused and left as it is.
bool MakePortLink(const QString& linkPath, const QString& target, QString* error);
void RemovePortLink(const QString& linkPath, const QString& target);

// Runs a SimDevice on a pseudo-terminal with the timing faults of the options: answer delay,
// split answers, line pacing, an adapter's latency timer, unplugging, and the end after a number
// of downloads.
class SimRunner : public QObject {
  Q_OBJECT

 public:
  explicit SimRunner(const SimOptions& options, QObject* parent = nullptr);
  ~SimRunner() override;

  bool start(QString* error);  // opens the terminal and makes the link
  void stop();                 // closes the terminal and removes the link; idempotent
  QString slavePath() const { return pty_.slavePath(); }
  SimDevice& device() { return device_; }

 Q_SIGNALS:
  void report(const QString& line);
  void finished(int exitCode);

 private:
  qint64 nowNs() const { return clock_.nsecsElapsed(); }
  void schedule(qint64 dueNs, std::function<void()> action);
  void runDue();
  void waitShort(qint64 dueNs);
  void onReadable();
  // atNs: when the frame is complete at the device, which is when its answer may start.
  void process(const QByteArray& bytes, qint64 atNs);
  // Answer bytes off the line at atNs: through the adapter's buffer, if there is one.
  void deliver(const QByteArray& bytes, qint64 atNs);
  void releaseHeld();
  void writeNow(const QByteArray& bytes);
  void unplug(int frame);
  void finish(int exitCode);

  SimOptions options_;
  SimDevice device_;
  PtyPair pty_;
  std::unique_ptr<QSocketNotifier> notifier_;
  QElapsedTimer clock_;
  QTimer timer_;
  std::multimap<qint64, std::function<void()>> queue_;
  LinePacer pacer_;
  bool stopped_ = true;
  bool running_ = false;  // inside runDue: what gets scheduled now waits for its loop
  bool linked_ = false;
  bool unplugging_ = false;  // frames after the last one before the unplug go unread
  QByteArray held_;          // answer bytes in the adapter, not yet passed to the loader
  quint64 holdCount_ = 0;    // numbers each hold, so a full buffer's release voids its timer
};

}  // namespace kestrel::sim
