#pragma once

#include <QString>
#include <QStringList>

#include "simdevice.h"

namespace kestrel::sim {

struct SimOptions {
  DeviceOptions device;
  int delayMs = 0;       // every answer waits this long
  bool split = false;    // answers go out in two pieces, kSplitGapMs apart
  int unplugAfter = -1;  // close the pseudo-terminal after this frame of a download
  int baud = 0;          // pace both directions at this rate (10 bits a byte); 0 = unpaced
  int downloads = 0;     // exit after this many complete downloads; 0 = run until signalled
  QString savePath;      // write each received logo here (PNG for *.png, else PBM)
  QString linkPath;      // symbolic link to the slave side, removed on exit
  // Link COMn where the loader in this folder looks for it (its settings folder), n the port
  // the settings file there names.
  QString linkPortFolder;
  QString settingsOf;  // instead of simulating: print the settings folder of the loader here
  QString holdPath;    // instead of simulating: hold this serial port open
  // Hold answers as a USB-serial adapter's latency timer would, this many ms; 0 = no adapter.
  int adapterLatencyMs = 0;
  bool showVersion = false;
};

inline constexpr int kExitUsage = 64;  // bad arguments, as for every program of the family

inline constexpr int kSplitGapMs = 10;
inline constexpr int kUnplugGraceMs = 100;  // between the last answer and the unplug
// Between the last answer and the end after --downloads: a terminal closed at once may drop
// an answer the other side has not read yet.
inline constexpr int kFinishGraceMs = 100;
inline constexpr int kMaxAdapterLatencyMs = 255;  // the largest a common chip's timer takes
inline constexpr int kAdapterBufferBytes = 62;    // a full buffer goes out before its time

// Parses the arguments (without the program name). Returns false with a message on a bad
// argument; *help is set when --help was asked for.
bool ParseSimOptions(const QStringList& arguments, SimOptions& options, QString* error, bool* help);

QString SimHelpText();

}  // namespace kestrel::sim
