#pragma once

#include <QString>

namespace kestrel {

// The last logo or picture the window opened, kept in the settings file's section "Recent"
// (keys "Folder" and "File") so the file dialogs start there at the next run. Paths are
// stored as their UTF-8 bytes; one the settings file cannot hold whole is not stored.
inline constexpr char kRecentSection[] = "Recent";

void RememberFile(const QString& path);
// The remembered file while it still exists, else its folder while that exists, else empty.
QString RememberedFile();
// For Open Bitmap: the remembered file only while it is still a logo bitmap that Open Bitmap
// accepts (the last file may have been a picture for Import Picture), else its folder.
QString RememberedLogoBitmap();

}  // namespace kestrel
