// The files the program opens and saves, against what a hostile folder may hold in their
// place: FIFOs, devices, links, a huge sparse bitmap, a file owned by someone else, the
// converter's own input.
#include <sys/stat.h>
#include <unistd.h>
#if __has_include(<sys/sysmacros.h>)
#include <sys/sysmacros.h>  // makedev on Linux
#endif

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include "bitmapbytes.h"
#include "converterrun.h"
#include "logo/bitmapfile.h"
#include "picture/pictureread.h"
#include "settings/inifile.h"
#include "tempfolder.h"
#include "texts/picturetexts.h"

using namespace kestrel;
using Outcome = LogoFileResult::Outcome;

namespace {

struct stat StatOf(const QString& path) {
  struct stat st {};
  ::stat(QFile::encodeName(path).constData(), &st);
  return st;
}

mode_t TypeOf(const QString& path) { return StatOf(path).st_mode & S_IFMT; }

QByteArray Contents(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

bool Link(const QString& target, const QString& link) {
  return ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()) == 0;
}

}  // namespace

class FileAccessTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;
  QString logoPng_;

  QString PathFor(const QString& name) const { return dir_.filePath(name); }

  QString Fifo(const QString& name) const {
    const QString path = PathFor(name);
    if (::mkfifo(QFile::encodeName(path).constData(), 0600) != 0) qFatal("mkfifo failed");
    return path;
  }

  // A node of the system's null or zero device. As root it is a node of the test's own, so
  // that a faulty build renames over that one and not over the system's.
  QString Device(const char* name, unsigned minor) const {
    const QString own = PathFor(QLatin1String(name));
    if (::geteuid() != 0) return QStringLiteral("/dev/") + QLatin1String(name);
    if (!QFile::exists(own) &&
        ::mknod(QFile::encodeName(own).constData(), S_IFCHR | 0666, makedev(1, minor)) != 0)
      qFatal("mknod failed");
    return own;
  }

 private slots:
  void initTestCase() {
    QVERIFY(dir_.isValid());
    logoPng_ = PathFor(QStringLiteral("logo.png"));
    QVERIFY(test::SaveWhitePicture(logoPng_));
  }

  // Nobody ever writes to these FIFOs: a reader that waited for a writer would hang here.
  void specialFilesAreRefusedAtOnce_data() {
    QTest::addColumn<QString>("path");
    const QString fifo = Fifo(QStringLiteral("fifo"));
    QTest::newRow("FIFO") << fifo;
    const QString link = PathFor(QStringLiteral("fifo-link"));
    QVERIFY(Link(fifo, link));
    QTest::newRow("link to a FIFO") << link;
    QTest::newRow("device without end") << Device("zero", 5);
    QTest::newRow("folder") << dir_.path();
  }
  void specialFilesAreRefusedAtOnce() {
    QFETCH(QString, path);
    const mode_t type = TypeOf(path);

    const LogoFileResult bitmap = ReadLogoBitmap(path);
    QCOMPARE(int(bitmap.outcome), int(Outcome::CannotOpen));
    QVERIFY(!bitmap.openError.isEmpty());

    QCOMPARE(ArchivoIni::ReadProfileString(path, "SerialPort", "CommPort"), QString());
    QVERIFY(!ArchivoIni::WriteProfileString(path, "SerialPort", "CommPort", " 2"));

    convert::PictureFailure failure;
    QVERIFY(convert::LoadPicture(path, &failure).isNull());
    const QString error = texts::PictureFailureText(failure);
    QVERIFY2(error.startsWith(QStringLiteral("cannot read")), qPrintable(error));

    QCOMPARE(TypeOf(path), type);
  }

  void hugeSparseBitmapReadsOnlyItsRows() {
    test::BitmapFields f;
    f.imageSize = 0x7FFFFFF0;
    const QByteArray pixels = test::PatternPixels();
    const QString path = PathFor(QStringLiteral("huge.bmp"));
    {
      QFile file(path);
      QVERIFY(file.open(QIODevice::WriteOnly));
      QVERIFY(file.write(test::BitmapBytes(f, pixels)) > 0);
      // Really that long, as a hole: no disk space, and every byte the header claims is there.
      QVERIFY(file.resize(62 + qint64{f.imageSize}));
    }
    const LogoFileResult result = ReadLogoBitmap(path);
    QCOMPARE(int(result.outcome), int(Outcome::Accepted));
    QCOMPARE(result.pixels, pixels);
    QVERIFY(QFile::remove(path));
  }

  void settingsSaveKeepsOwnerAndModeAndWritesThroughLinks() {
    const QString target = PathFor(QStringLiteral("owned.ini"));
    const QString link = PathFor(QStringLiteral("Tessaly.ini"));
    QVERIFY(test::WriteBytes(target, "[SerialPort]\r\nCommPort= 1\r\n"));
    QCOMPARE(::chmod(QFile::encodeName(target).constData(), 0640), 0);
    // Run as root (sudo), a save must leave the file its owner's.
    if (::geteuid() == 0) QCOMPARE(::chown(QFile::encodeName(target).constData(), 65534, 65534), 0);
    const struct stat before = StatOf(target);
    QVERIFY(Link(QStringLiteral("owned.ini"), link));

    QVERIFY(ArchivoIni::WriteProfileString(link, "SerialPort", "CommPort", " 2"));

    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(Contents(target), QByteArray("[SerialPort]\r\nCommPort= 2\r\n"));
    const struct stat after = StatOf(target);
    QCOMPARE(after.st_uid, before.st_uid);
    QCOMPARE(after.st_gid, before.st_gid);
    QCOMPARE(after.st_mode & 07777, mode_t{0640});
  }

  void converterNeverReplacesItsInput_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("messagePart");
    const QString same = QStringLiteral("would replace the input");
    const QString spelled = dir_.path() + QStringLiteral("/../") +
                            QFileInfo(dir_.path()).fileName() + QStringLiteral("/./logo.png");
    const QString link = PathFor(QStringLiteral("logo-link.png"));
    QVERIFY(Link(logoPng_, link));
    const QString hard = PathFor(QStringLiteral("logo-hard.png"));
    QVERIFY(QFile::exists(hard) || ::link(QFile::encodeName(logoPng_).constData(),
                                          QFile::encodeName(hard).constData()) == 0);
    const QString out = PathFor(QStringLiteral("out.bmp"));
    const QString toOut = PathFor(QStringLiteral("preview-to-out.png"));
    QVERIFY(Link(out, toOut));

    QTest::newRow("same name") << QStringList{logoPng_, logoPng_} << 64 << same;
    QTest::newRow("other spelling") << QStringList{logoPng_, spelled} << 64 << same;
    QTest::newRow("symbolic link") << QStringList{link, logoPng_} << 64 << same;
    QTest::newRow("hard link") << QStringList{logoPng_, hard} << 64 << same;
    QTest::newRow("preview is the input")
        << QStringList{logoPng_, out, QStringLiteral("--preview"), link} << 64 << same;
    // The link leads to the bitmap only once that is written.
    QTest::newRow("preview links to the bitmap to be")
        << QStringList{logoPng_, out, QStringLiteral("--preview"), toOut} << 1
        << QStringLiteral("must be different files");
  }
  void converterNeverReplacesItsInput() {
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, messagePart);
    const QByteArray before = Contents(logoPng_);
    QString errors;
    QCOMPARE(test::RunConverterHere(arguments, &errors), exitCode);
    QVERIFY2(errors.contains(messagePart), qPrintable(errors));
    QCOMPARE(Contents(logoPng_), before);
    const QString out = PathFor(QStringLiteral("out.bmp"));
    if (QFile::exists(out)) {
      QCOMPARE(int(ReadLogoBitmap(out).outcome), int(Outcome::Accepted));
      QVERIFY(QFile::remove(out));
    }
  }

  void converterNeverReplacesSpecialFiles_data() {
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("preview");
    // As root a rename over a device node would succeed and leave a regular file there.
    QTest::newRow("device as bitmap") << Device("null", 3) << QString();
    QTest::newRow("FIFO as bitmap") << Fifo(QStringLiteral("out-fifo")) << QString();
    QTest::newRow("FIFO as preview")
        << PathFor(QStringLiteral("kept-out.bmp")) << Fifo(QStringLiteral("preview-fifo"));
  }
  void converterNeverReplacesSpecialFiles() {
    QFETCH(QString, output);
    QFETCH(QString, preview);
    const mode_t outputType = TypeOf(output);
    QStringList arguments{logoPng_, output};
    if (!preview.isEmpty()) arguments << QStringLiteral("--preview") << preview;
    QString errors;
    QCOMPARE(test::RunConverterHere(arguments, &errors), 1);
    QVERIFY2(errors.contains(QStringLiteral("not a regular file")), qPrintable(errors));
    QCOMPARE(TypeOf(output), outputType);
    if (!preview.isEmpty()) {
      QCOMPARE(TypeOf(preview), mode_t{S_IFIFO});
      QVERIFY(!QFile::exists(output));  // refused before anything was written
    }
  }
};

QTEST_GUILESS_MAIN(FileAccessTest)
#include "tst_fileaccess.moc"
