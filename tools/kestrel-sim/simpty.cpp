#include "simpty.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <optional>

#include "files/fileaccess.h"

namespace kestrel::sim {

namespace {
QString ErrnoText(const char* what) {
  return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(strerror(errno)));
}

constexpr qint64 kNsPerMs = 1000000;
// Waits shorter than this block in ppoll with a nanosecond deadline; longer ones go through a
// millisecond event-loop timer first, which wakes us with less than this left.
constexpr qint64 kFinalWaitNs = 2 * kNsPerMs;

// Where a simulator notes the link it made: its process and the link's target, in a hidden file
// beside the link. A link is the simulator's only while such a note names it.
QString LinkRecordPath(const QString& linkPath) {
  const QFileInfo link(linkPath);
  return link.dir().filePath(QLatin1Char('.') + link.fileName() + QStringLiteral(".kestrel-sim"));
}

struct LinkRecord {
  qint64 pid = 0;
  QString target;
};

std::optional<LinkRecord> ReadLinkRecord(const QString& linkPath) {
  QFile file;
  if (!files::OpenRegularFile(file, LinkRecordPath(linkPath)).opened()) return std::nullopt;
  const QList<QByteArray> lines = file.read(4096).split('\n');
  bool ok = false;
  const qint64 pid = lines.size() >= 2 ? lines[0].toLongLong(&ok) : 0;
  if (!ok || pid <= 0) return std::nullopt;
  return LinkRecord{pid, QFile::decodeName(lines[1])};
}

bool ProcessRuns(qint64 pid) { return ::kill(pid_t(pid), 0) == 0 || errno == EPERM; }

}  // namespace

bool PtyPair::open(QString* error) {
  close();
  const auto fail = [&](const char* what) {
    if (error) *error = ErrnoText(what);
    close();
    return false;
  };
  master_ = posix_openpt(O_RDWR | O_NOCTTY);
  if (master_ < 0) return fail("posix_openpt");
  fcntl(master_, F_SETFD, FD_CLOEXEC);
  if (grantpt(master_) != 0) return fail("grantpt");
  if (unlockpt(master_) != 0) return fail("unlockpt");
  char name[256] = {};
  if (ptsname_r(master_, name, sizeof name) != 0) return fail("ptsname");
  slavePath_ = QString::fromLocal8Bit(name);
  slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave_ < 0) return fail("open slave");
  termios tio{};
  if (tcgetattr(slave_, &tio) != 0) return fail("tcgetattr");
  cfmakeraw(&tio);
  if (tcsetattr(slave_, TCSANOW, &tio) != 0) return fail("tcsetattr");
  const int flags = fcntl(master_, F_GETFL);
  if (flags < 0 || fcntl(master_, F_SETFL, flags | O_NONBLOCK) != 0) return fail("fcntl");
  return true;
}

void PtyPair::close() {
  if (slave_ >= 0) ::close(slave_);
  if (master_ >= 0) ::close(master_);
  slave_ = master_ = -1;
}

bool MakePortLink(const QString& linkPath, const QString& target, QString* error) {
  const auto fail = [error](const QString& text) {
    if (error) *error = text;
    return false;
  };
  const QFileInfo info(linkPath);
  if (info.isSymLink()) {
    // Only a link an earlier simulator made and left behind (killed, say) is replaced. A link
    // that leads nowhere may be an adapter's that is unplugged for now, one to a terminal may
    // be another program's: neither is touched.
    const QString current = info.symLinkTarget();
    const std::optional<LinkRecord> record = ReadLinkRecord(linkPath);
    if (!record || record->target != current)
      return fail(QStringLiteral("%1 leads to %2 and was not made by the simulator; it is left "
                                 "alone (remove it if it is no longer needed)")
                      .arg(linkPath, current));
    if (ProcessRuns(record->pid))
      return fail(QStringLiteral("%1 is in use by another simulator (process %2)")
                      .arg(linkPath)
                      .arg(record->pid));
    QFile::remove(linkPath);
  } else if (info.exists()) {
    return fail(QStringLiteral("%1 exists and is not a symbolic link").arg(linkPath));
  }
  // Made afresh: whatever had the note's name (a link to elsewhere, say) is not written through.
  const QString recordPath = LinkRecordPath(linkPath);
  QFile::remove(recordPath);
  if (const QString failed =
          files::SaveFile(recordPath, QByteArray::number(qint64(::getpid())) + '\n' +
                                          QFile::encodeName(target) + '\n');
      !failed.isEmpty())
    return fail(QStringLiteral("cannot write %1: %2").arg(recordPath, failed));
  if (::symlink(QFile::encodeName(target).constData(), QFile::encodeName(linkPath).constData()) !=
      0) {
    const QString why = ErrnoText("symlink");
    QFile::remove(recordPath);
    return fail(why);
  }
  return true;
}

void RemovePortLink(const QString& linkPath, const QString& target) {
  const QFileInfo info(linkPath);
  if (info.isSymLink() && info.symLinkTarget() == QFileInfo(target).absoluteFilePath())
    QFile::remove(linkPath);
  const std::optional<LinkRecord> record = ReadLinkRecord(linkPath);
  if (record && record->pid == ::getpid()) QFile::remove(LinkRecordPath(linkPath));
}

SimRunner::SimRunner(const SimOptions& options, QObject* parent)
    : QObject(parent), options_(options), device_(options.device), pacer_(options.baud) {
  timer_.setSingleShot(true);
  timer_.setTimerType(Qt::PreciseTimer);
  connect(&timer_, &QTimer::timeout, this, &SimRunner::runDue);
  clock_.start();
}

SimRunner::~SimRunner() { stop(); }

bool SimRunner::start(QString* error) {
  if (!pty_.open(error)) return false;
  if (!options_.linkPath.isEmpty()) {
    if (!MakePortLink(options_.linkPath, pty_.slavePath(), error)) {
      pty_.close();
      return false;
    }
    linked_ = true;
  }
#ifdef __linux__
  // The kernel may otherwise let a timed wait run 50 us late, a byte and a half at 115200.
  prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
#endif
  stopped_ = false;
  notifier_ = std::make_unique<QSocketNotifier>(pty_.masterFd(), QSocketNotifier::Read);
  connect(notifier_.get(), &QSocketNotifier::activated, this, &SimRunner::onReadable);
  return true;
}

void SimRunner::stop() {
  stopped_ = true;
  queue_.clear();
  held_.clear();
  timer_.stop();
  notifier_.reset();
  if (linked_) RemovePortLink(options_.linkPath, pty_.slavePath());
  linked_ = false;
  pty_.close();
}

// Only queued: what runs now could wait, and input read during that wait would be taken in
// before the rest of the bytes whose handling queued it.
void SimRunner::schedule(qint64 dueNs, std::function<void()> action) {
  if (!stopped_) queue_.emplace(dueNs, std::move(action));
}

// Due times are absolute, so a late wake-up shortens the next wait instead of adding up.
void SimRunner::runDue() {
  if (running_) return;
  running_ = true;
  timer_.stop();
  while (!stopped_ && !queue_.empty()) {
    const qint64 dueNs = queue_.begin()->first;
    const qint64 waitNs = dueNs - nowNs();
    if (waitNs > kFinalWaitNs) {
      timer_.start(int(std::min<qint64>((waitNs - kFinalWaitNs) / kNsPerMs + 1,
                                        std::numeric_limits<int>::max())));
      break;
    }
    if (waitNs > 0) {
      waitShort(dueNs);
      continue;  // input read meanwhile may have queued something sooner
    }
    auto action = std::move(queue_.begin()->second);
    queue_.erase(queue_.begin());
    action();
  }
  running_ = false;
}

// Blocks (no spinning) until dueNs, or until bytes arrive: those are taken in at once, so
// their time on the line is counted from when they came.
void SimRunner::waitShort(qint64 dueNs) {
  bool hungUp = false;  // then only sleep; the event loop deals with the terminal later
  for (;;) {
    const qint64 leftNs = dueNs - nowNs();
    if (leftNs <= 0 || stopped_) return;
    const bool watchInput = !hungUp && pty_.isOpen() && notifier_ && notifier_->isEnabled();
    pollfd input{watchInput ? pty_.masterFd() : -1, POLLIN, 0};
    const timespec timeout{time_t(leftNs / 1000000000), long(leftNs % 1000000000)};
    if (::ppoll(&input, 1, &timeout, nullptr) <= 0) continue;  // time up, or a signal
    if (input.revents & POLLIN) {
      onReadable();
      return;
    }
    hungUp = true;
  }
}

void SimRunner::onReadable() {
  char buffer[4096];
  const ssize_t n = ::read(pty_.masterFd(), buffer, sizeof buffer);
  if (n < 0) {
    if (errno == EAGAIN || errno == EINTR) return;
    // No slave end open (cannot happen while we hold one); do not spin on it.
    notifier_->setEnabled(false);
    QTimer::singleShot(100, this, [this] {
      if (notifier_) notifier_->setEnabled(true);
    });
    return;
  }
  const QByteArray bytes(buffer, int(n));
  const qint64 seenNs = nowNs();
  if (!pacer_.paced()) {
    process(bytes, seenNs);
  } else {
    // Paced: every frame is seen when its last byte would have arrived on the line.
    qsizetype from = 0;
    while (from < bytes.size()) {
      qsizetype cr = bytes.indexOf('\r', from);
      const qsizetype end = cr < 0 ? bytes.size() : cr + 1;
      const QByteArray piece = bytes.mid(from, end - from);
      const qint64 arrivedNs = pacer_.inboundDone(seenNs, piece.size());
      schedule(arrivedNs, [this, piece, arrivedNs] { process(piece, arrivedNs); });
      from = end;
    }
  }
  runDue();
}

void SimRunner::process(const QByteArray& bytes, qint64 atNs) {
  if (unplugging_) return;  // the device is already gone for the other side
  const QList<FrameResult> results = device_.feed(bytes);
  for (const QString& line : device_.takeReports()) Q_EMIT report(line);
  // By this long after the last piece is off the line, the adapter has passed everything on.
  const qint64 adapterNs = qint64(options_.adapterLatencyMs) * kNsPerMs;
  for (const FrameResult& r : results) {
    qint64 readyNs = atNs + qint64(options_.delayMs) * kNsPerMs;
    qint64 lastDue = atNs;
    if (!r.answer.isEmpty()) {
      QList<QByteArray> pieces;
      if (options_.split && r.answer.size() > 1)
        pieces = {r.answer.left(1), r.answer.mid(1)};
      else
        pieces = {r.answer};
      for (const QByteArray& piece : pieces) {
        // Written when its last byte would be through, which is when the loader can act on it.
        const qint64 at = pacer_.outboundDone(readyNs, piece.size());
        schedule(at, [this, piece, at] { deliver(piece, at); });
        lastDue = at;
        readyNs = at + qint64(kSplitGapMs) * kNsPerMs;
      }
    }
    if (r.downloadComplete && !options_.savePath.isEmpty()) {
      QString error;
      if (SaveLogoPicture(device_.logo(), options_.savePath, &error))
        Q_EMIT report(QStringLiteral("logo saved to %1").arg(options_.savePath));
      else
        Q_EMIT report(error);
    }
    if (options_.unplugAfter > 0 && r.frameNumber == options_.unplugAfter) {
      const int frame = r.frameNumber;
      unplugging_ = true;
      // A moment after the answer, as a hand pulling the plug would: a hang-up discards
      // what the other side has not read yet.
      schedule(lastDue + adapterNs + qint64(kUnplugGraceMs) * kNsPerMs,
               [this, frame] { unplug(frame); });
      return;
    }
    if (r.downloadComplete && options_.downloads > 0 &&
        device_.completedDownloads() >= options_.downloads) {
      schedule(lastDue + adapterNs + qint64(kFinishGraceMs) * kNsPerMs, [this] { finish(0); });
      return;
    }
  }
}

// The first byte into an empty buffer starts the latency timer; when it runs out, or the buffer
// is full, everything held goes out in one piece.
void SimRunner::deliver(const QByteArray& bytes, qint64 atNs) {
  if (options_.adapterLatencyMs <= 0) {
    writeNow(bytes);
    return;
  }
  for (qsizetype from = 0; from < bytes.size();) {
    const bool starts = held_.isEmpty();
    const qsizetype take = std::min(bytes.size() - from, kAdapterBufferBytes - held_.size());
    held_ += bytes.mid(from, take);
    from += take;
    if (held_.size() == kAdapterBufferBytes) {
      releaseHeld();
    } else if (starts) {
      const quint64 hold = ++holdCount_;
      schedule(atNs + qint64(options_.adapterLatencyMs) * kNsPerMs, [this, hold] {
        if (hold == holdCount_) releaseHeld();
      });
    }
  }
}

void SimRunner::releaseHeld() {
  if (held_.isEmpty()) return;
  writeNow(held_);
  held_.clear();
}

void SimRunner::writeNow(const QByteArray& bytes) {
  if (!pty_.isOpen()) return;
  const ssize_t n = ::write(pty_.masterFd(), bytes.constData(), size_t(bytes.size()));
  if (n != bytes.size())
    Q_EMIT report(QStringLiteral("line full: %1 of %2 bytes not sent")
                      .arg(bytes.size() - std::max<ssize_t>(n, 0))
                      .arg(bytes.size()));
}

void SimRunner::unplug(int frame) {
  Q_EMIT report(QStringLiteral("unplugged after frame %1").arg(frame));
  finish(0);
}

void SimRunner::finish(int exitCode) {
  stop();
  Q_EMIT finished(exitCode);
}

}  // namespace kestrel::sim
