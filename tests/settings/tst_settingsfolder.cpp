// Where the settings live when the program's folder cannot be written.
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
};

QTEST_GUILESS_MAIN(SettingsFolderTest)
#include "tst_settingsfolder.moc"
