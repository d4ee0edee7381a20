// install-menu-entry as a user runs it from an unpacked folder: the menu entry it writes must
// start that folder's launcher, whatever the folder is called.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class MenuEntryTest : public QObject {
  Q_OBJECT

 private slots:
  // A desktop entry reads a single % in Exec as the start of a field code (%k, %f ...).
  void entryStartsTheLauncherOfAFolderNamedWithPercent() {
    QTemporaryDir root;
    const QString folder = root.filePath(QStringLiteral("50%k off"));
    QVERIFY(QDir().mkpath(folder));
    for (const char* name : {"install-menu-entry", "kestrel-logo-loader.desktop"})
      QVERIFY(QFile::copy(QStringLiteral(KESTREL_SOURCE_DIR "/packaging/") + QLatin1String(name),
                          QDir(folder).filePath(QLatin1String(name))));
    QProcess script;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_DATA_HOME"), root.filePath(QStringLiteral("data")));
    script.setProcessEnvironment(environment);
    script.start(QStringLiteral("bash"),
                 {QDir(folder).filePath(QStringLiteral("install-menu-entry"))});
    QVERIFY(script.waitForFinished(10000));
    QCOMPARE(script.exitCode(), 0);

    QFile entry(root.filePath(QStringLiteral("data/applications/kestrel-logo-loader.desktop")));
    QVERIFY(entry.open(QIODevice::ReadOnly));
    QStringList execLines;
    for (const QByteArray& line : entry.readAll().split('\n'))
      if (line.startsWith("Exec=")) execLines << QString::fromUtf8(line);
    const QString launcher = root.filePath(QStringLiteral("50%%k off/kestrel-run"));
    QCOMPARE(execLines, (QStringList{QStringLiteral("Exec=\"%1\"").arg(launcher),
                                     QStringLiteral("Exec=\"%1\" --simulate").arg(launcher)}));
  }
};

QTEST_GUILESS_MAIN(MenuEntryTest)
#include "tst_menuentry.moc"
