// Opening and saving files with the Win32 calls. Windows has no FIFOs but has device names that
// exist in every folder (CON, NUL, COM1, LPT1, also with an extension: nul.txt is NUL) and
// paths into the device namespace (\\.\COM1, \\.\pipe\x): those are refused by name before
// anything is opened, as the POSIX side refuses FIFOs and devices, and whatever is opened is
// checked to be a file on disk. A save writes a complete new file beside the old one and swaps
// it in with ReplaceFile, which keeps the old file's attributes and access rights.
#include <fcntl.h>
#include <io.h>
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStringList>
#include <algorithm>
#include <string>

#include "files/fileaccess.h"
#include "texts/usertexts.h"

namespace kestrel::files {

namespace {

constexpr int kMaxLinks = 40;

std::wstring Native(const QString& path) { return QDir::toNativeSeparators(path).toStdWString(); }

QString ErrorText(DWORD error) { return qt_error_string(int(error)); }

bool IsMissing(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

// The names Windows keeps for devices in every folder. What follows the first dot does not
// count, nor blanks and a colon at the end: "nul.txt", "COM1 .log" and "aux:" are devices.
bool IsDeviceName(const QString& fileName) {
  QString base = fileName.section(QLatin1Char('.'), 0, 0);
  while (base.endsWith(QLatin1Char(' ')) || base.endsWith(QLatin1Char(':'))) base.chop(1);
  base = base.toUpper();
  static const QStringList names = {QStringLiteral("CON"), QStringLiteral("PRN"),
                                    QStringLiteral("AUX"), QStringLiteral("NUL"),
                                    QStringLiteral("CONIN$"), QStringLiteral("CONOUT$")};
  if (names.contains(base)) return true;
  if (base.size() != 4 || !(base.startsWith(QLatin1String("COM")) ||
                            base.startsWith(QLatin1String("LPT"))))
    return false;
  const char16_t digit = base.at(3).unicode();
  return (digit >= u'0' && digit <= u'9') || digit == u'\u00B9' || digit == u'\u00B2' ||
         digit == u'\u00B3';
}

// \\.\ reaches the device namespace; \\?\ does too, except as the long form of an ordinary
// path (\\?\C:\..., \\?\UNC\server\...).
bool IsDevicePath(const QString& path) {
  const QString p = QDir::toNativeSeparators(path);
  if (p.startsWith(QLatin1String("\\\\.\\"))) return true;
  if (!p.startsWith(QLatin1String("\\\\?\\")) && !p.startsWith(QLatin1String("\\??\\")))
    return false;
  const QString rest = p.mid(4);
  const bool drivePath = rest.size() >= 3 && rest.at(0).isLetter() &&
                         rest.at(1) == QLatin1Char(':') && rest.at(2) == QLatin1Char('\\');
  return !drivePath && !rest.startsWith(QLatin1String("UNC\\"), Qt::CaseInsensitive);
}

// What an open handle stands for: a file on disk, not a folder, console, pipe or device.
enum class HandleKind { File, Folder, Other };
HandleKind KindOf(HANDLE handle, BY_HANDLE_FILE_INFORMATION* info = nullptr) {
  if (GetFileType(handle) != FILE_TYPE_DISK) return HandleKind::Other;
  BY_HANDLE_FILE_INFORMATION own{};
  if (!info) info = &own;
  if (!GetFileInformationByHandle(handle, info)) return HandleKind::Other;
  return (info->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? HandleKind::Folder
                                                             : HandleKind::File;
}

QString NotRegularText(HandleKind kind) {
  return kind == HandleKind::Folder ? texts::FolderReason() : texts::NotRegularFileReason();
}

// Hands a Win32 handle to file, which then owns it.
OpenResult AdoptHandle(QFile& file, const QString& path, HANDLE handle, int crtFlags,
                       QIODevice::OpenMode mode) {
  const int fd = _open_osfhandle(intptr_t(handle), crtFlags | _O_BINARY);
  if (fd < 0) {
    CloseHandle(handle);
    return {OpenResult::Status::Failed, ErrorText(ERROR_TOO_MANY_OPEN_FILES)};
  }
  file.setFileName(path);
  if (!file.open(fd, mode, QFileDevice::AutoCloseHandle)) {
    _close(fd);
    return {OpenResult::Status::Failed, file.errorString()};
  }
  return {OpenResult::Status::Opened, {}};
}

bool WriteAll(HANDLE handle, QByteArrayView data) {
  qsizetype done = 0;
  while (done < data.size()) {
    const DWORD chunk = DWORD(std::min<qsizetype>(data.size() - done, 1 << 30));
    DWORD written = 0;
    if (!WriteFile(handle, data.data() + done, chunk, &written, nullptr) || written == 0)
      return false;
    done += written;
  }
  return true;
}

// Where a save goes and what stands there now.
struct SaveTarget {
  QString path;
  QString folder;
  bool exists = false;
  DWORD attributes = 0;
  QString problem;  // empty when it may be saved
};

// A symbolic link is written through to its target, as on POSIX systems.
SaveTarget Examine(const QString& path) {
  SaveTarget target;
  QFileInfo info(path);
  for (int i = 0; i < kMaxLinks && info.isSymbolicLink(); ++i) info.setFile(info.symLinkTarget());
  if (info.isSymbolicLink()) {
    target.problem = ErrorText(ERROR_CANT_RESOLVE_FILENAME);
    return target;
  }
  target.path = info.absoluteFilePath();
  target.folder = info.absolutePath();
  if (NamesDevice(path) || NamesDevice(target.path)) {
    target.problem = texts::DeviceNameReason();
    return target;
  }
  target.attributes = GetFileAttributesW(Native(target.path).c_str());
  if (target.attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND) target.problem = ErrorText(error);
    return target;
  }
  target.exists = true;
  if (target.attributes & FILE_ATTRIBUTE_DIRECTORY)
    target.problem = texts::FolderReason();
  else if (target.attributes & FILE_ATTRIBUTE_READONLY)
    target.problem = ErrorText(ERROR_ACCESS_DENIED);
  return target;
}

enum class Replaced { Done, Failed, FolderNotWritable };

// A complete new file beside the old one, swapped in: a failure leaves the old one whole.
Replaced ReplaceWhole(const SaveTarget& target, QByteArrayView data, QString* error) {
  const QString base = QFileInfo(target.path).fileName();
  HANDLE handle = INVALID_HANDLE_VALUE;
  QString temporary;
  for (int attempt = 0; attempt < 100 && handle == INVALID_HANDLE_VALUE; ++attempt) {
    temporary = target.folder + QStringLiteral("/~%1.%2.tmp").arg(base).arg(
                                    QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
    handle = CreateFileW(Native(temporary).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      const DWORD code = GetLastError();
      if (code == ERROR_FILE_EXISTS) continue;
      if (code == ERROR_ACCESS_DENIED) return Replaced::FolderNotWritable;
      *error = ErrorText(code);
      return Replaced::Failed;
    }
  }
  if (handle == INVALID_HANDLE_VALUE) {
    *error = ErrorText(ERROR_FILE_EXISTS);
    return Replaced::Failed;
  }
  const std::wstring from = Native(temporary);
  const std::wstring to = Native(target.path);
  if (!WriteAll(handle, data) || !FlushFileBuffers(handle)) {
    *error = ErrorText(GetLastError());
    CloseHandle(handle);
    DeleteFileW(from.c_str());
    return Replaced::Failed;
  }
  CloseHandle(handle);
  const bool swapped =
      target.exists ? ReplaceFileW(to.c_str(), from.c_str(), nullptr,
                                   REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) != 0
                    : MoveFileExW(from.c_str(), to.c_str(),
                                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
  if (swapped) return Replaced::Done;
  const DWORD code = GetLastError();
  // ReplaceFile may fail after the old file is gone; the new one then still has to move in.
  if (code == ERROR_UNABLE_TO_MOVE_REPLACEMENT &&
      MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH))
    return Replaced::Done;
  *error = ErrorText(code);
  // Never both gone: without the old file the new one stays under its temporary name.
  if (GetFileAttributesW(to.c_str()) != INVALID_FILE_ATTRIBUTES) DeleteFileW(from.c_str());
  return Replaced::Failed;
}

QString OverwriteInPlace(const SaveTarget& target, QByteArrayView data) {
  const HANDLE handle = CreateFileW(Native(target.path).c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return ErrorText(GetLastError());
  QString error;
  if (const HandleKind kind = KindOf(handle); kind != HandleKind::File)
    error = NotRegularText(kind);
  else if (!WriteAll(handle, data) || !SetEndOfFile(handle) || !FlushFileBuffers(handle))
    error = ErrorText(GetLastError());
  CloseHandle(handle);
  return error;
}

// How many names the file has; 1 when it cannot be told.
DWORD LinkCount(const QString& path) {
  const HANDLE handle =
      CreateFileW(Native(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return 1;
  BY_HANDLE_FILE_INFORMATION info{};
  const DWORD links = KindOf(handle, &info) == HandleKind::File ? info.nNumberOfLinks : 1;
  CloseHandle(handle);
  return links;
}

}  // namespace

bool NamesDevice(const QString& path) {
  return IsDevicePath(path) || IsDeviceName(QFileInfo(path).fileName());
}

OpenResult OpenRegularFile(QFile& file, const QString& path) {
  using Status = OpenResult::Status;
  file.close();
  if (NamesDevice(path)) return {Status::NotRegular, texts::DeviceNameReason()};
  const HANDLE handle = CreateFileW(
      Native(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    return {IsMissing(error) ? Status::Missing : Status::Failed, ErrorText(error)};
  }
  // A link may still lead to a device.
  if (const HandleKind kind = KindOf(handle); kind != HandleKind::File) {
    CloseHandle(handle);
    return {Status::NotRegular, NotRegularText(kind)};
  }
  return AdoptHandle(file, path, handle, _O_RDONLY, QIODevice::ReadOnly);
}

OpenResult OpenForAppend(QFile& file, const QString& path) {
  using Status = OpenResult::Status;
  file.close();
  if (NamesDevice(path)) return {Status::NotRegular, texts::DeviceNameReason()};
  const DWORD attributes = GetFileAttributesW(Native(path).c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
      return {Status::NotRegular, texts::LinkReason()};
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
      return {Status::NotRegular, texts::FolderReason()};
  }
  // Append-only access: every write lands at the end, whoever else appends (another loader on
  // the same log). The link itself is opened, never what it leads to.
  const HANDLE handle = CreateFileW(
      Native(path).c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return {Status::Failed, ErrorText(GetLastError())};
  BY_HANDLE_FILE_INFORMATION info{};
  const HandleKind kind = KindOf(handle, &info);
  if (kind != HandleKind::File || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    CloseHandle(handle);
    return {Status::NotRegular,
            kind == HandleKind::File ? texts::LinkReason() : NotRegularText(kind)};
  }
  return AdoptHandle(file, path, handle, _O_WRONLY | _O_APPEND,
                     QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered);
}

bool SameFile(const QString& a, const QString& b) {
  const auto identity = [](const QString& path, BY_HANDLE_FILE_INFORMATION* info) {
    if (NamesDevice(path)) return false;
    const HANDLE handle = CreateFileW(Native(path).c_str(), 0,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    const bool known = KindOf(handle, info) != HandleKind::Other;
    CloseHandle(handle);
    return known;
  };
  BY_HANDLE_FILE_INFORMATION ia{};
  BY_HANDLE_FILE_INFORMATION ib{};
  return identity(a, &ia) && identity(b, &ib) &&
         ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
         ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
}

QString SaveProblem(const QString& path) { return Examine(path).problem; }

QString SaveFile(const QString& path, QByteArrayView data) {
  const SaveTarget target = Examine(path);
  if (!target.problem.isEmpty()) return target.problem;

  // Replacing a file with other names would part it from them; such a file is overwritten.
  if (!target.exists || LinkCount(target.path) == 1) {
    QString error;
    switch (ReplaceWhole(target, data, &error)) {
      case Replaced::Done:
        return {};
      case Replaced::Failed:
        return error;
      case Replaced::FolderNotWritable:
        break;
    }
  }
  if (!target.exists) return ErrorText(ERROR_ACCESS_DENIED);
  return OverwriteInPlace(target, data);
}

}  // namespace kestrel::files
