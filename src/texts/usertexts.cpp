#include "texts/usertexts.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QRegularExpression>
#include <QTranslator>

#include "app/logotransfer.h"
#include "port/commcontrol.h"
#include "settings/inifile.h"

// Translation contexts, one per part of the program, as the translator sees them.
class Window {
  Q_DECLARE_TR_FUNCTIONS(Window)
};
class Messages {
  Q_DECLARE_TR_FUNCTIONS(Messages)
};
class SerialPort {
  Q_DECLARE_TR_FUNCTIONS(SerialPort)
};
class Files {
  Q_DECLARE_TR_FUNCTIONS(Files)
};
class Dialogs {
  Q_DECLARE_TR_FUNCTIONS(Dialogs)
};

namespace kestrel::texts {

void InstallTranslations() {
  auto* app = QCoreApplication::instance();
  if (!app) return;
  // uiLanguages: LANGUAGE, LC_ALL, LC_MESSAGES and LANG on Linux, the user's display
  // language on Windows. English, the texts' own language, has no file.
  const QLocale locale = QLocale::system();
  auto* own = new QTranslator(app);
  if (!own->load(locale, QStringLiteral("kestrel"), QStringLiteral("_"),
                 QStringLiteral(":/i18n"))) {
    delete own;
    return;
  }
  QCoreApplication::installTranslator(own);
  // Qt's buttons and standard dialogs in the same language, where its translations are
  // installed; a language of ours only, so a window never mixes two.
  auto* qt = new QTranslator(app);
  if (qt->load(QLocale(own->language()), QStringLiteral("qtbase"), QStringLiteral("_"),
               QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QCoreApplication::installTranslator(qt);
  else
    delete qt;
}

QString InMessageBox(const QString& text) {
  QString shown = text;
  return shown.replace(QLatin1Char('\n'), QLatin1Char('\r'));
}

QString OnOneLine(const QString& text) {
  static const QRegularExpression breaks(QStringLiteral("[\\r\\n]+"));
  return text.trimmed().replace(breaks, QStringLiteral(" "));
}

// --- Window, menus and status bar ---

QString ApplicationTitle() { return Window::tr("Kestrel II Logo loader"); }
QString MainCaption() { return Window::tr("Quillory KESTREL II"); }
QString SimulatedDeviceCaption(const QString& caption, int comNumber) {
  return Window::tr("%1 - simulated device (COM %2 is a pseudo-terminal)")
      .arg(caption)
      .arg(comNumber);
}
QString MainHeading() { return Window::tr("INITIAL LOGO LOADER FOR KESTREL II"); }
QString OpenBitmapButton() { return Window::tr("Open Bitmap"); }
QString SendButton() { return Window::tr("Send to Kestrel-II"); }
QString FileMenu() { return Window::tr("&File"); }
QString OpenBitmapItem() { return Window::tr("&Open Bitmap"); }
QString ImportPictureItem() { return Window::tr("&Import Picture..."); }
QString EndItem() { return Window::tr("&End"); }
QString CommMenu() { return Window::tr("&Comm"); }
QString PortItem() { return Window::tr("&Port"); }
QString SettingsItem() { return Window::tr("&Settings"); }
QString ConnectCaption(bool portOpen) {
  return portOpen ? Window::tr("Close", "Comm menu: close the port")
                  : Window::tr("Open", "Comm menu: open the port");
}
QString ConnectItem(bool portOpen) {
  return portOpen ? Window::tr("&Close", "Comm menu item, with its access key")
                  : Window::tr("&Open", "Comm menu item, with its access key");
}
QString HelpMenu() { return Window::tr("&Help"); }
QString HelpItem() { return Window::tr("&Help"); }
QString AboutItem() { return Window::tr("&About"); }
QString BitmapFilter() { return Window::tr("Bitmaps (*.bmp)"); }
QString PictureFilter(const QString& patterns) {
  return Window::tr("Pictures (%1);;All files (*)").arg(patterns);
}
QString ImportPictureTitle() { return Window::tr("Import Picture"); }
QString NotConnectedPanel() { return Window::tr("Not connected"); }
QString PortStatePanel(bool open) {
  return open ? Window::tr("Port opened") : Window::tr("Port closed");
}
QString LighterColourFirstNote() {
  return Window::tr(
      "This file's palette lists white first: the device will show the picture as drawn here, "
      "inverted compared with other viewers. kestrel-logo-convert fixes the file.");
}
QString LogoLoadedConfirmation(const QString& time, const QString& checksum) {
  return Window::tr("Logo loaded at %1, checksum %2").arg(time, checksum);
}
QString NotLoggedNote() { return Window::tr(" (not logged)"); }
QString DownloadFailedLine(const QString& time) {
  return Window::tr("Logo NOT loaded at %1").arg(time);
}
QString SessionCount(int loaded, int failed) {
  return Window::tr("%1 loaded, %2 failed since start").arg(loaded).arg(failed);
}
QString AdapterFoundHint(const QString& device) {
  return Window::tr("Found %1: Comm > Port to use it").arg(device);
}
QString AdaptersFoundHint(int count) {
  return Window::tr("Found %1 serial ports: choose the device's in Comm > Port").arg(count);
}
QString NoAdapterFoundHint() {
  return Window::tr("No serial adapter found: plug one in, then choose it in Comm > Port");
}
QString ClosePortFirstNote() { return Window::tr("(close the port first)"); }
QString DeviceAbsentNote() { return Window::tr("not present"); }
QString NoDeviceNameNote() { return Window::tr("not a usable device name"); }
QString AssignedInNote(const QString& settingsFile) {
  return Window::tr("assigned in %1").arg(settingsFile);
}
QString FolderEntryNote(const QString& entry) { return Window::tr("link %1").arg(entry); }

// --- Messages ---

QString InvalidFileFormatMessage() {
  return Messages::tr(
      "INVALID FILE FORMAT !!\n\nFormat expected:\nFile type: BMP (Windows Bitmap)\n"
      "Width : 240 pixels\nHeight : 60 pixels\nImage type : 2 Colors (1 bit)\n");
}
QString CannotOpenFileMessage(const QString& path, const QString& reason) {
  return Messages::tr("Cannot open the file %1:\n%2").arg(path, reason);
}
QString PortErrorTitle() { return Messages::tr("Port Error"); }

QString TransferMessage(const TransferOutcome& outcome) {
  switch (outcome.result) {
    case TransferResult::Loaded:
    case TransferResult::NotSent:
      return {};
    case TransferResult::NotAcknowledged:
    case TransferResult::LogoInfoRefused:
      return Messages::tr("COMMUNICATION ERROR !!\n\nCheck configuration and connection.");
    case TransferResult::LogoInfoNotAnswered:
      return Messages::tr(
          "COMMUNICATION ERROR WHEN SENDING LOGO INFORMATION!!\n\nCheck configuration and "
          "connection.");
    case TransferResult::Interrupted:
      return Messages::tr("Download interrupted: the logo was not sent completely.");
    case TransferResult::PortMissing:
      return PortCannotBeOpenedMessage(outcome.portError);
    case TransferResult::PortOccupied:
      return Messages::tr("Serial port occupied by another program") +
             HolderLine(outcome.portError);
    case TransferResult::PortFailed:
      // Permission denied, an adapter pulled mid-download: the user must learn the download
      // did not happen.
      return CommErrorText(outcome.portError);
  }
  return {};
}

QString HolderLine(const CommError& error) {
  const CommError::Details& d = error.details();
  if (d.holderPid <= 0) return {};
  if (d.holder.isEmpty()) return QLatin1Char('\n') + SerialPort::tr("Held by process %1.").arg(d.holderPid);
  return QLatin1Char('\n') +
         SerialPort::tr("Held by %1 (process %2).").arg(d.holder).arg(d.holderPid);
}

QString OpenFailureMessage(const CommError& error, QString* title) {
  title->clear();
  switch (error.number()) {
    case CommErr::PortNotExist:
      return PortCannotBeOpenedMessage(error);
    case CommErr::PortInUse:
      *title = PortErrorTitle();
      return Messages::tr("Port is used by other aplication") + HolderLine(error);
    default:
      return CommErrorText(error);
  }
}

QString PortCannotBeOpenedMessage(const CommError& error) {
  QString text = Messages::tr("Serial port cannot be opened. Check setting.");
  if (!error.device().isEmpty()) text += QLatin1Char('\n') + error.device();
  return text;
}

QString PortShown(const QString& name, const QString& device) {
  if (name.isEmpty() || device.isEmpty() || name.compare(device, Qt::CaseInsensitive) == 0)
    return device.isEmpty() ? name : device;
  return QStringLiteral("%1 (%2)").arg(name, device);
}

QString CommErrorText(const CommError& error) {
  const CommError::Details& d = error.details();
  const QString port = PortShown(d.port, d.device);
  switch (error.kind()) {
    case CommError::Kind::NoSuchPort:
      return SerialPort::tr("The serial port %1 does not exist.").arg(port);
    case CommError::Kind::NoDeviceAssigned:
      return SerialPort::tr(
                 "The serial port %1 does not exist: its assignment \"%2\" in %3 names no "
                 "device.")
          .arg(d.port, d.device, QLatin1String(kIniFileName));
    case CommError::Kind::InvalidNumber:
      return SerialPort::tr("Invalid port number %1").arg(d.port);
    case CommError::Kind::AlreadyOpen:
      return SerialPort::tr("Port already open");
    case CommError::Kind::InUse:
      return SerialPort::tr("The serial port %1 is used by another program.").arg(port) +
             HolderLine(error);
    case CommError::Kind::PermissionDenied:
      if (!d.group.isEmpty())
        return SerialPort::tr(
                   "No permission to use the serial port %1: the device belongs to the group "
                   "\"%2\". Add your user to that group and log in again.")
            .arg(port, d.group);
      if (!d.user.isEmpty())
        return SerialPort::tr(
                   "No permission to use the serial port %1: only the user \"%2\" may use the "
                   "device.")
            .arg(port, d.user);
      return SerialPort::tr("No permission to use the serial port %1.").arg(port);
    case CommError::Kind::SettingsRefused:
      return SerialPort::tr("The device %1 refused the line settings %2: %3")
          .arg(d.device, d.settings, d.reason);
    case CommError::Kind::StoppedWorking:
      return SerialPort::tr(
                 "The serial port %1 stopped working. Check that the device is still "
                 "connected.")
          .arg(port);
    case CommError::Kind::NotOpen:
      return SerialPort::tr("Operation valid only when the port is open");
    case CommError::Kind::Other:
      break;
  }
  if (port.isEmpty()) return d.reason;
  return SerialPort::tr("Serial port %1: %2").arg(port, d.reason);
}

QString SettingsNotWrittenMessage(const QString& file, const QString& reason) {
  QString text = Messages::tr("The settings file %1 could not be written.").arg(file);
  if (!reason.isEmpty()) text += QLatin1Char('\n') + reason;
  return text;
}

QString SettingsNotKeptMessage(const QString& programFolder, const QString& userFolder,
                               const QString& reason) {
  return Messages::tr(
             "Settings cannot be kept: neither the program's folder %1 nor %2 can be written "
             "(%3).")
      .arg(programFolder, userFolder, reason);
}

QString DownloadLogNotWrittenMessage(const QString& file, const QString& reason) {
  return Messages::tr("The download log \"%1\" cannot be written: %2").arg(file, reason);
}

QString Together(const QString& first, const QString& second) {
  if (first.isEmpty()) return second;
  if (second.isEmpty()) return first;
  return first + QStringLiteral("\n\n") + second;
}

// --- Reasons ---

QString NoSuchFileReason() { return Files::tr("no such file"); }
QString NoSuchFolderReason() { return Files::tr("no such folder"); }
QString FolderReason() { return Files::tr("it is a folder"); }
QString NotRegularFileReason() { return Files::tr("it is not a regular file"); }
QString LinkReason() { return Files::tr("it is a link, not a regular file"); }
QString DeviceNameReason() { return Files::tr("it names a device, not a regular file"); }
QString SettingsTooLargeReason() { return Files::tr("it is larger than 1 MiB"); }
QString SettingsWouldGrowReason() { return Files::tr("it would grow larger than 1 MiB"); }
QString CannotHoldTextReason(const QString& text) {
  return Files::tr("it cannot hold the text \"%1\"").arg(text);
}
QString LockFileNotRegularReason(const QString& lockFile) {
  return Files::tr("its lock file %1 is not a regular file").arg(lockFile);
}
QString SettingsLockedReason(const QString& lockFile) {
  return Files::tr("another program is writing it (lock file %1)").arg(lockFile);
}

// --- Port dialogs ---

QString OkButton() { return Dialogs::tr("OK"); }
QString CancelButton() { return Dialogs::tr("Cancel"); }
QString AceptarButton() { return Dialogs::tr("Aceptar"); }
QString CancelarButton() { return Dialogs::tr("Cancelar"); }
QString SetComPortCaption() { return Dialogs::tr("Set COM PORT"); }
QString ComPortFrame() { return Dialogs::tr("COM PORT"); }
QString PortDevicesFrame() { return Dialogs::tr("Device of each COM port"); }
QStringList PortDevicesHeaders() {
  return {Dialogs::tr("Port"), Dialogs::tr("Device"), Dialogs::tr("Description"),
          Dialogs::tr("Set by")};
}
QString DetectedDevicesFrame() { return Dialogs::tr("Serial devices detected"); }
QStringList DetectedDevicesHeaders() {
  return {Dialogs::tr("Device"), Dialogs::tr("Description"), Dialogs::tr("Manufacturer"),
          Dialogs::tr("Serial number"), Dialogs::tr("Port")};
}
QString AssignToLabel() { return Dialogs::tr("Assign the selected device to"); }
QString AssignButton() { return Dialogs::tr("Assign"); }
QString ClearButton() { return Dialogs::tr("Clear"); }
QString SetBaudrateCaption() { return Dialogs::tr("Set Baudrate"); }
QString BaudRateFrame() { return Dialogs::tr("BaudRate"); }
QString BaudCaption(int index) {
  switch (index) {
    case 0:
      return Dialogs::tr(" 4800 bauds");
    case 1:
      return Dialogs::tr(" 9600 bauds");
    case 2:
      return Dialogs::tr("19200 bauds");
    case 3:
      return Dialogs::tr("38400 bauds");
    case 4:
      return Dialogs::tr("57600 bauds");
    default:
      return Dialogs::tr("115200 bauds");
  }
}
QString TcpIpCaption() { return Dialogs::tr("TCP/IP Settings"); }
QString IpHostFrame() { return Dialogs::tr("IP Host"); }
QString RemotePortFrame() { return Dialogs::tr("Remote Port"); }

// --- Help and About ---

QString HelpCaption() { return Dialogs::tr("Help"); }
QString HelpEnglishFirstLine() { return Dialogs::tr("English:"); }
QString HelpEnglish() {
  return HelpEnglishFirstLine() + QLatin1Char('\n') +
         Dialogs::tr("See file 'Help Programmable Logo KESTREL II.pdf'");
}
QString HelpSpanishFirstLine() { return Dialogs::tr("Espa\u00f1ol:"); }
QString HelpSpanish() {
  return HelpSpanishFirstLine() + QLatin1Char('\n') +
         Dialogs::tr("Ver archivo 'Manual programa Quillory para KESTREL II.pdf'");
}
QString AboutCaption() { return Dialogs::tr("About ..."); }
QString VersionText(int major, int minor, int revision) {
  return Dialogs::tr("Version %1.%2.%3").arg(major).arg(minor).arg(revision);
}
QString Description() { return Dialogs::tr("Downloader for programable initial Logo"); }
QString Disclaimer() { return Dialogs::tr("Quillory Instruments\nAll rights reserved\n2010"); }

// --- Import Picture ---

QString PictureSource(const QString& file, int width, int height) {
  return Dialogs::tr("%1  (%2 x %3 pixels)").arg(file).arg(width).arg(height);
}
QString ImportPreviewTip() { return Dialogs::tr("What the device will show, at twice its size"); }
QString SizeFrame() { return Dialogs::tr("Size"); }
QString FitChoice() { return Dialogs::tr("&Fit: whole picture, shape kept"); }
QString FillChoice() { return Dialogs::tr("F&ill: whole logo, edges cut off"); }
QString StretchChoice() { return Dialogs::tr("&Stretch: whole picture, shape ignored"); }
QString TonesFrame() { return Dialogs::tr("Black and white"); }
QString ThresholdTip() { return Dialogs::tr("Pixels darker than this (0 to 255) become black"); }
QString ThresholdLabel() { return Dialogs::tr("&Threshold:"); }
QString DitherChoice() { return Dialogs::tr("&Dither: shades as dot patterns (photographs)"); }
QString InvertChoice() { return Dialogs::tr("In&vert black and white"); }
QString SaveBitmapButton() { return Dialogs::tr("Save &Bitmap..."); }
QString SaveBitmapTitle() { return Dialogs::tr("Save Bitmap"); }
QString BitmapNotSavedMessage(const QString& why) {
  return Messages::tr("The bitmap was not saved:\n%1.").arg(why);
}
QString ImportOfferQuestion(const QString& file) {
  return Messages::tr("%1 is a picture, not a logo bitmap.\n\nImport it as a logo?").arg(file);
}
QString ImportOfferButton() { return Dialogs::tr("&Import Picture..."); }
QString UserGuideLine(const QString& path) {
  if (path.isEmpty()) return Dialogs::tr("User's guide: not found beside this program");
  return Dialogs::tr("User's guide: %1").arg(path);
}

}  // namespace kestrel::texts
