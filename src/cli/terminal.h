#pragma once

#include <QObject>
#include <QString>

// What a command line needs from its terminal, kept apart by platform: whether a stream is a
// terminal, Ctrl-C as an event, and the lines typed on standard input as events. Each wakes
// the event loop; nothing polls.
namespace kestrel::cli {

// First thing in main, before anything opens a file: a standard stream that is closed, or a
// standard input that cannot be read, is given the null device. No file opened later can then
// take its number (and receive the program's messages, or be read as typed lines), and such an
// input simply ends.
void ReserveStandardStreams();

bool StandardErrorIsTerminal();
bool StandardInputIsTerminal();

// Ctrl-C, a termination request, a hang-up and output to a pipe nobody reads any more become
// interrupted(), delivered by the event loop. Only the first is caught: a second Ctrl-C,
// termination or hang-up ends the program the ordinary way, while output lost to a closed pipe
// only fails its writes from then on. One at a time.
class InterruptWatcher : public QObject {
  Q_OBJECT

 public:
  explicit InterruptWatcher(QObject* parent = nullptr);
  ~InterruptWatcher() override;

  // What was caught, once interrupted() came: the signal's number (128 + it is the exit
  // status that reports it) and its name.
  int signalNumber() const;
  QString signalName() const;

 Q_SIGNALS:
  void interrupted();
};

// Standard input, line by line: line() for each line ended, ended() once at its end.
class InputLines : public QObject {
  Q_OBJECT

 public:
  explicit InputLines(QObject* parent = nullptr);
  ~InputLines() override;

 Q_SIGNALS:
  void line();
  void ended();

 private:
  struct Private;
  Private* d_ = nullptr;
};

}  // namespace kestrel::cli
