#include "simoptions.h"

namespace kestrel::sim {

QString SimHelpText() {
  return QStringLiteral(
      "Usage: kestrel-sim [options]\n"
      "\n"
      "Plays a Kestrel II device on a pseudo-terminal. The first line on stdout is the path of\n"
      "the terminal to open; reports (bad frames, finished downloads) go to stderr. Runs until\n"
      "SIGINT or SIGTERM, or until --downloads or --unplug-after ends it.\n"
      "\n"
      "Frames are counted within a download: its empty frame \"00\" is frame 1, the header\n"
      "block frame 2, the last logo block frame 131 and the logo information frame 132.\n"
      "Blocks are counted within a download too: the header block is block 0, the logo blocks\n"
      "are 1 to 129.\n"
      "\n"
      "Options:\n"
      "  --link PATH        make PATH a symbolic link to the terminal (e.g. COM1 beside the\n"
      "                     loader), removed on exit; a link there is replaced only when\n"
      "                     a simulator made it and has ended, anything else is refused\n"
      "  --link-port FOLDER the same for COMn where the loader in FOLDER looks for it,\n"
      "                     its settings folder (see --settings-folder), n being the\n"
      "                     port the Tessaly.ini there names (COM 8, as in the loader,\n"
      "                     when it names none)\n"
      "  --settings-folder FOLDER\n"
      "                     do not simulate: print where the loader in FOLDER keeps its\n"
      "                     settings and finds COMn links: FOLDER, or\n"
      "                     ~/.config/kestrel-logo-loader where FOLDER cannot be written\n"
      "                     (as /usr/bin)\n"
      "  --save FILE        write each received logo to FILE: PNG when FILE ends in .png,\n"
      "                     else PBM (P4); a FIFO, device or folder is refused at start\n"
      "  --downloads N      exit after N complete downloads\n"
      "  --never-answer     answer nothing\n"
      "  --nak-at K         answer block K of every download with NAK CR (header = block 0)\n"
      "  --no-info-answer   do not answer the logo information command\n"
      "  --delay MS         send every answer MS milliseconds late\n"
      "  --split            send ACK, then CR 10 ms later\n"
      "  --double           send every answer line twice in one write\n"
      "  --no-cr            leave the CR off every answer\n"
      "  --unplug-after K   close the terminal 100 ms after answering frame K of a download,\n"
      "                     as a pulled adapter would, and exit\n"
      "  --baud N           pace both directions at N baud, 10 bits a byte\n"
      "  --adapter-latency MS\n"
      "                     hold answers as a USB-serial adapter with latency timer MS\n"
      "                     (0 to 255) would: held bytes go to the loader together, MS\n"
      "                     milliseconds after the first of them or once 62 are held\n"
      "  --hold PATH        do not simulate: open the serial port PATH and hold it (as\n"
      "                     another program would) until signalled; prints \"held PATH\"\n"
      "  -h, --help         show this text\n"
      "  --version          show the version\n"
      "\n"
      "Exit status: 0 when stopped by a signal or ended by --downloads or --unplug-after,\n"
      "1 when the terminal or the link cannot be made or the port cannot be held, 64 for\n"
      "wrong arguments.\n");
}

bool ParseSimOptions(const QStringList& arguments, SimOptions& o, QString* error, bool* help) {
  if (help) *help = false;
  const auto fail = [error](const QString& text) {
    if (error) *error = text;
    return false;
  };
  for (qsizetype i = 0; i < arguments.size(); ++i) {
    const QString& a = arguments[i];
    const auto value = [&](QString& out) {
      if (i + 1 >= arguments.size()) return false;
      out = arguments[++i];
      return !out.isEmpty();
    };
    const auto number = [&](int& out, int minimum) {
      QString text;
      if (!value(text)) return false;
      bool ok = false;
      out = text.toInt(&ok);
      return ok && out >= minimum;
    };
    if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
      if (help) *help = true;
    } else if (a == QLatin1String("--version")) {
      o.showVersion = true;
    } else if (a == QLatin1String("--never-answer")) {
      o.device.neverAnswer = true;
    } else if (a == QLatin1String("--no-info-answer")) {
      o.device.noInfoAnswer = true;
    } else if (a == QLatin1String("--double")) {
      o.device.doubleLine = true;
    } else if (a == QLatin1String("--no-cr")) {
      o.device.noCr = true;
    } else if (a == QLatin1String("--split")) {
      o.split = true;
    } else if (a == QLatin1String("--nak-at")) {
      if (!number(o.device.nakAtBlock, 0))
        return fail(QStringLiteral("--nak-at needs a block number 0 or more"));
    } else if (a == QLatin1String("--delay")) {
      if (!number(o.delayMs, 0))
        return fail(QStringLiteral("--delay needs milliseconds, 0 or more"));
    } else if (a == QLatin1String("--unplug-after")) {
      if (!number(o.unplugAfter, 1))
        return fail(QStringLiteral("--unplug-after needs a frame number 1 or more"));
    } else if (a == QLatin1String("--baud")) {
      if (!number(o.baud, 1)) return fail(QStringLiteral("--baud needs a rate above 0"));
    } else if (a == QLatin1String("--adapter-latency")) {
      if (!number(o.adapterLatencyMs, 0) || o.adapterLatencyMs > kMaxAdapterLatencyMs)
        return fail(QStringLiteral("--adapter-latency needs milliseconds, 0 to %1")
                        .arg(kMaxAdapterLatencyMs));
    } else if (a == QLatin1String("--downloads")) {
      if (!number(o.downloads, 1)) return fail(QStringLiteral("--downloads needs a count above 0"));
    } else if (a == QLatin1String("--save")) {
      if (!value(o.savePath)) return fail(QStringLiteral("--save needs a file name"));
    } else if (a == QLatin1String("--link")) {
      if (!value(o.linkPath)) return fail(QStringLiteral("--link needs a path"));
    } else if (a == QLatin1String("--link-port")) {
      if (!value(o.linkPortFolder)) return fail(QStringLiteral("--link-port needs a folder"));
    } else if (a == QLatin1String("--settings-folder")) {
      if (!value(o.settingsOf)) return fail(QStringLiteral("--settings-folder needs a folder"));
    } else if (a == QLatin1String("--hold")) {
      if (!value(o.holdPath)) return fail(QStringLiteral("--hold needs a path"));
    } else {
      return fail(QStringLiteral("unknown argument: %1").arg(a));
    }
  }
  return true;
}

}  // namespace kestrel::sim
