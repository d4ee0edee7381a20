#pragma once

#include <QString>

namespace kestrel {

inline constexpr char kIniFileName[] = "Tessaly.ini";
inline constexpr char kIniSection[] = "SerialPort";

// Settings file in the program's folder ("ArchivoIni"). A private-profile reader and writer
// of our own: names match without regard to case, a missing file/section/key reads as "",
// a read returns at most 254 characters with leading blanks removed, and a write keeps every
// other line byte for byte (saved as files::SaveFile does: atomically where the folder allows,
// owner and mode kept). Only a regular file is read or written, links followed.
// Bytes are Latin-1. Lines end in CR LF or LF, or in CR in a file that has no LF at all; a
// UTF-8 byte-order mark in front is passed over and kept. Reads look at the first 1 MiB only.
// A write holds the lock file <path>.lock while it reads and replaces the file, so programs
// writing at once lose nothing; it waits for another's lock a little, then gives up.
// A write returns false, leaving the file as it was, when it cannot be done faithfully: a line
// break or NUL in any argument, '=' in the key, ']' in the section, an empty name, a character
// outside Latin-1, a file that is or would become over 1 MiB, a lock held elsewhere, or any
// failure to save; *problem then says why.
namespace ArchivoIni {
QString ReadIniValue(const QString& fileName, const QString& section, const QString& key);
bool WriteIniValue(const QString& fileName, const QString& section, const QString& key,
                   const QString& value, QString* problem = nullptr);
QString StripControlChars(const QString& text);

// The same on an explicit path, for callers and tests that know it.
QString ReadProfileString(const QString& path, const QString& section, const QString& key);
bool WriteProfileString(const QString& path, const QString& section, const QString& key,
                        const QString& value, QString* problem = nullptr);
}  // namespace ArchivoIni

}  // namespace kestrel
