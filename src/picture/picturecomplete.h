#pragma once

#include <QIODevice>

namespace kestrel::convert {

// Whether a JPEG, GIF or BMP file still holds all of its picture's data, walked from the start
// of the device: false when the file ends before its own structure says the picture does (a
// copy or download cut short). Their readers fill in what is missing without failing. Other
// formats count as complete: PNG's reader refuses such files by itself.
bool PictureDataComplete(QIODevice* file);

}  // namespace kestrel::convert
