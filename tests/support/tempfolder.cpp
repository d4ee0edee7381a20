#include "tempfolder.h"

#include <QFile>

#include "settings/inifile.h"
#include "settings/programfolder.h"

namespace kestrel::test {

TempProgramFolder::TempProgramFolder() {
  if (dir_.isValid()) SetProgramFolder(dir_.path());
}

TempProgramFolder::~TempProgramFolder() { SetProgramFolder(QString()); }

bool TempProgramFolder::linkPort(int port, const QString& target) {
  const QString link = filePath(QStringLiteral("COM%1").arg(port));
  QFile::remove(link);
  return QFile::link(target, link);
}

QString TempProgramFolder::iniPath() const { return filePath(QString::fromLatin1(kIniFileName)); }

bool TempProgramFolder::iniExists() const { return QFile::exists(iniPath()); }

QByteArray TempProgramFolder::iniBytes() const {
  QFile file(iniPath());
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool TempProgramFolder::writeIni(const QByteArray& bytes) const {
  return WriteBytes(iniPath(), bytes);
}

bool TempProgramFolder::writeIni(const QStringList& lines) const {
  QByteArray bytes;
  for (const QString& line : lines) bytes += line.toLatin1() + "\r\n";
  return writeIni(bytes);
}

QList<QByteArray> TempProgramFolder::logRows() const {
  QFile file(filePath(QStringLiteral("kestrel-loads.log")));
  if (!file.open(QIODevice::ReadOnly)) return {};
  QList<QByteArray> rows = file.readAll().split('\n');
  if (rows.last().isEmpty()) rows.removeLast();
  for (QByteArray& row : rows) row.chop(row.endsWith('\r') ? 1 : 0);
  return rows;
}

bool WriteBytes(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush();
}

QByteArray ReadBytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace kestrel::test
