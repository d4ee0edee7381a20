// POSIX terminal: isatty, a self-pipe woken by the signal handler, a notifier on stdin.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>

#include "cli/terminal.h"

namespace kestrel::cli {

namespace {

int wakePipe[2] = {-1, -1};

// Only async-signal-safe calls here: one byte into the pipe, handlers back to the default.
void OnSignal(int) {
  const int saved = errno;
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = ::write(wakePipe[1], &byte, 1);
  ::signal(SIGINT, SIG_DFL);
  ::signal(SIGTERM, SIG_DFL);
  errno = saved;
}

QSocketNotifier* interruptNotifier = nullptr;

}  // namespace

bool StandardErrorIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }
bool StandardInputIsTerminal() { return ::isatty(STDIN_FILENO) == 1; }

InterruptWatcher::InterruptWatcher(QObject* parent) : QObject(parent) {
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
  action.sa_flags = SA_RESTART;
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
}

InterruptWatcher::~InterruptWatcher() {
  ::signal(SIGINT, SIG_DFL);
  ::signal(SIGTERM, SIG_DFL);
  delete interruptNotifier;
  interruptNotifier = nullptr;
  for (int& fd : wakePipe) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
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
