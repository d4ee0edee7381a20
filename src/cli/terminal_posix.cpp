// POSIX terminal: the standard descriptors, isatty, a self-pipe woken by the signal handler, a
// notifier on stdin.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <array>
#include <cerrno>

#include "cli/terminal.h"

namespace kestrel::cli {

namespace {

int wakePipe[2] = {-1, -1};
volatile sig_atomic_t caughtSignal = 0;

constexpr std::array kWatchedSignals{SIGINT, SIGTERM, SIGHUP, SIGPIPE};
std::array<struct sigaction, kWatchedSignals.size()> previousActions{};

// Only async-signal-safe calls here: one byte into the pipe, then the dispositions that make a
// second request end the program and a closed pipe only fail the writes.
void OnSignal(int number) {
  const int saved = errno;
  caughtSignal = number;
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = ::write(wakePipe[1], &byte, 1);
  ::signal(SIGINT, SIG_DFL);
  ::signal(SIGTERM, SIG_DFL);
  ::signal(SIGHUP, SIG_DFL);
  ::signal(SIGPIPE, SIG_IGN);
  errno = saved;
}

QSocketNotifier* interruptNotifier = nullptr;

}  // namespace

void ReserveStandardStreams() {
  for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
    const int flags = ::fcntl(fd, F_GETFL);
    const bool closed = flags < 0 && errno == EBADF;
    const bool unreadableInput =
        flags >= 0 && fd == STDIN_FILENO && (flags & O_ACCMODE) == O_WRONLY;
    if (!closed && !unreadableInput) continue;
    // The lowest free number: fd itself when it was closed.
    const int null = ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
    if (null >= 0 && null != fd) {
      ::dup2(null, fd);
      ::close(null);
    }
  }
}

bool StandardErrorIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }
bool StandardInputIsTerminal() { return ::isatty(STDIN_FILENO) == 1; }

InterruptWatcher::InterruptWatcher(QObject* parent) : QObject(parent) {
  caughtSignal = 0;
  if (::pipe(wakePipe) != 0) return;
  for (int fd : wakePipe) {
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
  }
  interruptNotifier = new QSocketNotifier(wakePipe[0], QSocketNotifier::Read, this);
  connect(interruptNotifier, &QSocketNotifier::activated, this, [this] {
    char bytes[16];
    while (::read(wakePipe[0], bytes, sizeof bytes) > 0) {
    }
    Q_EMIT interrupted();
  });
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  for (const int number : kWatchedSignals) sigaddset(&action.sa_mask, number);
  action.sa_flags = SA_RESTART;
  for (size_t i = 0; i < kWatchedSignals.size(); ++i)
    ::sigaction(kWatchedSignals[i], &action, &previousActions[i]);
}

InterruptWatcher::~InterruptWatcher() {
  // Once interrupted the program is on its way out; output still waiting for a pipe nobody
  // reads must not end it before it returns its status.
  for (size_t i = 0; i < kWatchedSignals.size(); ++i)
    if (kWatchedSignals[i] != SIGPIPE || caughtSignal == 0)
      ::sigaction(kWatchedSignals[i], &previousActions[i], nullptr);
  delete interruptNotifier;
  interruptNotifier = nullptr;
  for (int& fd : wakePipe) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
}

int InterruptWatcher::signalNumber() const { return caughtSignal; }

QString InterruptWatcher::signalName() const {
  switch (caughtSignal) {
    case SIGINT:
      return QStringLiteral("SIGINT");
    case SIGTERM:
      return QStringLiteral("SIGTERM");
    case SIGHUP:
      return QStringLiteral("SIGHUP");
    case SIGPIPE:
      return QStringLiteral("SIGPIPE");
  }
  return {};
}

struct InputLines::Private {
  QSocketNotifier* notifier = nullptr;
};

InputLines::InputLines(QObject* parent) : QObject(parent), d_(new Private) {
  d_->notifier = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
  connect(d_->notifier, &QSocketNotifier::activated, this, [this] {
    char bytes[4096];
    const ssize_t n = ::read(STDIN_FILENO, bytes, sizeof bytes);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) return;
    if (n <= 0) {
      d_->notifier->setEnabled(false);
      Q_EMIT ended();
      return;
    }
    for (ssize_t i = 0; i < n; ++i)
      if (bytes[i] == '\n') Q_EMIT line();
  });
}

InputLines::~InputLines() { delete d_; }

}  // namespace kestrel::cli
