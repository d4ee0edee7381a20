#include "settings/programfolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "files/fileaccess.h"
#include "settings/inifile.h"

namespace kestrel {

namespace {

// A settings file is a few lines; anything larger beside the program is not one to copy.
constexpr qint64 kMaxSeedBytes = qint64{1} << 20;

QString& FolderOverride() {
  static QString folder;
  return folder;
}

}  // namespace

QString ProgramFolder() {
  const QString& folder = FolderOverride();
  return folder.isEmpty() ? QCoreApplication::applicationDirPath() : folder;
}

void SetProgramFolder(const QString& folder) { FolderOverride() = folder; }

QString UserSettingsFolder() {
  // One folder for every program of the family (loader, command-line loader), whatever its
  // own name.
  return detail::UserConfigRoot() + QStringLiteral("/kestrel-logo-loader");
}

SettingsPlace ChooseSettingsFolder(const QString& programFolder, bool programFolderWritable,
                                   const QString& userFolder) {
  if (programFolderWritable) return {programFolder, {}};
  const QString name = QString::fromLatin1(kIniFileName);
  const QFileInfo mine(QDir(userFolder).filePath(name));
  if (!mine.exists() && !mine.isSymLink() && QDir().mkpath(userFolder)) {
    // The bytes, not QFile::copy: the copy must be the user's to write, whatever the
    // installed file's mode. Only a regular file seeds it: a FIFO would wait forever.
    QFile seed;
    if (files::OpenRegularFile(seed, QDir(programFolder).filePath(name)).opened() &&
        seed.size() <= kMaxSeedBytes) {
      const QByteArray bytes = seed.readAll();
      if (bytes.size() == seed.size()) files::SaveFile(mine.absoluteFilePath(), bytes);
    }
  }
  return {userFolder, files::SaveProblem(mine.absoluteFilePath())};
}

namespace {

SettingsPlace SettingsPlaceOf(const QString& program) {
  return ChooseSettingsFolder(program, detail::SettingsMayLiveIn(program), UserSettingsFolder());
}

bool HasEntry(const QString& path) {
  const QFileInfo entry(path);
  return entry.isSymLink() || entry.exists();  // a dangling link counts
}

}  // namespace

QString SettingsFolder() { return SettingsPlaceOf(ProgramFolder()).folder; }

QString SettingsFolderProblem() { return SettingsPlaceOf(ProgramFolder()).problem; }

QString SettingsFolderOf(const QString& programFolder) {
  return SettingsPlaceOf(programFolder).folder;
}

QString ProgramFolderEntry(const QString& name) {
  const QString program = ProgramFolder();
  const QString beside = QDir(program).filePath(name);
  if (HasEntry(beside)) return beside;
  const QString settings = SettingsFolder();
  if (settings == program) return beside;
  const QString mine = QDir(settings).filePath(name);
  return HasEntry(mine) ? mine : beside;
}

QString UserGuideOf(const QString& programFolder) {
  const QDir program(programFolder);
  QStringList candidates{
      program.filePath(QStringLiteral("README.md")),
      program.filePath(QStringLiteral("README.txt")),  // the Windows packages', for Notepad
      program.filePath(QStringLiteral("../share/doc/kestrel-logo-loader/README.md")),
      program.filePath(QStringLiteral("../share/doc/kestrel-logo-loader/README.md.gz"))};
  // A build folder lies a level or two below the source tree's top (build/bin).
  QDir up = program;
  for (int level = 0; level < 3 && up.cdUp(); ++level)
    candidates << up.filePath(QStringLiteral("packaging/README-user.md"));
  for (const QString& candidate : candidates)
    if (QFileInfo(candidate).isFile()) return QDir::cleanPath(QFileInfo(candidate).absoluteFilePath());
  return {};
}

QString UserGuide() { return UserGuideOf(ProgramFolder()); }

}  // namespace kestrel
