#pragma once

// The window tests' rig: messages captured instead of modal boxes, and the main window on a
// port of the test's choosing with a program folder of its own.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

#include "bitmapbytes.h"
#include "fakecommport.h"
#include "tempfolder.h"
#include "ui/mainwindow.h"
#include "ui/messagebox.h"

class QAction;
class QMenu;

namespace kestrel::test {

struct ShownMessage {
  QString text;
  QString title;
};

// Captures every message and question instead of showing a modal box, for the life of the
// object; questions get `answer`.
class MessageCapture {
 public:
  MessageCapture();
  ~MessageCapture();
  MessageCapture(const MessageCapture&) = delete;
  MessageCapture& operator=(const MessageCapture&) = delete;

  QList<ShownMessage> messages;
  std::function<void(const QString&, const QString&)> onMessage;
  QStringList questions;
  bool answer = false;

 private:
  MessageInterceptor previous_;
  QuestionInterceptor previousQuestion_;
};

inline const QByteArray kIniCom1Fast = "[SerialPort]\r\nCommPort= 1\r\nBaud= 115200,N,8,1\r\n";

// The main window started with a settings file (none when ini is null). By default the port
// is a FakeCommPort on which COM 1 to 8 exist, shaped by script before the window starts;
// realPort puts the real serial layer in its place; prepare then readies the folder (a COMn
// link, say) before the window starts.
class WindowRig {
 public:
  explicit WindowRig(const QByteArray& ini = kIniCom1Fast,
                     const std::function<void(FakeCommPort&)>& script = {});
  WindowRig(const QByteArray& ini, std::unique_ptr<CommControl> realPort,
            const std::function<void(TempProgramFolder&)>& prepare);

  TempProgramFolder folder;
  MessageCapture messages;
  FakeCommPort* port = nullptr;  // null with a real port
  std::unique_ptr<frmPantallaTest> window;
  int ended = 0;  // times the window ended the program
  QString chosenPath;

  QString writeBitmap(const QString& name, const QByteArray& bytes);
  QString writeLogo(const QString& name, const QByteArray& pixels, BitmapFields fields = {});
  void open(const QString& path);  // Open Bitmap, choosing path in the file dialog

  QAction* action(const char* name) const;
  QMenu* menu(const char* name) const;
  bool menuEnabled(const char* name) const;

  // Send as the button does, then the event loop until the download has ended and the window
  // has shown it; false when it did not end in time.
  bool send();
  bool waitForDownload();

  // The fake device accepts every awaited frame with ACK CR.
  void answerEveryFrame(const std::function<void(const QByteArray&)>& also = {});

 private:
  void startWindow(const QByteArray& ini, std::unique_ptr<CommControl> port,
                   DeviceExistsFn deviceExists);
};

}  // namespace kestrel::test
