#pragma once

#include <QRegularExpression>
#include <QString>

// What the program says to its user, each text once, for the window and the command line
// alike. A "\r" is one carriage return: message boxes break the line there.
namespace kestrel {

// A message for a place that holds one line (a terminal, a label): its breaks become blanks.
inline QString OnOneLine(const QString& text) {
  static const QRegularExpression breaks(QStringLiteral("[\\r\\n]+"));
  return text.trimmed().replace(breaks, QStringLiteral(" "));
}

inline constexpr char kApplicationTitle[] = "Kestrel II Logo loader";

// Open Bitmap
inline constexpr char kInvalidFormatMessage[] =
    "INVALID FILE FORMAT !!\r\rFormat expected:\rFile type: BMP (Windows Bitmap)\r"
    "Width : 240 pixels\rHeight : 60 pixels\rImage type : 2 Colors (1 bit)\r";
inline constexpr char kCannotOpenFileMessage[] = "Cannot open the file %1:\r%2";  // path, reason
// Under the preview of a file whose palette puts white before black.
inline constexpr char kLighterColourFirstNote[] =
    "This file's palette lists white first: the device will show the picture as drawn here, "
    "inverted compared with other viewers. kestrel-logo-convert fixes the file.";

// Send
inline constexpr char kNotAcknowledgedMessage[] =
    "COMMUNICATION ERROR !!\r\rCheck configuration and connection.";
// The logo information not answered.
inline constexpr char kLogoInfoNotAnsweredMessage[] =
    "COMMUNICATION ERROR WHEN SENDING LOGO INFORMATION!!\r\rCheck configuration and connection.";
inline constexpr char kPortCannotBeOpenedMessage[] = "Serial port cannot be opened. Check setting.";
inline constexpr char kPortOccupiedMessage[] = "Serial port occupied by another program";
inline constexpr char kInterruptedMessage[] =
    "Download interrupted: the logo was not sent completely.";

// Comm > Open
inline constexpr char kPortUsedByOtherMessage[] = "Port is used by other aplication";
inline constexpr char kPortErrorTitle[] = "Port Error";

// Window caption while a program plays the device: caption, port number
inline constexpr char kSimulatedDeviceCaption[] =
    "%1 - simulated device (COM %2 is a pseudo-terminal)";

// Status bar and Comm menu; the first three until start-up has run
inline constexpr char kNotConnectedPanel[] = "Not connected";
inline constexpr char kDesignPortPanel[] = "COM 1";
inline constexpr char kDesignLineSettingsPanel[] = "115200bps, 8-N-1";
inline constexpr char kPortOpenedPanel[] = "Port opened";
inline constexpr char kPortClosedPanel[] = "Port closed";
inline constexpr char kConnectCaptionOpen[] = "Open";
inline constexpr char kConnectCaptionClose[] = "Close";
inline constexpr char kPortPanelPrefix[] = "COM ";
inline constexpr char kTcpIpPanel[] = "TCP/IP";
inline constexpr char kDeviceAbsentNote[] = "not present";
// A [Devices] assignment that is no device name: a relative path, a control character.
inline constexpr char kNoDeviceNameNote[] = "not a usable device name";
inline constexpr char kPortFromAssignment[] = "assigned in %1";  // the settings file's name
inline constexpr char kPortFromFolderEntry[] = "link %1";        // the entry, COMn or its path

// Port and speed dialogs, device assignment; the reason may follow on a line of its own.
inline constexpr char kSettingsNotWrittenMessage[] = "The settings file %1 could not be written.";
// Start-up: program folder, user's folder, why
inline constexpr char kSettingsNotKeptMessage[] =
    "Settings cannot be kept: neither the program's folder %1 nor %2 can be written (%3).";

}  // namespace kestrel
