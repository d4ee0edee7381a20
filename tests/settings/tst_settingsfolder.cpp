// Where the settings live when the program's folder cannot be written.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "settings/programfolder.h"
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
    if (!userIni.isNull()) {
      QVERIFY(QDir().mkpath(user));
      QVERIFY(kestrel::test::WriteBytes(user + QStringLiteral("/Tessaly.ini"), userIni));
    }
    QFile::setPermissions(program.filePath(QStringLiteral("Tessaly.ini")), QFile::ReadOwner);

    const QString chosen = ChooseSettingsFolder(program.path(), programWritable, user);

    QCOMPARE(chosen, inUserFolder ? user : program.path());
    QFile used(chosen + QStringLiteral("/Tessaly.ini"));
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
#endif
};

QTEST_GUILESS_MAIN(SettingsFolderTest)
#include "tst_settingsfolder.moc"
