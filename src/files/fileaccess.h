#pragma once

#include <QByteArrayView>
#include <QFile>
#include <QString>

// Opening and saving the files the program uses (bitmaps, the settings file, the converter's
// pictures), safe against what a user or a hostile folder may put in their place: FIFOs,
// devices, folders, links, files owned by someone else.
namespace kestrel::files {

struct OpenResult {
  enum class Status {
    Opened,
    Missing,     // nothing of that name (a dangling link included)
    NotRegular,  // a folder, FIFO, socket or device: refused without waiting for it
    Failed,      // no permission, or any other reason the system gave
  };
  Status status = Status::Failed;
  QString error;  // why, for a message; empty when opened
  bool opened() const { return status == Status::Opened; }
};

// Opens path for reading when it is a regular file, links followed. Never blocks: a FIFO with
// no writer or a device is refused at once. On failure file stays closed.
OpenResult OpenRegularFile(QFile& file, const QString& path);

// Opens path for appending (unbuffered, so one write is one append) when it is a regular file
// or does not exist yet, then creating it. Never through a symbolic link, never blocking. On
// failure file stays closed.
OpenResult OpenForAppend(QFile& file, const QString& path);

// Both paths name the same existing file (links followed): another spelling, a hard link or a
// symbolic link all count. A path that does not exist yet is nobody's same file.
bool SameFile(const QString& a, const QString& b);

// Whether the system reserves the name for a device in every folder (Windows: NUL, COM1.log,
// \\.\ paths), so that the path, and any name made by adding to its end, reaches that device.
// Never so on POSIX systems, where only what a path leads to tells.
bool NamesDevice(const QString& path);

// Whether path could be saved now, without writing anything: empty when it can, else why.
// What SaveFile refuses is refused here too.
QString SaveProblem(const QString& path);

// Replaces the content of path with data. A link is written through to its target. Where the
// folder may be written, a complete new file replaces the old one, keeping its owner and mode;
// where only the file may be (or a new file could not keep them), it is overwritten in place.
// A folder, FIFO, device or other non-regular file is never replaced. Returns an empty text on
// success, else why it failed; the old content is then kept whenever the folder was writable.
QString SaveFile(const QString& path, QByteArrayView data);

}  // namespace kestrel::files
