#pragma once

#include <QObject>

// What a command line needs from its terminal, kept apart by platform: whether a stream is a
// terminal, Ctrl-C as an event, and the lines typed on standard input as events. Each wakes
// the event loop; nothing polls.
namespace kestrel::cli {

bool StandardErrorIsTerminal();
bool StandardInputIsTerminal();

// Ctrl-C (and a termination request) become interrupted(), delivered by the event loop. Only
// the first is caught: a second one ends the program the ordinary way. One at a time.
class InterruptWatcher : public QObject {
  Q_OBJECT

 public:
  explicit InterruptWatcher(QObject* parent = nullptr);
  ~InterruptWatcher() override;

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
