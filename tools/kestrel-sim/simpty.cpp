#include "simpty.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <cerrno>
#include <cstring>

namespace kestrel::sim {

namespace {
QString ErrnoText(const char* what) {
  return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(strerror(errno)));
}
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
  const QFileInfo info(linkPath);
  if (info.isSymLink()) {
    QFile::remove(linkPath);  // left behind by an earlier run
  } else if (info.exists()) {
    if (error) *error = QStringLiteral("%1 exists and is not a symbolic link").arg(linkPath);
    return false;
  }
  if (::symlink(QFile::encodeName(target).constData(), QFile::encodeName(linkPath).constData()) !=
      0) {
    if (error) *error = ErrnoText("symlink");
    return false;
  }
  return true;
}

void RemovePortLink(const QString& linkPath, const QString& target) {
  const QFileInfo info(linkPath);
  if (info.isSymLink() && info.symLinkTarget() == QFileInfo(target).absoluteFilePath())
    QFile::remove(linkPath);
}

SimRunner::SimRunner(const SimOptions& options, QObject* parent)
    : QObject(parent), options_(options), device_(options.device) {
  timer_.setSingleShot(true);
  timer_.setTimerType(Qt::PreciseTimer);
  connect(&timer_, &QTimer::timeout, this, &SimRunner::runDue);
  if (options_.baud > 0) byteNs_ = qint64(10) * 1000000000 / options_.baud;
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
  stopped_ = false;
  notifier_ = std::make_unique<QSocketNotifier>(pty_.masterFd(), QSocketNotifier::Read);
  connect(notifier_.get(), &QSocketNotifier::activated, this, &SimRunner::onReadable);
  return true;
}

void SimRunner::stop() {
  stopped_ = true;
  queue_.clear();
  timer_.stop();
  notifier_.reset();
  if (linked_) RemovePortLink(options_.linkPath, pty_.slavePath());
  linked_ = false;
  pty_.close();
}

void SimRunner::schedule(qint64 dueNs, std::function<void()> action) {
  if (stopped_) return;
  if (queue_.empty() && dueNs <= nowNs()) {
    action();
    return;
  }
  queue_.emplace(dueNs, std::move(action));
  runDue();
}

void SimRunner::runDue() {
  while (!stopped_ && !queue_.empty() && queue_.begin()->first <= nowNs()) {
    auto action = std::move(queue_.begin()->second);
    queue_.erase(queue_.begin());
    action();
  }
  if (stopped_ || queue_.empty()) {
    timer_.stop();
    return;
  }
  const qint64 waitNs = queue_.begin()->first - nowNs();
  timer_.start(int((waitNs + 999999) / 1000000));
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
  if (byteNs_ == 0) {
    process(bytes);
    return;
  }
  // Paced: every frame is seen when its last byte would have arrived on the line.
  qsizetype from = 0;
  while (from < bytes.size()) {
    qsizetype cr = bytes.indexOf('\r', from);
    const qsizetype end = cr < 0 ? bytes.size() : cr + 1;
    const QByteArray piece = bytes.mid(from, end - from);
    inFreeNs_ = std::max(inFreeNs_, nowNs()) + piece.size() * byteNs_;
    schedule(inFreeNs_, [this, piece] { process(piece); });
    from = end;
  }
}

void SimRunner::process(const QByteArray& bytes) {
  if (unplugging_) return;  // the device is already gone for the other side
  const QList<FrameResult> results = device_.feed(bytes);
  for (const QString& line : device_.takeReports()) Q_EMIT report(line);
  for (const FrameResult& r : results) {
    qint64 due = nowNs() + qint64(options_.delayMs) * 1000000;
    qint64 lastDue = nowNs();
    if (!r.answer.isEmpty()) {
      QList<QByteArray> pieces;
      if (options_.split && r.answer.size() > 1)
        pieces = {r.answer.left(1), r.answer.mid(1)};
      else
        pieces = {r.answer};
      for (const QByteArray& piece : pieces) {
        qint64 at = due;
        if (byteNs_ > 0) at = outFreeNs_ = std::max(outFreeNs_, due) + piece.size() * byteNs_;
        schedule(at, [this, piece] { writeNow(piece); });
        lastDue = at;
        due = at + qint64(kSplitGapMs) * 1000000;
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
      schedule(lastDue + qint64(kUnplugGraceMs) * 1000000, [this, frame] { unplug(frame); });
      return;
    }
    if (r.downloadComplete && options_.downloads > 0 &&
        device_.completedDownloads() >= options_.downloads) {
      schedule(lastDue, [this] { finish(0); });
      return;
    }
  }
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
