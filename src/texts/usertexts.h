#pragma once

#include <QString>
#include <QStringList>

// What the program says to its user, each text once, for the windows and the command lines
// alike: English here, other languages in translations/ (Qt Linguist). A line break is "\n"
// in every text; each display turns it into its own with InMessageBox or OnOneLine.
namespace kestrel {
class CommError;
struct TransferOutcome;
}  // namespace kestrel

namespace kestrel::texts {

// The program's translation for the system's language (English needs none), and Qt's own for
// its standard buttons and dialogs where installed. Needs the application object.
void InstallTranslations();

// Message boxes and labels break lines at a single carriage return.
QString InMessageBox(const QString& text);
// A place that holds one line (a terminal, a status line): breaks become blanks.
QString OnOneLine(const QString& text);

// --- Window, menus and status bar ---
QString ApplicationTitle();
QString MainCaption();
QString SimulatedDeviceCaption(const QString& caption, int comNumber);
QString MainHeading();
QString OpenBitmapButton();
QString SendButton();
QString FileMenu();
QString OpenBitmapItem();
QString ImportPictureItem();
QString EndItem();
QString CommMenu();
QString PortItem();
QString SettingsItem();
QString ConnectCaption(bool portOpen);  // Open, or Close while the port is open
QString ConnectItem(bool portOpen);     // the same as the menu item shows it
QString HelpMenu();
QString HelpItem();
QString AboutItem();
QString BitmapFilter();
QString PictureFilter(const QString& patterns);
QString ImportPictureTitle();
// Status-bar panel 1: before start-up, then open or closed.
QString NotConnectedPanel();
QString PortStatePanel(bool open);
// Under the preview of a file whose palette puts white before black.
QString LighterColourFirstNote();
QString LogoLoadedConfirmation(const QString& time, const QString& checksum);
QString NotLoggedNote();
// Where a confirmation would be, after a download that failed.
QString DownloadFailedLine(const QString& time);
QString SessionCount(int loaded, int failed);
// A first start on a port that is not there: what was found, and where to choose it.
QString AdapterFoundHint(const QString& device);
QString AdaptersFoundHint(int count);
QString NoAdapterFoundHint();
// Port and Settings while they are greyed.
QString ClosePortFirstNote();
// Panel 2's tooltip: what the port in force stands for.
QString DeviceAbsentNote();
QString NoDeviceNameNote();
QString AssignedInNote(const QString& settingsFile);
QString FolderEntryNote(const QString& entry);

// --- Messages ---
QString InvalidFileFormatMessage();
QString CannotOpenFileMessage(const QString& path, const QString& reason);
QString PortErrorTitle();
// The message of a download's end; empty when the logo was loaded.
QString TransferMessage(const TransferOutcome& outcome);
// Comm > Open failed: the message and its title (empty: the application's).
QString OpenFailureMessage(const CommError& error, QString* title);
QString PortCannotBeOpenedMessage(const CommError& error);
// What the serial layer's failure means to the user.
QString CommErrorText(const CommError& error);
// A port held by another program: a line naming it where the system tells, else empty.
QString HolderLine(const CommError& error);
// A port as the user knows it: COM3 (/dev/ttyUSB0), or the device alone.
QString PortShown(const QString& name, const QString& device);
QString SettingsNotWrittenMessage(const QString& file, const QString& reason);
QString SettingsNotKeptMessage(const QString& programFolder, const QString& userFolder,
                               const QString& reason);
QString DownloadLogNotWrittenMessage(const QString& file, const QString& reason);
// Two failures of one action, each its own paragraph.
QString Together(const QString& first, const QString& second);

// --- Reasons a file could not be used, as part of a message ---
QString NoSuchFileReason();
QString NoSuchFolderReason();
QString FolderReason();
QString NotRegularFileReason();
QString LinkReason();
QString DeviceNameReason();  // Windows: CON, NUL, COM1 and the like in any folder
QString SettingsTooLargeReason();
QString SettingsWouldGrowReason();
QString CannotHoldTextReason(const QString& text);
QString LockFileNotRegularReason(const QString& lockFile);
QString SettingsLockedReason(const QString& lockFile);

// --- Port dialogs ---
QString OkButton();
QString CancelButton();
// The About and TCP/IP windows' buttons, Spanish in every language.
QString AceptarButton();
QString CancelarButton();
QString SetComPortCaption();
QString ComPortFrame();
QString PortDevicesFrame();
QStringList PortDevicesHeaders();
QString DetectedDevicesFrame();
QStringList DetectedDevicesHeaders();
QString AssignToLabel();
QString AssignButton();
QString ClearButton();
QString SetBaudrateCaption();
QString BaudRateFrame();
QString BaudCaption(int index);  // the six speeds offered, in order
QString TcpIpCaption();
QString IpHostFrame();
QString RemotePortFrame();

// --- Help and About ---
QString HelpCaption();
QString HelpEnglishFirstLine();
QString HelpEnglish();
QString HelpSpanishFirstLine();
QString HelpSpanish();
QString AboutCaption();
QString VersionText(int major, int minor, int revision);
QString Description();
QString Disclaimer();

// --- Import Picture ---
QString PictureSource(const QString& file, int width, int height);
QString ImportPreviewTip();
QString SizeFrame();
QString FitChoice();
QString FillChoice();
QString StretchChoice();
QString TonesFrame();
QString ThresholdTip();
QString ThresholdLabel();
QString DitherChoice();
QString InvertChoice();
QString SaveBitmapButton();
QString SaveBitmapTitle();
QString BitmapNotSavedMessage(const QString& why);
// Open Bitmap was given a picture of another kind: Import Picture can make a logo of it.
QString ImportOfferQuestion(const QString& file);
QString ImportOfferButton();
// Help: where this copy's user's guide is, or that none is beside it.
QString UserGuideLine(const QString& path);

// --- Command lines ---
QString SeeHelp(const QString& error);
QString PictureOptionsHelp();
QString WindowProgramUsage();
QString WindowProgramHelp();
QString MissingValueAfter(const QString& option);
QString UnknownOption(const QString& option);
QString UnexpectedWindowArgument(const QString& argument);

QString LoadHelp();
QString NoSerialDevicesDetected();
QString ListPortsTakesNoPicture();
QString EmptyPort();
QString BadPort(const QString& port);
QString BadPortIn(const QString& port, const QString& variable);
// A list of ports (from --port, or the variable when one is named) with nothing between commas.
QString EmptyPortInList(const QString& ports, const QString& variable);
QString SamePortTwice(const QString& first, const QString& second, const QString& device,
                      const QString& variable);
QString BadSpeed(const QString& speed);
QString EmptyLogName();
QString EmptyOperatorName();
QString GiveThePicture();
QString OnePictureOnly(const QString& pictures);
QString EmptyPictureName();
QString LogIsThePicture();
QString LogoBitmapSentAsItIs(const QString& picture, const QString& ignored);
QString Loaded(const QString& picture, const QString& port, const QString& checksum, int frames,
               qint64 ms);
QString Failed(const QString& port, const QString& why);
QString InterruptedAfter(const QString& signal, int frames);
QString RunSoFar(int loaded, int failed);
QString RunSummary(int loaded, int failed);
QString PortSummary(const QString& port, int loaded, int failed);
QString NextDevicePrompt(bool watchingAdapter);
QString ConsoleClosed();

QString ConvertHelp();
QString GiveInputAndOutput();
QString GiveOutputAfterInput();
QString TooManyFileNames(const QString& names);
QString EmptyFileName();
QString EmptyPreviewName();
QString PreviewIsTheBitmap();
QString BitmapWouldReplaceInput();
QString PreviewWouldReplaceInput();
QString BitmapNamedAsOtherFormat(const QString& path, const QString& format);
QString CannotWriteBitmap(const QString& path, const QString& reason);
QString CannotWritePreview(const QString& path, const QString& reason);
QString BitmapDoesNotReadBack(const QString& path);

}  // namespace kestrel::texts
