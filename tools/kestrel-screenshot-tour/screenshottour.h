#pragma once

#include <QString>

namespace kestrel {

class frmPantallaTest;

// Walks the window through its states and secondary windows (fresh, a logo loaded,
// mid-download, both port dialogs, the TCP/IP window, About, Help, an error message), saves a
// PNG of each into folder, writes the raster it sent as loaded-logo.pbm, and ends the program.
// The download goes to whatever port the settings file names. wholeScreen adds pictures of
// the whole screen (screen-*.png: window frames, the system's own file dialog) and a visit to
// the file dialog.
void StartScreenshotTour(frmPantallaTest& window, const QString& folder, bool wholeScreen = false);

}  // namespace kestrel
