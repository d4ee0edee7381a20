#include <QApplication>
#include <QDir>
#include <QFontDatabase>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "kestrel/version.h"
#include "texts/usertexts.h"
#include "ui/aboutdialog.h"
#include "ui/crlabel.h"
#include "ui/helpdialog.h"
#include "ui/messagebox.h"

using namespace kestrel;

class AboutAndHelpTest : public QObject {
  Q_OBJECT

 private slots:
  void helpLabelsKeepTheirCarriageReturnAndShowTwoLines_data() {
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::newRow("English") << "lblEnglish"
                             << "English:"
                             << "See file 'Help Programmable Logo KESTREL II.pdf'";
    QTest::newRow("Spanish") << "lblSpanish" << QString::fromUtf8("Espa\xc3\xb1ol:")
                             << "Ver archivo 'Manual programa Quillory para KESTREL II.pdf'";
  }
  void helpLabelsKeepTheirCarriageReturnAndShowTwoLines() {
    QFETCH(QString, label);
    QFETCH(QString, first);
    QFETCH(QString, second);
    frmHelp help;
    QCOMPARE(help.windowTitle(), QStringLiteral("Help"));
    QVERIFY(help.isModal());
    auto* shown = help.findChild<CrLabel*>(label);
    QVERIFY(shown);
    QCOMPARE(shown->rawText(), first + QChar(13) + second);
    QCOMPARE(shown->text().split(QLatin1Char('\n')), (QStringList{first, second}));
    // Both lines fit the label as laid out. Qt ships no fonts: its offscreen platform on
    // Windows finds none to measure with.
    if (QFontDatabase::families().isEmpty()) QSKIP("no fonts to measure the lines with");
    const QFontMetrics metrics(shown->font());
    QVERIFY(metrics.horizontalAdvance(second) <= shown->width());
    QVERIFY(2 * metrics.lineSpacing() <= shown->height());
  }

  // Run from the build tree, the guide is the source tree's; the line is shown whole.
  void helpSaysWhereTheUserGuideIs() {
    frmHelp help;
    const QString text = QDir::fromNativeSeparators(help.lblGuide()->text());  // C:\ on Windows
    const QString lead = QStringLiteral("User's guide: ");
    QVERIFY2(text.startsWith(lead) && QDir::isAbsolutePath(text.mid(lead.size())) &&
                 text.endsWith(QStringLiteral("/packaging/README-user.md")),
             qPrintable(text));
    QVERIFY(help.lblGuide()->geometry().bottom() < help.height());
    QVERIFY(help.lblGuide()->geometry().top() > help.lblSpanish()->geometry().bottom());
  }

  void helpOkButtonClosesTheWindow() {
    frmHelp help;
    help.show();
    auto* ok = help.findChild<QPushButton*>(QStringLiteral("OKButton"));
    QCOMPARE(ok->text(), QStringLiteral("OK"));
    ok->click();
    QVERIFY(!help.isVisible());
  }

  void aboutShowsTitleVersionDescriptionAndMaker() {
    frmAbout about;
    QCOMPARE(about.windowTitle(), QStringLiteral("About ..."));
    QVERIFY(about.isModal());
    QCOMPARE(about.findChild<QLabel*>(QStringLiteral("lblTitle"))->text(),
             QStringLiteral("Kestrel II Logo loader"));
    QCOMPARE(about.findChild<QLabel*>(QStringLiteral("lblDescription"))->text(),
             QStringLiteral("Downloader for programable initial Logo"));
    // The build's own version numbers, from the project version.
    QCOMPARE(about.findChild<QLabel*>(QStringLiteral("lblVersion"))->text(),
             QStringLiteral("Version ") + QString::number(kVersionMajor) + QLatin1Char('.') +
                 QString::number(kVersionMinor) + QLatin1Char('.') +
                 QString::number(kVersionPatch));
    auto* disclaimer = about.findChild<CrLabel*>(QStringLiteral("lblDisclaimer"));
    const QStringList lines = disclaimer->rawText().split(QChar(13));
    QCOMPARE(lines.size(), 3);
    QVERIFY(lines[0].contains(QStringLiteral("Quillory")));
    QCOMPARE(lines[2], QStringLiteral("2010"));
    QVERIFY(!disclaimer->rawText().contains(QLatin1Char('\n')));
    QCOMPARE(disclaimer->text().count(QLatin1Char('\n')), 2);
    QVERIFY(about.findChild<QWidget*>(QStringLiteral("Line1")));
    auto* ok = about.findChild<QPushButton*>(QStringLiteral("cmdOK"));
    QCOMPARE(ok->text(), QStringLiteral("Aceptar"));
    QVERIFY(ok->isDefault());
  }

  void versionTextJoinsThreeNumbersWithoutBlanks_data() {
    QTest::addColumn<int>("major");
    QTest::addColumn<int>("minor");
    QTest::addColumn<int>("revision");
    QTest::addColumn<QString>("expected");
    QTest::newRow("1.0.0") << 1 << 0 << 0 << "Version 1.0.0";
    QTest::newRow("2.10.3") << 2 << 10 << 3 << "Version 2.10.3";
    QTest::newRow("12.0.105") << 12 << 0 << 105 << "Version 12.0.105";
  }
  void versionTextJoinsThreeNumbersWithoutBlanks() {
    QFETCH(int, major);
    QFETCH(int, minor);
    QFETCH(int, revision);
    QFETCH(QString, expected);
    QCOMPARE(texts::VersionText(major, minor, revision), expected);
  }

  void aboutClosesOnEscEnterAndItsButton_data() {
    QTest::addColumn<int>("key");  // 0: click the button
    QTest::newRow("Esc") << int(Qt::Key_Escape);
    QTest::newRow("Enter") << int(Qt::Key_Return);
    QTest::newRow("keypad Enter") << int(Qt::Key_Enter);
    QTest::newRow("button") << 0;
  }
  void aboutClosesOnEscEnterAndItsButton() {
    QFETCH(int, key);
    frmAbout about;
    bool closedInTime = false;
    // Driven from inside the modal loop, as a user would.
    QTimer::singleShot(0, &about, [&] {
      QVERIFY(about.isVisible());
      if (key)
        QTest::keyClick(&about, Qt::Key(key));
      else
        about.findChild<QPushButton*>(QStringLiteral("cmdOK"))->click();
      closedInTime = !about.isVisible();
      if (!closedInTime) about.done(QDialog::Rejected);
    });
    about.exec();
    QVERIFY(closedInTime);
  }

  // --- Message box ---

  void messageBoxShowsCriticalIconOneOkAndLineBreaks_data() {
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("shownTitle");
    QTest::newRow("no title") << QString() << "Kestrel II Logo loader";
    QTest::newRow("own title") << "Port Error"
                               << "Port Error";
  }
  void messageBoxShowsCriticalIconOneOkAndLineBreaks() {
    QFETCH(QString, title);
    QFETCH(QString, shownTitle);
    QWidget parent;
    parent.show();
    // A box over a disabled window (as during a download) must still take its OK.
    parent.setEnabled(false);
    QMessageBox* seen = nullptr;
    QString text, windowTitle;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int buttons = 0;
    bool usable = false;
    QTimer::singleShot(0, &parent, [&] {
      seen = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!seen) return;
      text = seen->text();
      windowTitle = seen->windowTitle();
      icon = seen->icon();
      buttons = int(seen->buttons().size());
      QAbstractButton* ok = seen->button(QMessageBox::Ok);
      usable = seen->isEnabled() && ok && ok->isEnabled();
      if (ok) QTest::mouseClick(ok, Qt::LeftButton);
      if (seen->isVisible()) seen->done(0);
    });
    ShowMessage(&parent, QStringLiteral("LINE ONE !!\r\rLine three\r"), title);
    QVERIFY(seen);
    QCOMPARE(text, QStringLiteral("LINE ONE !!\n\nLine three\n"));
    QCOMPARE(windowTitle, shownTitle);
    QCOMPARE(icon, QMessageBox::Critical);
    QCOMPARE(buttons, 1);
    QVERIFY(usable);
  }

  void interceptorReceivesTheRawTextAndTitle() {
    QString text, title;
    const MessageInterceptor previous =
        SetMessageInterceptor([&](const QString& t, const QString& c) {
          text = t;
          title = c;
        });
    ShowMessage(nullptr, QStringLiteral("A\rB"), QStringLiteral("T"));
    SetMessageInterceptor(previous);
    QCOMPARE(text, QStringLiteral("A\rB"));
    QCOMPARE(title, QStringLiteral("T"));
  }
};

QTEST_MAIN(AboutAndHelpTest)
#include "tst_aboutandhelp.moc"
