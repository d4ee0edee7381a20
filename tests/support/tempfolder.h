#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace kestrel::test {

// A temporary program folder: home of the settings file and of COMn links. ProgramFolder()
// points at it while the object lives, so tests never touch a real installation.
class TempProgramFolder {
 public:
  TempProgramFolder();
  ~TempProgramFolder();
  TempProgramFolder(const TempProgramFolder&) = delete;
  TempProgramFolder& operator=(const TempProgramFolder&) = delete;

  bool isValid() const { return dir_.isValid(); }
  QString path() const { return dir_.path(); }
  QString filePath(const QString& name) const { return dir_.filePath(name); }

  // Makes COM<port> a symbolic link to target.
  bool linkPort(int port, const QString& target);

  QString iniPath() const;
  bool iniExists() const;
  QByteArray iniBytes() const;  // what was written, blanks included
  bool writeIni(const QByteArray& bytes) const;
  bool writeIni(const QStringList& lines) const;  // each line ended by CR LF
  // The default download log's lines, header first, each without its CR LF.
  QList<QByteArray> logRows() const;

 private:
  QTemporaryDir dir_;
};

// Writes a whole file; false when it could not.
bool WriteBytes(const QString& path, const QByteArray& bytes);
// A whole file; empty when it cannot be read.
QByteArray ReadBytes(const QString& path);

}  // namespace kestrel::test
