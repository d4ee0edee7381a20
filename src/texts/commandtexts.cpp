#include <QCoreApplication>

#include "texts/usertexts.h"

// The command lines' own texts: help, usage errors and what a run reports.
class CommandLine {
  Q_DECLARE_TR_FUNCTIONS(CommandLine)
};
class LoadCommand {
  Q_DECLARE_TR_FUNCTIONS(LoadCommand)
};
class ConvertCommand {
  Q_DECLARE_TR_FUNCTIONS(ConvertCommand)
};

namespace kestrel::texts {

QString SeeHelp(const QString& error) { return CommandLine::tr("%1 (see --help)").arg(error); }

QString PictureOptionsHelp() {
  return CommandLine::tr(
      "  --fit               Show the whole picture inside 240 x 60, keeping its shape;\n"
      "                      the space left over gets the background colour (default).\n"
      "  --fill              Cover all of 240 x 60, keeping the shape; what sticks out\n"
      "                      is cut off.\n"
      "  --stretch           Stretch the whole picture to 240 x 60.\n"
      "  --align POSITION    Where a fitted picture sits, or which part a filled one\n"
      "                      keeps: left, center or right and/or top, middle or bottom,\n"
      "                      for example \"left\" or \"top,right\" (default: center).\n"
      "  --background COLOR  Colour behind transparent parts and around a fitted picture:\n"
      "                      a name such as white or black, or #rgb / #rrggbb\n"
      "                      (default: white).\n"
      "  --threshold N       Pixels darker than N (luminance 0 to 255) become black\n"
      "                      (default: 128).\n"
      "  --dither            Spread shades of grey as dot patterns (Floyd-Steinberg)\n"
      "                      instead of a plain threshold; suits photographs.\n"
      "  --invert            Swap black and white.\n");
}

QString WindowProgramUsage() {
  return CommandLine::tr(
      "Usage: kestrel-logo-loader [-platform NAME] [other options every Qt program takes]\n");
}
QString WindowProgramHelp() {
  return CommandLine::tr(
      "The Kestrel II Logo loader's window; kestrel-load loads a logo without one.\n"
      "  -h, --help  Show this help.\n"
      "  --version   Show the version.\n");
}
QString MissingValueAfter(const QString& option) {
  return CommandLine::tr("missing value after '%1'").arg(option);
}
QString UnknownOption(const QString& option) {
  return CommandLine::tr("unknown option '%1'").arg(option);
}
QString UnexpectedWindowArgument(const QString& argument) {
  return CommandLine::tr("unexpected argument '%1': pictures are opened in the window")
      .arg(argument);
}

// --- kestrel-load ---

QString LoadHelp() {
  return LoadCommand::tr(
             "Usage: kestrel-load [options] PICTURE\n"
             "       kestrel-load --list-ports [--json]\n"
             "\n"
             "Loads PICTURE into a Kestrel II device over a serial line, with the same 132\n"
             "frames as the loader's \"Send to Kestrel-II\". A 240 x 60, 1-bit logo bitmap is\n"
             "sent as it is; any other picture (PNG, JPEG, GIF, BMP of another size or depth)\n"
             "is converted first, exactly as kestrel-logo-convert converts it.\n"
             "\n"
             "Port:\n"
             "  -p, --port COMn|DEVICE[,...]\n"
             "                      A COM number, resolved as the loader resolves it, or a\n"
             "                      device such as /dev/ttyUSB0, /dev/pts/3 or COM14\n"
             "                      (Windows); a bare name such as ttyUSB0 means /dev/ttyUSB0.\n"
             "                      Several ports, the option repeated or separated by commas,\n"
             "                      are loaded at once, each with its own download; two names\n"
             "                      of one device are refused.\n"
             "                      Default: the environment variable KESTREL_PORT, in the\n"
             "                      same forms, when it is set and not empty; else CommPort\n"
             "                      in Tessaly.ini (beside the program, or in\n"
             "                      ~/.config/kestrel-logo-loader where the program's folder\n"
             "                      cannot be written, as for an installed package); COM 8\n"
             "                      when it names none, as in the loader's window.\n"
             "  -b, --baud N        4800, 9600, 19200, 38400, 57600 or 115200.\n"
             "                      Default: Baud in Tessaly.ini.\n"
             "  --list-ports        List the serial devices detected, one a line, separated by\n"
             "                      tabs: device, description, manufacturer, serial number and\n"
             "                      the COM numbers assigned to it (\"-\" where there is none).\n"
             "\n"
             "Production:\n"
             "  --repeat            After each download, wait for the next device and load it\n"
             "                      too: press Enter (each line on standard input starts one\n"
             "                      on every port), or unplug a USB adapter and plug it in\n"
             "                      again (that port alone). Ctrl-C ends with a summary; so\n"
             "                      does the end of standard input unless a USB adapter is\n"
             "                      being watched. A failure never stops it.\n"
             "  --log FILE          Append the download log to FILE instead of\n"
             "                      kestrel-loads.log beside Tessaly.ini (CSV, one line per\n"
             "                      download).\n"
             "  --operator NAME     The operator the log names for each download. Default:\n"
             "                      the user's login name.\n"
             "  -v, --trace         Print every frame and reply with its time on standard\n"
             "                      output (standard error with --json), after the port's\n"
             "                      name when there are several.\n"
             "  --json              Write one JSON object per download on standard output, a\n"
             "                      line each: the log's fields under its header's names and\n"
             "                      \"status\", that download's exit status. With --list-ports,\n"
             "                      one object per device.\n"
             "  -q, --quiet         Write errors only: no progress bar, no line for a download\n"
             "                      that loaded, no notes, prompts or summary.\n"
             "\n"
             "Converting a picture that is not a logo bitmap (a logo bitmap ignores them):\n") +
         PictureOptionsHelp() +
         LoadCommand::tr(
             "\n"
             "  -h, --help          Show this help.\n"
             "  --version           Show the version.\n"
             "\n"
             "One line on standard error says how each download ended, after any note on the\n"
             "picture; on a terminal a progress bar runs meanwhile, one line per port. With -q\n"
             "only a failed download's line is written.\n"
             "\n"
             "Exit status: 0 loaded (also after --help, --version, --list-ports); 1 the device\n"
             "did not acknowledge a block, or refused or did not answer the logo information;\n"
             "2 the port could not be used (does not exist, held by another program, no\n"
             "permission, lost); 3 the picture was refused or could not be read; 64 a usage\n"
             "error (bad arguments, or a bad KESTREL_PORT); 128 + n a download was\n"
             "interrupted by signal n (130 for Ctrl-C, 143 SIGTERM, 129 SIGHUP, 141 a closed\n"
             "output pipe): it stops after the frame in flight, lets the port go and is\n"
             "logged as interrupted. With --repeat: 0 when every download loaded, else the\n"
             "status of the last one that failed; Ctrl-C while waiting for the next device\n"
             "only ends the run. With several ports, the highest status of any port.\n");
}
QString NoSerialDevicesDetected() { return LoadCommand::tr("no serial devices detected"); }
QString ListPortsTakesNoPicture() { return LoadCommand::tr("--list-ports takes no picture"); }
QString EmptyPort() { return LoadCommand::tr("the port is empty"); }
QString BadPort(const QString& port) {
  return LoadCommand::tr("bad port \"%1\": COM numbers go from 1 to 255").arg(port);
}
QString BadPortIn(const QString& port, const QString& variable) {
  return LoadCommand::tr("bad port \"%1\" in %2: COM numbers go from 1 to 255").arg(port, variable);
}
QString EmptyPortInList(const QString& ports, const QString& variable) {
  return variable.isEmpty() ? LoadCommand::tr("an empty port in \"%1\"").arg(ports)
                            : LoadCommand::tr("%2 holds an empty port: \"%1\"").arg(ports, variable);
}
QString SamePortTwice(const QString& first, const QString& second, const QString& device,
                      const QString& variable) {
  return variable.isEmpty()
             ? LoadCommand::tr("%1 and %2 are the same port (%3)").arg(first, second, device)
             : LoadCommand::tr("%1 and %2 in %4 are the same port (%3)")
                   .arg(first, second, device, variable);
}
QString BadSpeed(const QString& speed) {
  return LoadCommand::tr("bad speed \"%1\": use 4800, 9600, 19200, 38400, 57600 or 115200")
      .arg(speed);
}
QString EmptyLogName() { return LoadCommand::tr("the log file name is empty"); }
QString EmptyOperatorName() { return LoadCommand::tr("the operator's name is empty"); }
QString GiveThePicture() { return LoadCommand::tr("give the picture to load"); }
QString OnePictureOnly(const QString& pictures) {
  return LoadCommand::tr("give one picture only: %1").arg(pictures);
}
QString EmptyPictureName() { return LoadCommand::tr("the picture's file name is empty"); }
QString LogIsThePicture() {
  return LoadCommand::tr("the log and the picture must be different files");
}
QString LogoBitmapSentAsItIs(const QString& picture, const QString& ignored) {
  return LoadCommand::tr("%1 is a logo bitmap, sent as it is: %2 ignored").arg(picture, ignored);
}
QString Loaded(const QString& picture, const QString& port, const QString& checksum, int frames,
               qint64 ms) {
  return LoadCommand::tr("loaded %1 onto %2: checksum %3, %4 frames, %5 ms")
      .arg(picture, port, checksum)
      .arg(frames)
      .arg(ms);
}
QString Failed(const QString& port, const QString& why) {
  return LoadCommand::tr("%1: %2").arg(port, why);
}
QString InterruptedAfter(const QString& signal, int frames) {
  return LoadCommand::tr(" (%1 after %2 frames)").arg(signal).arg(frames);
}
QString RunSoFar(int loaded, int failed) {
  return LoadCommand::tr(" [%1 loaded, %2 failed]").arg(loaded).arg(failed);
}
QString RunSummary(int loaded, int failed) {
  return LoadCommand::tr("%1 loaded, %2 failed").arg(loaded).arg(failed);
}
QString PortSummary(const QString& port, int loaded, int failed) {
  return LoadCommand::tr("%1: %2 loaded, %3 failed").arg(port).arg(loaded).arg(failed);
}
QString NextDevicePrompt(bool watchingAdapter) {
  return watchingAdapter ? LoadCommand::tr(
                               "next device: press Enter, or unplug the adapter and plug it in "
                               "again (Ctrl-C ends)")
                         : LoadCommand::tr("next device: press Enter (Ctrl-C ends)");
}
QString ConsoleClosed() { return LoadCommand::tr("console closed"); }

// --- kestrel-logo-convert ---

QString ConvertHelp() {
  return ConvertCommand::tr(
             "Usage: kestrel-logo-convert INPUT OUTPUT.bmp [options]\n"
             "\n"
             "Turns a picture (PNG, JPEG, GIF, BMP of any size and depth) into the 240 x 60,\n"
             "black-and-white Windows bitmap that the Kestrel II Logo loader accepts.\n"
             "\n"
             "Options:\n") +
         PictureOptionsHelp() +
         ConvertCommand::tr(
             "  --preview FILE.png  Also save what the device will show, enlarged 2 x (480 x "
             "120).\n"
             "  -h, --help          Show this help.\n"
             "  --version           Show the version.\n"
             "\n"
             "Exit status 0 on success, 1 when the picture cannot be read or the result cannot be\n"
             "written, 64 for wrong arguments. An existing OUTPUT is only replaced by a complete\n"
             "file; one that is the input, a folder or a device is never replaced.\n");
}
QString GiveInputAndOutput() {
  return ConvertCommand::tr("give the input picture and the output bitmap");
}
QString GiveOutputAfterInput() {
  return ConvertCommand::tr("give the output bitmap after the input picture");
}
QString TooManyFileNames(const QString& names) {
  return ConvertCommand::tr("too many file names: %1").arg(names);
}
QString EmptyFileName() { return ConvertCommand::tr("a file name is empty"); }
QString EmptyPreviewName() { return ConvertCommand::tr("the preview file name is empty"); }
QString PreviewIsTheBitmap() {
  return ConvertCommand::tr("the preview and the bitmap must be different files");
}
QString BitmapWouldReplaceInput() {
  return ConvertCommand::tr("the bitmap would replace the input picture: give another name");
}
QString PreviewWouldReplaceInput() {
  return ConvertCommand::tr("the preview would replace the input picture: give another name");
}
QString BitmapNamedAsOtherFormat(const QString& path, const QString& format) {
  return ConvertCommand::tr(
             "the bitmap %1 would be a BMP file named as %2: give it the extension .bmp")
      .arg(path, format);
}
QString CannotWriteBitmap(const QString& path, const QString& reason) {
  return ConvertCommand::tr("cannot write %1: %2").arg(path, reason);
}
QString CannotWritePreview(const QString& path, const QString& reason) {
  return ConvertCommand::tr("cannot write the preview %1: %2").arg(path, reason);
}
QString BitmapDoesNotReadBack(const QString& path) {
  return ConvertCommand::tr("the written bitmap %1 does not read back as a logo").arg(path);
}

}  // namespace kestrel::texts
