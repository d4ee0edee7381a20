#pragma once

#include <QString>

namespace kestrel {

// The folder of the program's executable: home of the settings file and of COMn links.
// Tests point it elsewhere so they never touch a real installation.
QString ProgramFolder();
void SetProgramFolder(const QString& folder);  // empty restores the executable's folder

// Where the settings file and the download log live. Today the program's folder.
QString SettingsFolder();

}  // namespace kestrel
