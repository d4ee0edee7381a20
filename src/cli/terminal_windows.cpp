// Windows console: the console modes, a console control handler, a thread reading stdin.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <QMetaObject>
#include <QPointer>
#include <atomic>
#include <cstdio>
#include <thread>

#include "cli/terminal.h"
#include "texts/usertexts.h"

namespace kestrel::cli {

namespace {

QPointer<InterruptWatcher> watcher;
std::atomic<bool> caught{false};
std::atomic<int> caughtSignal{0};  // as the C library numbers them: SIGINT 2, SIGTERM 15
// Set once the watcher is gone, that is once the work it guarded has ended. Never closed: the
// handler may still be waiting on it.
const HANDLE watchEnded = CreateEventW(nullptr, TRUE, FALSE, nullptr);
// Windows ends the process a few seconds after its console is closed, at the latest.
constexpr DWORD kCloseGraceMs = 4500;

// Runs on a thread of its own: it may only hand the event over to the event loop.
BOOL WINAPI OnConsoleControl(DWORD type) {
  if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT && type != CTRL_CLOSE_EVENT) return FALSE;
  if (caught.exchange(true)) return FALSE;
  caughtSignal = type == CTRL_CLOSE_EVENT ? 15 : 2;
  if (InterruptWatcher* target = watcher.data())
    QMetaObject::invokeMethod(target, &InterruptWatcher::interrupted, Qt::QueuedConnection);
  // A closed console ends the process as soon as this returns: first let the download under
  // way end and its line reach the log.
  if (type == CTRL_CLOSE_EVENT) WaitForSingleObject(watchEnded, kCloseGraceMs);
  return TRUE;
}

}  // namespace

// Files here are handles, never numbered in the place of a missing standard stream; a missing
// standard input reads as ended at once.
void ReserveStandardStreams() {}

// A console, not merely a character device: NUL is one too.
bool StandardErrorIsTerminal() {
  const HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode = 0;
  if (!GetConsoleMode(handle, &mode)) return false;
  // The progress bar clears its line with an escape sequence; a console that cannot take
  // one gets no progress bar.
  return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) ||
         SetConsoleMode(handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

bool StandardInputIsTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

InterruptWatcher::InterruptWatcher(QObject* parent) : QObject(parent) {
  watcher = this;
  caught = false;
  caughtSignal = 0;
  ResetEvent(watchEnded);
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

InterruptWatcher::~InterruptWatcher() {
  SetConsoleCtrlHandler(OnConsoleControl, FALSE);
  watcher = nullptr;
  SetEvent(watchEnded);
}

int InterruptWatcher::signalNumber() const { return caughtSignal; }

QString InterruptWatcher::signalName() const {
  switch (caughtSignal) {
    case 2:
      return QStringLiteral("Ctrl-C");
    case 15:
      return texts::ConsoleClosed();
  }
  return {};
}

struct InputLines::Private {};

// The reading thread blocks in the console; it is left to end with the process. It only
// queues signals, and stops queuing once the object is gone.
InputLines::InputLines(QObject* parent) : QObject(parent), d_(new Private) {
  QPointer<InputLines> self(this);
  std::thread([self] {
    int c;
    while ((c = std::getchar()) != EOF) {
      if (c == '\n' && self)
        QMetaObject::invokeMethod(self.data(), &InputLines::line, Qt::QueuedConnection);
    }
    if (self) QMetaObject::invokeMethod(self.data(), &InputLines::ended, Qt::QueuedConnection);
  }).detach();
}

InputLines::~InputLines() { delete d_; }

}  // namespace kestrel::cli
