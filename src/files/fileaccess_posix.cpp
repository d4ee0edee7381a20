// Opening and saving files with the POSIX calls that tell a regular file from a FIFO or a
// device before anything can block, and that keep a replaced file's owner and mode.
// fileaccess_windows.cpp does the same job on Windows.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <climits>

#include "files/fileaccess.h"
#include "texts/usertexts.h"

namespace kestrel::files {

namespace {

constexpr int kMaxLinks = 40;  // as the kernel allows before ELOOP

QByteArray Native(const QString& path) { return QFile::encodeName(path); }

QString ErrorText(int error) { return qt_error_string(error); }

QString NotRegularText(const struct stat& st) {
  return S_ISDIR(st.st_mode) ? texts::FolderReason() : texts::NotRegularFileReason();
}

// The folder part as written, so that the kernel resolves it exactly as it resolves path.
QString FolderOf(const QString& path) {
  const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
  if (slash < 0) return QStringLiteral(".");
  return slash == 0 ? QStringLiteral("/") : path.left(slash);
}

// What a path names once the symbolic links of its last part are followed: a save writes to
// the target, not over the link. A dangling link leads to the name that would be created.
bool FinalTarget(const QString& path, QString* target, QString* error) {
  QString current = path;
  for (int i = 0; i < kMaxLinks; ++i) {
    struct stat st {};
    if (::lstat(Native(current).constData(), &st) != 0 || !S_ISLNK(st.st_mode)) {
      *target = current;
      return true;
    }
    QByteArray link(PATH_MAX, '\0');
    const ssize_t n = ::readlink(Native(current).constData(), link.data(), size_t(link.size()));
    if (n < 0 || n >= link.size()) {
      *error = ErrorText(n < 0 ? errno : ENAMETOOLONG);
      return false;
    }
    link.resize(n);
    const QString next = QFile::decodeName(link);
    current =
        next.startsWith(QLatin1Char('/')) ? next : FolderOf(current) + QLatin1Char('/') + next;
  }
  *error = ErrorText(ELOOP);
  return false;
}

// 0 when allowed, else the reason's errno.
int Access(const QString& path, int mode) {
  return ::faccessat(AT_FDCWD, Native(path).constData(), mode, AT_EACCESS) == 0 ? 0 : errno;
}

int MayWrite(const QString& path) { return Access(path, W_OK); }

int MayCreateIn(const QString& folder) { return Access(folder, W_OK | X_OK); }

bool WriteAll(int fd, QByteArrayView data) {
  qsizetype done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, size_t(data.size() - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += n;
  }
  return true;
}

// Where a save goes and what stands there now.
struct SaveTarget {
  QString path;
  QString folder;
  bool exists = false;
  struct stat st {};
  QString problem;  // empty when it may be saved
};

SaveTarget Examine(const QString& path) {
  SaveTarget target;
  if (!FinalTarget(path, &target.path, &target.problem)) return target;
  target.folder = FolderOf(target.path);
  if (::stat(Native(target.path).constData(), &target.st) == 0) {
    target.exists = true;
    if (!S_ISREG(target.st.st_mode)) {
      target.problem = NotRegularText(target.st);
      return target;
    }
  } else if (errno != ENOENT) {
    target.problem = ErrorText(errno);
    return target;
  }
  const int folderError = MayCreateIn(target.folder);
  if (folderError == 0) return target;
  const int fileError = target.exists ? MayWrite(target.path) : folderError;
  if (fileError != 0) target.problem = ErrorText(fileError);
  return target;
}

enum class Replaced { Done, Failed, CannotKeepOwner };

// A complete new file beside the old one, renamed over it: a failure leaves the old one whole.
Replaced ReplaceWhole(const SaveTarget& target, QByteArrayView data, QString* error) {
  const QString base = QFileInfo(target.path).fileName();
  int fd = -1;
  QString temporary;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temporary =
        target.folder + QStringLiteral("/.%1.%2").arg(base).arg(
                            QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
    // A new file gets the usual mode from the umask; a replacement gets the old one below.
    fd = ::open(Native(temporary).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                target.exists ? 0600 : 0666);
    if (fd < 0 && errno != EEXIST) {
      *error = ErrorText(errno);
      return Replaced::Failed;
    }
  }
  if (fd < 0) {
    *error = ErrorText(EEXIST);
    return Replaced::Failed;
  }
  const auto discard = [&] {
    ::close(fd);
    ::unlink(Native(temporary).constData());
  };

  if (target.exists) {
    struct stat mine {};
    const bool sameOwner = ::fstat(fd, &mine) == 0 && mine.st_uid == target.st.st_uid &&
                           mine.st_gid == target.st.st_gid;
    // Owner before mode: a change of owner clears the set-id bits.
    if ((!sameOwner && ::fchown(fd, target.st.st_uid, target.st.st_gid) != 0) ||
        ::fchmod(fd, target.st.st_mode & 07777) != 0) {
      discard();
      return Replaced::CannotKeepOwner;
    }
  }
  if (!WriteAll(fd, data) || ::fsync(fd) != 0) {
    *error = ErrorText(errno);
    discard();
    return Replaced::Failed;
  }
  if (::close(fd) != 0 ||
      ::rename(Native(temporary).constData(), Native(target.path).constData()) != 0) {
    *error = ErrorText(errno);
    ::unlink(Native(temporary).constData());
    return Replaced::Failed;
  }
  const int folder = ::open(Native(target.folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    ::fsync(folder);  // the rename itself survives a crash too
    ::close(folder);
  }
  return Replaced::Done;
}

QString OverwriteInPlace(const SaveTarget& target, QByteArrayView data) {
  const int fd =
      ::open(Native(target.path).constData(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return ErrorText(errno);
  struct stat st {};
  QString error;
  if (::fstat(fd, &st) != 0)
    error = ErrorText(errno);
  else if (!S_ISREG(st.st_mode))  // put there since it was examined
    error = NotRegularText(st);
  else if (!WriteAll(fd, data) || ::ftruncate(fd, off_t(data.size())) != 0 || ::fsync(fd) != 0)
    error = ErrorText(errno);
  if (::close(fd) != 0 && error.isEmpty()) error = ErrorText(errno);
  return error;
}

}  // namespace

OpenResult OpenRegularFile(QFile& file, const QString& path) {
  using Status = OpenResult::Status;
  const auto failed = [](Status status, const QString& why) { return OpenResult{status, why}; };
  const auto fromErrno = [&](int error) {
    return failed(error == ENOENT || error == ENOTDIR ? Status::Missing : Status::Failed,
                  ErrorText(error));
  };
  file.close();

  // Looked at before opening: opening a device may have effects of its own (a serial port
  // raises its control lines).
  struct stat st {};
  if (::stat(Native(path).constData(), &st) != 0) return fromErrno(errno);
  if (!S_ISREG(st.st_mode)) return failed(Status::NotRegular, NotRegularText(st));

  // Non-blocking: should a FIFO have taken the file's place meanwhile, the open still returns.
  const int fd = ::open(Native(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return fromErrno(errno);
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return failed(Status::NotRegular, texts::NotRegularFileReason());
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);

  file.setFileName(path);
  if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
    ::close(fd);
    return failed(Status::Failed, file.errorString());
  }
  return {Status::Opened, {}};
}

OpenResult OpenForAppend(QFile& file, const QString& path) {
  using Status = OpenResult::Status;
  file.close();
  // Looked at before anything is opened, for the same reason as above.
  struct stat st {};
  if (::lstat(Native(path).constData(), &st) == 0) {
    if (S_ISLNK(st.st_mode)) return {Status::NotRegular, texts::LinkReason()};
    if (!S_ISREG(st.st_mode)) return {Status::NotRegular, NotRegularText(st)};
  }
  const int fd =
      ::open(Native(path).constData(),
             O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644);
  if (fd < 0) return {Status::Failed, errno == ELOOP ? texts::LinkReason() : ErrorText(errno)};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return {Status::NotRegular, texts::NotRegularFileReason()};
  }
  file.setFileName(path);
  if (!file.open(fd, QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered,
                 QFileDevice::AutoCloseHandle)) {
    ::close(fd);
    return {Status::Failed, file.errorString()};
  }
  return {Status::Opened, {}};
}

bool SameFile(const QString& a, const QString& b) {
  struct stat sa {};
  struct stat sb {};
  return ::stat(Native(a).constData(), &sa) == 0 && ::stat(Native(b).constData(), &sb) == 0 &&
         sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool NamesDevice(const QString&) { return false; }

QString SaveProblem(const QString& path) { return Examine(path).problem; }

QString SaveFile(const QString& path, QByteArrayView data) {
  const SaveTarget target = Examine(path);
  if (!target.problem.isEmpty()) return target.problem;

  // Replacing a file with other names would part it from them; such a file is overwritten.
  if (MayCreateIn(target.folder) == 0 && (!target.exists || target.st.st_nlink == 1)) {
    QString error;
    switch (ReplaceWhole(target, data, &error)) {
      case Replaced::Done:
        return {};
      case Replaced::Failed:
        return error;
      case Replaced::CannotKeepOwner:
        break;
    }
  }
  if (!target.exists) return ErrorText(EACCES);
  if (const int error = MayWrite(target.path)) return ErrorText(error);
  return OverwriteInPlace(target, data);
}

}  // namespace kestrel::files
