// Where the settings live when the program's folder cannot be written.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "bitmapbytes.h"
#include "settings/programfolder.h"
#include "settings/recentfiles.h"
#include "tempfolder.h"

using kestrel::ChooseSettingsFolder;

class SettingsFolderTest : public QObject {
  Q_OBJECT

 private slots:
  void userFolderWhenProgramFolderIsReadOnly_data() {
    QTest::addColumn<bool>("programWritable");
    QTest::addColumn<QByteArray>("userIni");  // null: the user has none yet
    QTest::addColumn<bool>("inUserFolder");
    QTest::addColumn<QByteArray>("expected");  // the settings file where they are used
    const QByteArray beside("[SerialPort]\r\nCommPort= 2\r\n");
    const QByteArray own("[SerialPort]\r\nCommPort= 5\r\n");
    QTest::newRow("writable: beside the program") << true << QByteArray() << false << beside;
    QTest::newRow("read-only, first time: seeded from beside the program")
        << false << QByteArray() << true << beside;
    QTest::newRow("read-only later: the user's own file is kept") << false << own << true << own;
    // No folder can hold it: where the settings cannot be kept is said, not hidden.
    QTest::newRow("read-only, no usable home") << false << QByteArray("-") << true << QByteArray();
  }
  void userFolderWhenProgramFolderIsReadOnly() {
    QFETCH(bool, programWritable);
    QFETCH(QByteArray, userIni);
    QFETCH(bool, inUserFolder);
    QFETCH(QByteArray, expected);
    QTemporaryDir program;
    QTemporaryDir home;
    const QString user = home.filePath(QStringLiteral("config/kestrel-logo-loader"));
    QVERIFY(kestrel::test::WriteBytes(program.filePath(QStringLiteral("Tessaly.ini")),
                                      "[SerialPort]\r\nCommPort= 2\r\n"));
    if (userIni == "-") {
      QVERIFY(kestrel::test::WriteBytes(home.filePath(QStringLiteral("config")), "a file"));
    } else if (!userIni.isNull()) {
      QVERIFY(QDir().mkpath(user));
      QVERIFY(kestrel::test::WriteBytes(user + QStringLiteral("/Tessaly.ini"), userIni));
    }
    QFile::setPermissions(program.filePath(QStringLiteral("Tessaly.ini")), QFile::ReadOwner);

    const kestrel::SettingsPlace chosen =
        ChooseSettingsFolder(program.path(), programWritable, user);

    QCOMPARE(chosen.folder, inUserFolder ? user : program.path());
    QCOMPARE(chosen.problem.isEmpty(), !expected.isEmpty());
    if (expected.isEmpty()) return;
    QFile used(chosen.folder + QStringLiteral("/Tessaly.ini"));
    // The seeded copy is the user's to write, whatever the installed file's mode.
    QVERIFY(used.open(inUserFolder ? QIODevice::ReadWrite : QIODevice::ReadOnly));
    QCOMPARE(used.readAll(), expected);
  }

#ifdef Q_OS_WIN
  // An installed copy keeps its settings in %APPDATA% even where its folder may be written
  // (an administrator); a copy unpacked anywhere else keeps them beside itself.
  void programFilesIsNoPlaceForSettings() {
    const QString installed = QDir::fromNativeSeparators(qEnvironmentVariable("ProgramFiles")) +
                              QStringLiteral("/Kestrel settings test");
    if (!QDir().mkpath(installed)) QSKIP("Program Files cannot be written here");
    const bool mayLive = kestrel::detail::SettingsMayLiveIn(installed);
    QDir(installed).removeRecursively();
    QVERIFY(!mayLive);
    QTemporaryDir portable;
    QVERIFY(kestrel::detail::SettingsMayLiveIn(portable.path()));
    QCOMPARE(kestrel::UserSettingsFolder(),
             QDir::fromNativeSeparators(qEnvironmentVariable("APPDATA")) +
                 QStringLiteral("/kestrel-logo-loader"));
  }
#else
  // COMn links of an installed program are the user's to make, in the user's folder.
  void portLinksAreFoundWhereTheSettingsAre_data() {
    QTest::addColumn<QString>("program");  // "<temp>": a folder the user can write
    QTest::addColumn<bool>("linkInUserFolder");
    QTest::addColumn<bool>("found");
    QTest::newRow("installed: in the user's folder") << "/usr/bin" << true << true;
    QTest::newRow("installed, no link") << "/usr/bin" << false << false;
    QTest::newRow("portable: only beside the program") << "<temp>" << true << false;
  }
  void portLinksAreFoundWhereTheSettingsAre() {
    QFETCH(QString, program);
    QFETCH(bool, linkInUserFolder);
    QFETCH(bool, found);
    QTemporaryDir temp;
    QTemporaryDir home;
    program.replace(QStringLiteral("<temp>"), temp.path());
    const QString user = home.filePath(QStringLiteral("kestrel-logo-loader"));
    QVERIFY(QDir().mkpath(user));
    if (linkInUserFolder)
      QVERIFY(QFile::link(QStringLiteral("/dev/null"), user + QStringLiteral("/COM3")));
    qputenv("XDG_CONFIG_HOME", home.path().toLocal8Bit());
    kestrel::SetProgramFolder(program);
    const QString entry = kestrel::ProgramFolderEntry(QStringLiteral("COM3"));
    kestrel::SetProgramFolder(QString());
    qunsetenv("XDG_CONFIG_HOME");
    QCOMPARE(entry, (found ? user : program) + QStringLiteral("/COM3"));
  }
#endif

  // Open Bitmap's dialog starts on the last file only while Open Bitmap would take it.
  void openBitmapIsOfferedOnlyAFileItAccepts_data() {
    QTest::addColumn<QString>("last");
    QTest::addColumn<QString>("offered");  // "file", "folder" or empty
    QTest::newRow("a logo bitmap") << "logo.bmp" << "file";
    QTest::newRow("a picture imported last") << "photo.png" << "folder";
    QTest::newRow("a logo of the wrong size") << "wide.bmp" << "folder";
    QTest::newRow("deleted since") << "gone.bmp" << "folder";
    QTest::newRow("its folder deleted too") << "gone/gone.bmp" << "";
  }
  void openBitmapIsOfferedOnlyAFileItAccepts() {
    QFETCH(QString, last);
    QFETCH(QString, offered);
    kestrel::test::TempProgramFolder folder;
    using kestrel::test::BitmapBytes;
    kestrel::test::BitmapFields wide;
    wide.width = 241;
    QVERIFY(kestrel::test::WriteBytes(folder.filePath("logo.bmp"), BitmapBytes({}, QByteArray(1920, 0))));
    QVERIFY(kestrel::test::WriteBytes(folder.filePath("wide.bmp"), BitmapBytes(wide, QByteArray(1920, 0))));
    QVERIFY(kestrel::test::WriteBytes(folder.filePath("photo.png"), "\x89PNG\r\n\x1a\n"));
    const QString path = folder.filePath(last);
    kestrel::RememberFile(path);
    const QString expected = offered == QLatin1String("file")     ? path
                             : offered == QLatin1String("folder") ? QFileInfo(path).absolutePath()
                                                                  : QString();
    QCOMPARE(kestrel::RememberedLogoBitmap(), expected);
    QCOMPARE(kestrel::RememberedFile(), QFileInfo(path).exists() ? path : expected);
  }

  void userGuideIsFoundWhereEachKindOfCopyInstallsIt_data() {
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("guide");  // empty: none
    QTest::newRow("zip or installer") << "bundle" << "bundle/README.md";
    QTest::newRow("Debian package") << "usr/bin" << "usr/share/doc/kestrel-logo-loader/README.md";
    QTest::newRow("source tree") << "src/build/bin" << "src/packaging/README-user.md";
    QTest::newRow("none") << "bare/bin" << "";
  }
  void userGuideIsFoundWhereEachKindOfCopyInstallsIt() {
    QFETCH(QString, program);
    QFETCH(QString, guide);
    QTemporaryDir root;
    for (const char* file : {"bundle/README.md", "usr/share/doc/kestrel-logo-loader/README.md",
                             "src/packaging/README-user.md"}) {
      QVERIFY(QDir(root.path()).mkpath(QFileInfo(root.filePath(file)).path()));
      QVERIFY(kestrel::test::WriteBytes(root.filePath(file), "# Guide\n"));
    }
    for (const char* folder : {"usr/bin", "src/build/bin", "bare/bin"})
      QVERIFY(QDir(root.path()).mkpath(folder));
    QCOMPARE(kestrel::UserGuideOf(root.filePath(program)),
             guide.isEmpty() ? QString() : root.filePath(guide));
  }
};

QTEST_GUILESS_MAIN(SettingsFolderTest)
#include "tst_settingsfolder.moc"
