#pragma once

#include <QIODevice>

namespace kestrel::convert {

// More scans than this in a JPEG file are refused. Each scan of a progressive JPEG is decoded
// over the whole picture: a file of thousands of tiny scans takes minutes, while cameras and
// editors write about ten, and hand-tuned encoders a few dozen.
inline constexpr int kMaxJpegScans = 300;

enum class PictureData {
  Complete,
  CutShort,      // the file ends before its own structure says the picture does
  TooManyScans,  // a JPEG of more than kMaxJpegScans scans
};

// Walks a JPEG, GIF or BMP file's structure from the start of the device, without decoding:
// whether it still holds all of its picture's data (a copy or download cut short: their readers
// fill in what is missing without failing), and whether it is made to keep a decoder busy for
// minutes. Other formats count as complete: PNG's reader refuses such files by itself.
PictureData CheckPictureData(QIODevice* file);

}  // namespace kestrel::convert
