#include "windowrig.h"

#include <QAction>
#include <QMenu>

#include "downloadrun.h"

namespace kestrel::test {

MessageCapture::MessageCapture() {
  previous_ = SetMessageInterceptor([this](const QString& text, const QString& title) {
    messages << ShownMessage{text, title};
    if (onMessage) onMessage(text, title);
  });
  previousQuestion_ = SetQuestionInterceptor([this](const QString& text) {
    questions << text;
    return answer;
  });
}

MessageCapture::~MessageCapture() {
  SetMessageInterceptor(previous_);
  SetQuestionInterceptor(previousQuestion_);
}

WindowRig::WindowRig(const QByteArray& ini, const std::function<void(FakeCommPort&)>& script) {
  auto fake = std::make_unique<FakeCommPort>();
  fake->onlyPorts1to8Exist = true;
  if (script) script(*fake);
  port = fake.get();
  FakeCommPort* scripted = port;
  startWindow(ini, std::move(fake),
              [scripted](const QString& device) { return scripted->exists(device); });
  window->link().setReplyTimeout(40);
}

WindowRig::WindowRig(const QByteArray& ini, std::unique_ptr<CommControl> realPort,
                     const std::function<void(TempProgramFolder&)>& prepare) {
  prepare(folder);
  startWindow(ini, std::move(realPort), SerialDeviceExists);
}

void WindowRig::startWindow(const QByteArray& ini, std::unique_ptr<CommControl> commPort,
                            DeviceExistsFn deviceExists) {
  if (!ini.isNull()) folder.writeIni(ini);
  window = std::make_unique<frmPantallaTest>(std::move(commPort), std::move(deviceExists));
  window->setEndProgram([this] { ++ended; });
  window->setFileChooser([this](QWidget*) { return chosenPath; });
}

QString WindowRig::writeBitmap(const QString& name, const QByteArray& bytes) {
  const QString path = folder.filePath(name);
  WriteBytes(path, bytes);
  return path;
}

QString WindowRig::writeLogo(const QString& name, const QByteArray& pixels, BitmapFields fields) {
  return writeBitmap(name, BitmapBytes(fields, pixels));
}

void WindowRig::open(const QString& path) {
  chosenPath = path;
  window->cmdOpen_Click();
}

QAction* WindowRig::action(const char* name) const {
  return window->findChild<QAction*>(QLatin1String(name));
}

QMenu* WindowRig::menu(const char* name) const {
  return window->findChild<QMenu*>(QLatin1String(name));
}

bool WindowRig::menuEnabled(const char* name) const {
  return menu(name)->menuAction()->isEnabled();
}

bool WindowRig::send() {
  window->cmdSend_Click();
  return waitForDownload();
}

bool WindowRig::waitForDownload() { return WaitForDownloadEnd(window->transfer()); }

void WindowRig::answerEveryFrame(const std::function<void(const QByteArray&)>& also) {
  port->onWrite = [this, also](const QByteArray& frame) {
    if (also) also(frame);
    if (frame != "00\r") port->deliver(QByteArray("\x06\r", 2));
  };
}

}  // namespace kestrel::test
