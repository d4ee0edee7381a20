#pragma once

// Shared by the window tests: a recording status display, a settings folder of the test's own
// and message capture.

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <array>

#include "port/inifile.h"
#include "port/portconnection.h"
#include "port/programfolder.h"
#include "ui/messagebox.h"

namespace kestrel::test {

class RecordingDisplay : public PortDisplay {
 public:
  void setPanelText(int panel, const QString& text) override {
    panels.at(static_cast<size_t>(panel - 1)) = text;
    ++panelWrites.at(static_cast<size_t>(panel - 1));
  }
  QString panelText(int panel) const override { return panels.at(static_cast<size_t>(panel - 1)); }
  QString connectCaption() const override { return caption; }
  void setConnectCaption(const QString& c) override { caption = c; }
  void setPortMenusEnabled(bool enabled) override { portMenusEnabled = enabled; }

  std::array<QString, 5> panels{QStringLiteral("Not connected"), QStringLiteral("COM 1"),
                                QStringLiteral("115200bps, 8-N-1"), QString(), QString()};
  std::array<int, 5> panelWrites{};
  QString caption = QStringLiteral("Open");
  bool portMenusEnabled = true;
};

// Points the program folder at a fresh temporary folder for the life of the object.
class SettingsFolder {
 public:
  SettingsFolder() { SetProgramFolder(dir_.path()); }
  ~SettingsFolder() { SetProgramFolder(QString()); }
  SettingsFolder(const SettingsFolder&) = delete;
  SettingsFolder& operator=(const SettingsFolder&) = delete;

  QString path() const { return dir_.path(); }
  QString iniPath() const { return dir_.filePath(QString::fromLatin1(kIniFileName)); }
  bool iniExists() const { return QFile::exists(iniPath()); }

  // The file's bytes: what was written, blanks included.
  QByteArray iniBytes() const {
    QFile file(iniPath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }

  void writeIni(const QByteArray& bytes) const {
    QFile file(iniPath());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
  }

 private:
  QTemporaryDir dir_;
};

struct ShownMessage {
  QString text;
  QString title;
};

// Captures every message instead of showing a modal box.
class MessageCapture {
 public:
  MessageCapture() {
    previous_ = SetMessageInterceptor([this](const QString& text, const QString& title) {
      messages << ShownMessage{text, title};
      if (onMessage) onMessage(text, title);
    });
  }
  ~MessageCapture() { SetMessageInterceptor(previous_); }
  MessageCapture(const MessageCapture&) = delete;
  MessageCapture& operator=(const MessageCapture&) = delete;

  QList<ShownMessage> messages;
  std::function<void(const QString&, const QString&)> onMessage;

 private:
  MessageInterceptor previous_;
};

}  // namespace kestrel::test
