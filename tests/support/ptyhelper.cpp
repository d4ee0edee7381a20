#include "ptyhelper.h"

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QSignalSpy>
#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>

namespace kestrel::test {

namespace {
// Runs the event loop until the process says something (on either stream), ends, or the
// deadline passes.
void WaitForActivity(QProcess& process, const QDeadlineTimer& deadline) {
  if (process.state() == QProcess::NotRunning || deadline.hasExpired()) return;
  QEventLoop loop;
  QObject::connect(&process, &QProcess::readyReadStandardOutput, &loop, &QEventLoop::quit);
  QObject::connect(&process, &QProcess::readyReadStandardError, &loop, &QEventLoop::quit);
  QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
  QTimer::singleShot(int(std::max<qint64>(1, deadline.remainingTime())), &loop, &QEventLoop::quit);
  loop.exec();
}
}  // namespace

bool PtyAvailable(QString* why) {
  const int fd = posix_openpt(O_RDWR | O_NOCTTY);
  if (fd < 0) {
    if (why) *why = QStringLiteral("posix_openpt failed");
    return false;
  }
  const bool ok = grantpt(fd) == 0 && unlockpt(fd) == 0;
  ::close(fd);
  if (!ok && why) *why = QStringLiteral("grantpt/unlockpt failed");
  return ok;
}

SimProcess::SimProcess() {
  QObject::connect(&process_, &QProcess::readyReadStandardError, &process_,
                   [this] { stderr_ += process_.readAllStandardError(); });
}

SimProcess::~SimProcess() {
  if (running()) terminate();
}

QString SimProcess::program() { return QStringLiteral(KESTREL_BIN_DIR "/kestrel-sim"); }

bool SimProcess::start(const QStringList& arguments, QString* why) {
  const auto fail = [&](const QString& text) {
    if (why) *why = text + QStringLiteral(" / stderr: ") + QString::fromLocal8Bit(stderr_);
    if (running()) terminate();
    return false;
  };
  if (!QFile::exists(program())) return fail(QStringLiteral("%1 not built").arg(program()));
  process_.start(program(), arguments);
  if (!process_.waitForStarted(5000)) return fail(QStringLiteral("did not start"));
  QDeadlineTimer deadline(5000);
  while (!process_.canReadLine()) {
    if (!running() || deadline.hasExpired()) return fail(QStringLiteral("no first line"));
    WaitForActivity(process_, deadline);
  }
  firstLine_ = QString::fromLocal8Bit(process_.readLine()).trimmed();
  return true;
}

QString SimProcess::reports() {
  stderr_ += process_.readAllStandardError();
  return QString::fromLocal8Bit(stderr_);
}

bool SimProcess::waitForReport(const QString& text, int timeoutMs) {
  QDeadlineTimer deadline(timeoutMs);
  while (!reports().contains(text)) {
    if (deadline.hasExpired() || !running()) return reports().contains(text);
    WaitForActivity(process_, deadline);
  }
  return true;
}

bool SimProcess::waitForExit(int timeoutMs) {
  QDeadlineTimer deadline(timeoutMs);
  while (running() && !deadline.hasExpired()) WaitForActivity(process_, deadline);
  return !running();
}

void SimProcess::terminate() {
  if (!running()) return;
  process_.terminate();
  if (!waitForExit(5000)) {
    process_.kill();
    process_.waitForFinished(5000);
  }
  reports();
}

bool PtyClient::open(const QString& path) {
  close();
  fd_ = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) return false;
  termios tio{};
  if (tcgetattr(fd_, &tio) == 0) {
    cfmakeraw(&tio);
    tcsetattr(fd_, TCSANOW, &tio);
  }
  hungUp_ = false;
  return true;
}

void PtyClient::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool PtyClient::write(const QByteArray& bytes) {
  return fd_ >= 0 && ::write(fd_, bytes.constData(), size_t(bytes.size())) == bytes.size();
}

QByteArray PtyClient::read(int count, int timeoutMs, QList<QByteArray>* pieces) {
  QByteArray got;
  if (fd_ < 0) return got;
  QDeadlineTimer deadline(timeoutMs);
  QSocketNotifier notifier(fd_, QSocketNotifier::Read);
  QEventLoop loop;
  QObject::connect(&notifier, &QSocketNotifier::activated, &loop, [&] {
    char buffer[4096];
    const ssize_t n = ::read(fd_, buffer, sizeof buffer);
    if (n > 0) {
      got += QByteArray(buffer, int(n));
      if (pieces) *pieces << QByteArray(buffer, int(n));
    } else if (n == 0 || errno != EAGAIN) {
      hungUp_ = true;
      notifier.setEnabled(false);
      loop.quit();
    }
    if (got.size() >= count) loop.quit();
  });
  QTimer timer;
  timer.setSingleShot(true);
  QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
  timer.start(int(std::max<qint64>(0, deadline.remainingTime())));
  if (count > 0) loop.exec();
  return got;
}

bool DevicePty::open(TempProgramFolder& folder, int port) {
  QString error;
  return pty_.open(&error) && folder.linkPort(port, pty_.slavePath());
}

void DevicePty::send(const QByteArray& bytes) {
  QCOMPARE(::write(pty_.masterFd(), bytes.constData(), size_t(bytes.size())),
           ssize_t(bytes.size()));
}

QByteArray DevicePty::receive(int count, int timeoutMs) {
  QByteArray got;
  QDeadlineTimer deadline(timeoutMs);
  while (got.size() < count && !deadline.hasExpired()) {
    QSocketNotifier notifier(pty_.masterFd(), QSocketNotifier::Read);
    QSignalSpy ready(&notifier, &QSocketNotifier::activated);
    char buffer[256];
    const ssize_t n = ::read(pty_.masterFd(), buffer, sizeof buffer);
    if (n > 0) {
      got += QByteArray(buffer, int(n));
      continue;
    }
    ready.wait(int(std::max<qint64>(1, deadline.remainingTime())));
  }
  return got;
}

speed_t DevicePty::speed() const {
  termios tio{};
  tcgetattr(pty_.masterFd(), &tio);
  return cfgetospeed(&tio);
}

}  // namespace kestrel::test
