// The files the program opens and saves on Windows: device names that exist in every folder
// and \\.\ paths are refused like FIFOs on POSIX systems, file names beyond ASCII work, a save
// swaps in a complete file or changes nothing.
#include <windows.h>
#undef WriteProfileString  // windows.h's, not the settings file's

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "app/downloadlog.h"
#include "bitmapbytes.h"
#include "converterrun.h"
#include "files/fileaccess.h"
#include "logo/bitmapfile.h"
#include "picture/pictureread.h"
#include "settings/inifile.h"
#include "tempfolder.h"

using namespace kestrel;
using Outcome = LogoFileResult::Outcome;

namespace {

QByteArray Contents(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

std::wstring Native(const QString& path) { return QDir::toNativeSeparators(path).toStdWString(); }

}  // namespace

class FileAccessWindowsTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;
  QString logoPng_;

  QString PathFor(const QString& name) const { return dir_.filePath(name); }

 private slots:
  void initTestCase() {
    QVERIFY(dir_.isValid());
    logoPng_ = PathFor(QStringLiteral("logo.png"));
    QVERIFY(test::SaveWhitePicture(logoPng_));
  }

  // Opening any of these would reach a device (COM1 raises its control lines, CON waits for
  // the keyboard): each is refused by name, for reading and for writing.
  void deviceNamesAreRefused_data() {
    QTest::addColumn<QString>("path");
    QTest::newRow("NUL") << PathFor(QStringLiteral("NUL"));
    QTest::newRow("con with extension") << PathFor(QStringLiteral("con.bmp"));
    QTest::newRow("COM1 in a folder") << PathFor(QStringLiteral("sub/COM1.log"));
    QTest::newRow("lpt1 blank before dot") << PathFor(QStringLiteral("lpt1 .ini"));
    QTest::newRow("aux two extensions") << PathFor(QStringLiteral("Aux.tar.gz"));
    QTest::newRow("COM superscript one") << PathFor(QStringLiteral("COM\u00B9.bmp"));
    QTest::newRow("device namespace") << QStringLiteral("\\\\.\\NUL");
    QTest::newRow("pipe") << QStringLiteral("\\\\.\\pipe\\kestrel-test");
    QTest::newRow("forward slashes") << QStringLiteral("//./COM1");
  }
  void deviceNamesAreRefused() {
    QFETCH(QString, path);
    const LogoFileResult bitmap = ReadLogoBitmap(path);
    QCOMPARE(int(bitmap.outcome), int(Outcome::CannotOpen));
    QVERIFY(!bitmap.openError.isEmpty());

    QCOMPARE(ArchivoIni::ReadProfileString(path, "SerialPort", "CommPort"), QString());
    QVERIFY(!ArchivoIni::WriteProfileString(path, "SerialPort", "CommPort", " 2"));
    QVERIFY(!files::SaveProblem(path).isEmpty());

    convert::PictureFailure failure;
    QVERIFY(convert::LoadPicture(path, &failure).isNull());
    QCOMPARE(int(failure.kind), int(convert::PictureFailure::Kind::CannotRead));
    QString error;
    QCOMPARE(test::RunConverterHere({logoPng_, path}, &error), 1);
    QVERIFY2(error.contains(QStringLiteral("not a regular file")), qPrintable(error));

    DownloadLog log(path);
    const QString logError = log.append(DownloadRecord{});
    QVERIFY2(logError.contains(QStringLiteral("not a regular file")), qPrintable(logError));
  }

  // Names that only look like device names are ordinary files.
  void nearDeviceNamesAreFiles_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("COM10") << "COM10.bmp";
    QTest::newRow("console") << "console.bmp";
    QTest::newRow("null") << "NULL.bmp";
    QTest::newRow("extension only") << "logo.com1";
  }
  void nearDeviceNamesAreFiles() {
    QFETCH(QString, name);
    QString errors;
    QCOMPARE(test::RunConverterHere({logoPng_, PathFor(name)}, &errors), 0);
    QCOMPARE(int(ReadLogoBitmap(PathFor(name)).outcome), int(Outcome::Accepted));
  }

  void namesBeyondAsciiWork() {
    const QString folder = PathFor(QStringLiteral("Logos \u00E9t\u00E9 \u03A9"));
    QVERIFY(QDir().mkpath(folder));
    const QString bitmap = folder + QStringLiteral("/Se\u00F1al \u65E5\u672C.bmp");
    QString errors;
    QCOMPARE(test::RunConverterHere({logoPng_, bitmap}, &errors), 0);
    QCOMPARE(int(ReadLogoBitmap(bitmap).outcome), int(Outcome::Accepted));

    const QString ini = folder + QStringLiteral("/Tessaly.ini");
    QVERIFY(ArchivoIni::WriteProfileString(ini, "SerialPort", "CommPort", " 4"));
    QCOMPARE(ArchivoIni::ReadProfileString(ini, "SerialPort", "CommPort"), QStringLiteral("4"));

    DownloadLog log(folder + QStringLiteral("/Protokoll \u00FC.log"));
    QCOMPARE(log.append(DownloadRecord{}), QString());
    QVERIFY(Contents(log.path()).startsWith(kDownloadLogHeader));
  }

  // A complete new file replaces the old one, nothing of the attempt stays beside it; a file
  // that may not be changed is left as it was.
  void savingReplacesSafely() {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("Tessaly.ini"));
    QVERIFY(test::WriteBytes(path, "old"));
    QCOMPARE(files::SaveFile(path, "new content"), QString());
    QCOMPARE(Contents(path), QByteArray("new content"));
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("Tessaly.ini")});

    QVERIFY(SetFileAttributesW(Native(path).c_str(), FILE_ATTRIBUTE_READONLY));
    QVERIFY(!files::SaveProblem(path).isEmpty());
    QVERIFY(!files::SaveFile(path, "lost").isEmpty());
    QCOMPARE(Contents(path), QByteArray("new content"));
    QVERIFY(SetFileAttributesW(Native(path).c_str(), FILE_ATTRIBUTE_NORMAL));
  }

  // A file with two names keeps both: it is written in place, not replaced.
  void hardLinkedFileIsWrittenInPlace() {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("Tessaly.ini"));
    const QString other = folder.filePath(QStringLiteral("shared.ini"));
    QVERIFY(test::WriteBytes(path, "old content"));
    if (!CreateHardLinkW(Native(other).c_str(), Native(path).c_str(), nullptr))
      QSKIP("no hard links on this file system");
    QVERIFY(files::SameFile(path, other));
    QCOMPARE(files::SaveFile(path, "new"), QString());
    QCOMPARE(Contents(other), QByteArray("new"));
    QVERIFY(files::SameFile(path, other));
  }

  void sameFileThroughAnotherSpelling() {
    const QString upper = dir_.path() + QStringLiteral("\\.\\LOGO.PNG");
    QVERIFY(files::SameFile(logoPng_, upper));
    QString errors;
    QCOMPARE(test::RunConverterHere({logoPng_, upper}, &errors), 64);
    QVERIFY2(errors.contains(QStringLiteral("would replace the input")), qPrintable(errors));
    QVERIFY(!files::SameFile(logoPng_, QStringLiteral("NUL")));
  }

  void folderIsRefusedForAppending() {
    const QString folder = PathFor(QStringLiteral("loads.log"));
    QVERIFY(QDir().mkpath(folder));
    DownloadLog log(folder);
    const QString error = log.append(DownloadRecord{});
    QVERIFY2(error.contains(QStringLiteral("it is a folder")), qPrintable(error));
  }
};

QTEST_GUILESS_MAIN(FileAccessWindowsTest)
#include "tst_fileaccess_windows.moc"
