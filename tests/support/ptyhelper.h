#pragma once

#include <termios.h>

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QtTest/QTest>

#include "simpty.h"
#include "tempfolder.h"

namespace kestrel::test {

// Pseudo-terminal helpers, for the tests built on Unix only.

// Whether this system can make pseudo-terminals (a container may have none); *why says what
// is missing when not.
bool PtyAvailable(QString* why = nullptr);

// Skips the whole test (from initTestCase) where there are no pseudo-terminals.
#define KESTREL_REQUIRE_PTY()                                                  \
  do {                                                                         \
    QString kestrelWhy_;                                                       \
    if (!::kestrel::test::PtyAvailable(&kestrelWhy_))                          \
      QSKIP(qPrintable(QStringLiteral("no pseudo-terminal: ") + kestrelWhy_)); \
  } while (false)

// The device simulator program (KESTREL_BIN_DIR/kestrel-sim) on its own pseudo-terminal.
// Waits happen in the event loop, so the code under test keeps running meanwhile.
class SimProcess {
 public:
  SimProcess();
  ~SimProcess();  // ends the simulator if it still runs
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  static QString program();

  // Starts the simulator and waits for the first line: the terminal's path (or, with
  // --hold, "held PATH"). False with a reason when it did not come up.
  bool start(const QStringList& arguments, QString* why = nullptr);
  QString slavePath() const { return firstLine_; }
  QString firstLine() const { return firstLine_; }

  // Everything the simulator wrote on stderr so far.
  QString reports();
  // Waits for a report line containing text.
  bool waitForReport(const QString& text, int timeoutMs = 5000);

  bool waitForExit(int timeoutMs = 5000);
  void terminate();  // SIGTERM, then waits for the end
  bool running() const { return process_.state() != QProcess::NotRunning; }
  int exitCode() const { return process_.exitCode(); }
  qint64 pid() const { return process_.processId(); }

 private:
  QProcess process_;
  QString firstLine_;
  QByteArray stderr_;
};

// A plain client of a terminal device (raw mode, no Qt serial layer), for tests that check
// the simulator itself byte for byte.
class PtyClient {
 public:
  PtyClient() = default;
  ~PtyClient() { close(); }
  PtyClient(const PtyClient&) = delete;
  PtyClient& operator=(const PtyClient&) = delete;

  bool open(const QString& path);
  void close();
  bool isOpen() const { return fd_ >= 0; }
  bool write(const QByteArray& bytes);
  // Waits in the event loop until `count` bytes have arrived or the time is up; returns what
  // arrived (possibly less). Each read is kept as one piece in *pieces when given.
  QByteArray read(int count, int timeoutMs, QList<QByteArray>* pieces = nullptr);
  // True when the other side has gone (end of file or an error on read).
  bool hungUp() const { return hungUp_; }

 private:
  int fd_ = -1;
  bool hungUp_ = false;
};

// A terminal the test plays the device on, linked as COM<port> in a program folder.
class DevicePty {
 public:
  bool open(TempProgramFolder& folder, int port);
  const QString& slavePath() const { return pty_.slavePath(); }
  // What the device side writes; fails the running test when the write falls short.
  void send(const QByteArray& bytes);
  // Waits in the event loop until count bytes have come from the program, or the time is up.
  QByteArray receive(int count, int timeoutMs = 5000);
  speed_t speed() const;  // the line speed the program set

 private:
  sim::PtyPair pty_;
};

}  // namespace kestrel::test
