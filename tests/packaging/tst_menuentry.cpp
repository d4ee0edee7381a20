// install-menu-entry as a user runs it from an unpacked folder: the menu entry it writes must
// start that folder's launcher, whatever the folder is called.
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class MenuEntryTest : public QObject {
  Q_OBJECT

 private slots:
  // A desktop entry reads a single % in Exec as the start of a field code (%k, %f ...).
  void entryStartsTheLauncherOfAFolderNamedWithPercent() {
    QTemporaryDir root;
    const QDir folder(root.filePath(QStringLiteral("50%k off")));
    QVERIFY(folder.mkpath(QStringLiteral(".")));
    for (const char* name : {"install-menu-entry", "kestrel-logo-loader.desktop"})
      QVERIFY(QFile::copy(QStringLiteral(KESTREL_SOURCE_DIR "/packaging/") + QLatin1String(name),
                          folder.filePath(QLatin1String(name))));
    QProcess script;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_DATA_HOME"), root.path());
    script.setProcessEnvironment(environment);
    script.start(QStringLiteral("bash"), {folder.filePath(QStringLiteral("install-menu-entry"))});
    QVERIFY(script.waitForFinished(10000) && script.exitCode() == 0);

    QFile entry(root.filePath(QStringLiteral("applications/kestrel-logo-loader.desktop")));
    QVERIFY(entry.open(QIODevice::ReadOnly));
    const QString launcher = root.filePath(QStringLiteral("50%%k off/kestrel-run"));
    const QStringList lines = QString::fromUtf8(entry.readAll()).split(QLatin1Char('\n'));
    QCOMPARE(lines.filter(QRegularExpression(QStringLiteral("^Exec="))),
             (QStringList{QStringLiteral("Exec=\"%1\"").arg(launcher),
                          QStringLiteral("Exec=\"%1\" --simulate").arg(launcher)}));
  }
};

QTEST_GUILESS_MAIN(MenuEntryTest)
#include "tst_menuentry.moc"
