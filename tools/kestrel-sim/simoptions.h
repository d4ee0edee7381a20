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
  QString linkPortFolder;  // link COMn in this folder, n the port its settings file names
  QString holdPath;      // instead of simulating: hold this serial port open
};

inline constexpr int kSplitGapMs = 10;
inline constexpr int kUnplugGraceMs = 100;  // between the last answer and the unplug

// Parses the arguments (without the program name). Returns false with a message on a bad
// argument; *help is set when --help was asked for.
bool ParseSimOptions(const QStringList& arguments, SimOptions& options, QString* error, bool* help);

QString SimHelpText();

}  // namespace kestrel::sim
