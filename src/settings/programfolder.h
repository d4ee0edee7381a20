#pragma once

#include <QString>

namespace kestrel {

// The folder of the program's executable: home of COMn links and, where it can be written, of
// the settings file. Tests point it elsewhere so they never touch a real installation.
QString ProgramFolder();
void SetProgramFolder(const QString& folder);  // empty restores the executable's folder

// Where the settings file and the download log live: the program's folder wherever it can be
// written (portable use, the bundle, the source tree); otherwise, as for an installed package,
// the user's configuration folder, which a Tessaly.ini beside the program seeds the first time.
QString SettingsFolder();
// Why the settings file cannot be written in SettingsFolder() (the program's folder is not
// used and the user's cannot hold it either); empty when it can.
QString SettingsFolderProblem();

struct SettingsPlace {
  QString folder;
  QString problem;  // why the settings file cannot be written there; empty when it can
};

// The decision itself, for a program folder that may or may not be written and the user's
// configuration folder. Creates the user's folder and copies the program folder's settings
// file into it when it has none; chooses the user's folder even when that fails (reads then
// find nothing, writes fail, as on any unwritable folder), and says why.
SettingsPlace ChooseSettingsFolder(const QString& programFolder, bool programFolderWritable,
                                   const QString& userFolder);

// The user's configuration folder for this program (shared by the loader and its tools).
QString UserSettingsFolder();

// Where a copy of the program in programFolder keeps its settings, as SettingsFolder() decides
// for the running program's own folder.
QString SettingsFolderOf(const QString& programFolder);

// The entry `name` (a COMn link) of the program's folder or, where the settings are kept
// elsewhere (an installed package, whose users can write no other folder of its own), of the
// settings folder: the first that has one. The program folder's entry when neither has.
QString ProgramFolderEntry(const QString& name);

// The user's guide of the copy of the program in programFolder, as it was installed: beside the
// program (the zip and the installer), in the package's documentation folder (the Debian
// package), or in the source tree the program was built in. Empty when none is there.
QString UserGuideOf(const QString& programFolder);
QString UserGuide();  // the running program's

namespace detail {

// Per platform. Whether the settings may live in this folder: one we may write, and no place
// the system keeps installed programs in (whoever runs the program, even an administrator).
bool SettingsMayLiveIn(const QString& folder);
// Where the user's per-program settings folders go: ~/.config, %APPDATA%.
QString UserConfigRoot();

}  // namespace detail

}  // namespace kestrel
