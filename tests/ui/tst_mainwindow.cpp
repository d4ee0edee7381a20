#include <QAction>
#include <QApplication>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSemaphore>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <memory>

#include "picture/logoconvert.h"
#include "ui/importpicturedialog.h"
#include "ui/portdialogs.h"
#include "windowrig.h"

using namespace kestrel;
using kestrel::test::BitmapBytes;
using kestrel::test::BitmapFields;
using kestrel::test::FakeCommPort;
using kestrel::test::kIniCom1Fast;
using kestrel::test::WindowRig;

namespace {

// Every pixel palette index 1 (white) but the top-left one: raster byte 0 is 0x80, the rest 0.
QByteArray TopLeftDotPixels() {
  QByteArray pixels(1920, '\xFF');
  pixels[1888] = '\x7F';
  return pixels;
}

QImage PreviewImage(const frmPantallaTest& window) {
  return window.Image1()->pixmap().toImage().convertToFormat(QImage::Format_RGB32);
}

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void startsWithSendGreyedAndTheDesignedControls() {
    WindowRig rig;
    frmPantallaTest& w = *rig.window;
    QCOMPARE(w.windowTitle(), QStringLiteral("Quillory KESTREL II"));
    QVERIFY(!w.cmdSend()->isEnabled());
    QVERIFY(w.cmdOpen()->isEnabled());
    QVERIFY(w.prgBar()->isHidden());
    QCOMPARE(w.prgBar()->maximum(), 100);
    QVERIFY(w.Image1()->pixmap().isNull());
    QCOMPARE(w.findChild<QLabel*>(QStringLiteral("Label1"))->text(),
             QStringLiteral("INITIAL LOGO LOADER FOR KESTREL II"));
    QCOMPARE(w.cmdOpen()->text(), QStringLiteral("Open Bitmap"));
    QCOMPARE(w.cmdSend()->text(), QStringLiteral("Send to Kestrel-II"));
    QCOMPARE(w.cmdOpen()->nextInFocusChain(), w.cmdSend());
    QCOMPARE(w.LogoData(), LogoRaster{});
  }

  void layoutFollowsTheDesignInPixels() {
    // Qt ships no fonts: its offscreen platform on Windows finds none to measure with.
    if (QFontDatabase::families().isEmpty()) QSKIP("no fonts to lay the window out with");
    WindowRig rig;
    frmPantallaTest& w = *rig.window;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QWidget* client = w.centralWidget();
    QCOMPARE(client->width(), 537);
    QCOMPARE(client->height() + w.statusBar()->height(), 282);
    QCOMPARE(w.statusBar()->height(), 25);
    QCOMPARE(w.findChild<QLabel*>(QStringLiteral("Label1"))->geometry(), QRect(40, 16, 465, 25));
    QCOMPARE(w.Image1()->contentsRect().size(), QSize(480, 120));
    QCOMPARE(w.Image1()->mapTo(client, w.Image1()->contentsRect().topLeft()), QPoint(32, 48));
    QCOMPARE(w.Image1()->frameShape(), QFrame::Box);
    QCOMPARE(w.prgBar()->geometry(), QRect(40, 176, 465, 17));
    QCOMPARE(w.cmdOpen()->geometry(), QRect(112, 200, 161, 33));
    QCOMPARE(w.cmdSend()->geometry(), QRect(296, 200, 121, 33));
    const QList<int> widths{93, 96, 133, 67, 67};
    for (int i = 0; i < 5; ++i) {
      auto* panel = w.findChild<QLabel*>(QStringLiteral("staBarPanel%1").arg(i + 1));
      // The designed width, grown only where the text would otherwise be cut off.
      if (i < 3) QCOMPARE(panel->width(), widths[i]);
      QVERIFY(panel->width() >= widths[i]);
      QVERIFY(panel->fontMetrics().horizontalAdvance(panel->text()) <=
              panel->contentsRect().width());
    }

    auto* label = w.findChild<QLabel*>(QStringLiteral("Label1"));
    QCOMPARE(label->font().pointSizeF(), 14.25);
    QVERIFY(label->font().bold());
    QCOMPARE(w.cmdOpen()->font().pointSizeF(), 8.25);
    QVERIFY(w.cmdSend()->font().bold());
    QCOMPARE(w.statusBar()->font().pointSizeF(), 9.75);
  }

  void onlyTheStatusBarFollowsAResize() {
    WindowRig rig;
    frmPantallaTest& w = *rig.window;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const QRect open = w.cmdOpen()->geometry();
    const QRect image = w.Image1()->geometry();
    w.resize(760, 480);
    QTRY_COMPARE(w.statusBar()->width(), 760);
    QCOMPARE(w.statusBar()->geometry().bottom(), w.height() - 1);
    QCOMPARE(w.cmdOpen()->geometry(), open);
    QCOMPARE(w.Image1()->geometry(), image);
  }

  void menusCarryTheirCaptionsAndInitialStates() {
    WindowRig rig;
    QStringList titles;
    for (QAction* top : rig.window->menuBar()->actions()) titles << top->text();
    QCOMPARE(titles, (QStringList{QStringLiteral("&File"), QStringLiteral("&Comm"),
                                  QStringLiteral("&Help")}));

    // Every entry has an access key; Port and Settings, greyed while the port is open, say why.
    const QList<std::pair<const char*, const char*>> items{
        {"mnuOpen", "&Open Bitmap"},
        {"mnuEnd", "&End"},
        {"mnuPort", "&Port  (close the port first)"},
        {"mnuSettings", "&Settings  (close the port first)"},
        {"mnuConnect", "&Close"},
        {"mnuHelp1", "&Help"},
        {"mnuAbout", "&About"}};
    for (const auto& [name, caption] : items) {
      QAction* item = rig.action(name);
      QVERIFY2(item, name);
      QCOMPARE(item->text(), QLatin1String(caption));
    }
    rig.action("mnuConnect")->trigger();
    QCOMPARE(rig.action("mnuPort")->text(), QStringLiteral("&Port"));
    QCOMPARE(rig.action("mnuSettings")->text(), QStringLiteral("&Settings"));
    // The only keys: Ctrl+O, Ctrl+Q and F1 on the menus (Ctrl+Return sends; no menu item).
    QCOMPARE(rig.action("mnuOpen")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
    QCOMPARE(rig.action("mnuEnd")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    QCOMPARE(rig.action("mnuHelp1")->shortcut(), QKeySequence(Qt::Key_F1));
    for (const char* name : {"mnuPort", "mnuSettings", "mnuConnect", "mnuAbout"})
      QVERIFY2(rig.action(name)->shortcut().isEmpty(), name);
    QAction* separator = rig.action("mnu1");
    QVERIFY(separator->isSeparator());
    QVERIFY(!separator->isEnabled());
    QCOMPARE(rig.menu("mnuFile")->actions(),
             (QList<QAction*>{rig.action("mnuOpen"), rig.action("mnuImport"), separator,
                              rig.action("mnuEnd")}));
    QCOMPARE(rig.action("mnuImport")->text(), QStringLiteral("&Import Picture..."));
    QCOMPARE(rig.menu("mnuComm")->actions(),
             (QList<QAction*>{rig.action("mnuPort"), rig.action("mnuSettings"),
                              rig.action("mnuConnect")}));
  }

  void startUpFillsPortPanelsBeforeTheWindowIsShown_data() {
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QStringList>("panels");
    QTest::addColumn<QString>("caption");
    QTest::newRow("COM 1 at 115200")
        << kIniCom1Fast << QStringList{"Port opened", "COM  1", "115200,n,8,1"} << "&Close";
    QTest::newRow("no settings file")
        << QByteArray() << QStringList{"Port closed", "COM  8", "9600,n,8,1"} << "&Open";
  }
  void startUpFillsPortPanelsBeforeTheWindowIsShown() {
    QFETCH(QByteArray, ini);
    QFETCH(QStringList, panels);
    QFETCH(QString, caption);
    // A port 8 that refuses to open keeps the window closed when nothing else is configured.
    WindowRig rig(ini, [](FakeCommPort& port) { port.heldPorts.insert(8); });
    QVERIFY(!rig.window->isVisible());
    for (int i = 0; i < 3; ++i) QCOMPARE(rig.window->panelText(i + 1), panels[i]);
    QCOMPARE(rig.action("mnuConnect")->text(), caption);
    const bool closed = caption == QLatin1String("&Open");
    QCOMPARE(rig.action("mnuPort")->isEnabled(), closed);
    QVERIFY(rig.messages.messages.isEmpty());
    // A first start's port is not there: a hint in the window, not a box, until one opens.
    QCOMPARE(!rig.window->portHint()->isHidden(), ini.isNull());
    QVERIFY(!rig.window->portHint()->text().isEmpty() || !ini.isNull());
    if (!closed) return;
    rig.port->heldPorts.clear();
    rig.action("mnuConnect")->trigger();
    QVERIFY(rig.window->portHint()->isHidden());
  }

  void dateAndTimePanelsShowTheClock() {
    QCOMPARE(PanelDateText(QDateTime(QDate(2024, 3, 7), QTime(9, 5, 2))),
             QStringLiteral("03-07-2024"));
    QCOMPARE(PanelTimeText(QDateTime(QDate(2024, 3, 7), QTime(21, 5, 2))),
             QStringLiteral("21:05:02"));
    WindowRig rig;
    QVERIFY(QRegularExpression(QStringLiteral("^\\d\\d-\\d\\d-\\d{4}$"))
                .match(rig.window->panelText(4))
                .hasMatch());
    rig.window->setPanelText(5, QStringLiteral("x"));
    // Kept current without any activation.
    QTRY_VERIFY_WITH_TIMEOUT(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d$"))
                                 .match(rig.window->panelText(5))
                                 .hasMatch(),
                             2500);
  }

  // --- Open Bitmap ---

  void buttonAndMenuOpenTheSameWay_data() {
    QTest::addColumn<bool>("viaMenu");
    QTest::newRow("button") << false;
    QTest::newRow("File menu") << true;
  }
  void buttonAndMenuOpenTheSameWay() {
    QFETCH(bool, viaMenu);
    WindowRig rig;
    int dialogs = 0;
    bool ownedAndProgressHidden = false;
    const QString path = rig.writeLogo(QStringLiteral("logo.bmp"), TopLeftDotPixels());
    rig.window->setFileChooser([&](QWidget* parent) {
      ++dialogs;
      // The dialog belongs to the main window and the progress bar is already hidden.
      ownedAndProgressHidden = parent == rig.window.get() && rig.window->prgBar()->isHidden();
      return path;
    });
    rig.window->prgBar()->show();
    if (viaMenu)
      rig.action("mnuOpen")->trigger();
    else
      QTest::mouseClick(rig.window->cmdOpen(), Qt::LeftButton);

    QCOMPARE(dialogs, 1);
    QVERIFY(ownedAndProgressHidden);
    QVERIFY(rig.window->cmdSend()->isEnabled());
    QVERIFY(rig.messages.messages.isEmpty());
    QVERIFY(!QApplication::overrideCursor());
    QCOMPARE(rig.window->LogoData()[0], uint8_t{0x80});
    for (int i = 1; i <= 1800; ++i) QCOMPARE(rig.window->LogoData()[size_t(i)], uint8_t{0});

    // The raster as the device shows it, each logo pixel as 2 x 2 screen pixels.
    const QImage shown = PreviewImage(*rig.window);
    QCOMPARE(shown.size(), QSize(480, 120));
    QCOMPARE(shown.pixel(0, 0), qRgb(0, 0, 0));
    QCOMPARE(shown.pixel(1, 1), qRgb(0, 0, 0));
    QCOMPARE(shown.pixel(2, 0), qRgb(255, 255, 255));
    QCOMPARE(shown.pixel(0, 2), qRgb(255, 255, 255));
    QCOMPARE(shown.pixel(479, 119), qRgb(255, 255, 255));
    QVERIFY(rig.window->Image1()->isVisibleTo(rig.window.get()));
  }

  void shortcutsRunTheirCommands_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("command");
    QTest::newRow("Ctrl+O opens a bitmap") << int(Qt::Key_O) << int(Qt::ControlModifier) << "open";
    QTest::newRow("Ctrl+Return sends") << int(Qt::Key_Return) << int(Qt::ControlModifier) << "send";
    QTest::newRow("F1 opens Help") << int(Qt::Key_F1) << int(Qt::NoModifier) << "help";
  }
  void shortcutsRunTheirCommands() {
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, command);
    WindowRig rig;
    frmPantallaTest& w = *rig.window;
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    rig.open(rig.writeLogo(QStringLiteral("logo.bmp"), TopLeftDotPixels()));
    rig.answerEveryFrame();
    int dialogs = 0;
    w.setFileChooser([&](QWidget*) {
      ++dialogs;
      return QString();
    });
    QString modal;
    QTimer::singleShot(0, &w, [&] {
      if (QWidget* box = QApplication::activeModalWidget()) {
        modal = box->objectName();
        box->close();
      }
    });

    QTest::keyClick(&w, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QVERIFY(rig.waitForDownload());

    QCOMPARE(dialogs, command == QLatin1String("open") ? 1 : 0);
    QCOMPARE(rig.port->writes.size(), command == QLatin1String("send") ? 132 : 0);
    QCOMPARE(modal, command == QLatin1String("help") ? QStringLiteral("frmHelp") : QString());
  }

  void droppedFileOpensAsOpenBitmap_data() {
    QTest::addColumn<bool>("logo");
    QTest::newRow("a logo bitmap") << true;
    QTest::newRow("not a bitmap") << false;
  }
  void droppedFileOpensAsOpenBitmap() {
    QFETCH(bool, logo);
    WindowRig rig;
    frmPantallaTest& w = *rig.window;
    const QString path = logo ? rig.writeLogo(QStringLiteral("dropped.bmp"), TopLeftDotPixels())
                              : rig.writeBitmap(QStringLiteral("dropped.bmp"), "not a bitmap");
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(path)});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&w, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&w, &drop);

    if (logo) {
      QTRY_VERIFY(w.cmdSend()->isEnabled());
      QCOMPARE(w.LogoData()[0], uint8_t{0x80});
      QCOMPARE(w.windowTitle(), QStringLiteral("Quillory KESTREL II - dropped.bmp"));
      QVERIFY(rig.messages.messages.isEmpty());
      // Remembered for the next run's file dialog, the settings above kept byte for byte.
      const QByteArray ini = rig.folder.iniBytes();
      QVERIFY(ini.startsWith(kIniCom1Fast));
      QVERIFY2(ini.contains("[Recent]") && ini.contains("File=" + QFile::encodeName(path)),
               ini.constData());
    } else {
      QTRY_COMPARE(rig.messages.messages.size(), 1);
      QVERIFY(rig.messages.messages[0].text.startsWith(QStringLiteral("INVALID FILE FORMAT !!")));
      QCOMPARE(w.windowTitle(), QStringLiteral("Quillory KESTREL II"));
      QCOMPARE(rig.folder.iniBytes(), kIniCom1Fast);
    }
  }

  void successIsConfirmedUntilTheNextActionAndLogged() {
    WindowRig rig;
    frmPantallaTest& w = *rig.window;
    rig.open(rig.writeLogo(QStringLiteral("logo.bmp"), TopLeftDotPixels()));
    rig.answerEveryFrame();
    QVERIFY(rig.send());

    QVERIFY(rig.messages.messages.isEmpty());
    QVERIFY(w.confirmation()->isVisibleTo(&w));
    QVERIFY2(w.confirmation()->text().contains(QStringLiteral(", checksum 0x0788")) &&
                 w.confirmation()->text().endsWith(QStringLiteral("1 loaded, 0 failed since start")),
             qPrintable(w.confirmation()->text()));
    const QList<QByteArray> lines = rig.folder.logRows();
    QCOMPARE(lines.size(), 2);
    QVERIFY2(lines[1].startsWith(QDate::currentDate().toString(Qt::ISODate).toLatin1()),
             lines[1].constData());
    QVERIFY2(lines[1].contains(",1,") && lines[1].contains(",0x0788,132,") &&
                 lines[1].contains(",loaded,"),
             lines[1].constData());

    // A failure leaves a red line in the same place, after its message, and counts.
    rig.port->onWrite = {};
    QVERIFY(rig.send());
    QCOMPARE(rig.messages.messages.size(), 1);
    QVERIFY(w.confirmation()->isVisibleTo(&w));
    QVERIFY2(w.confirmation()->text().startsWith(QStringLiteral("Logo NOT loaded at ")) &&
                 w.confirmation()->text().endsWith(QStringLiteral("1 loaded, 1 failed since start")),
             qPrintable(w.confirmation()->text()));
    const QImage line = w.confirmation()->grab().toImage();
    bool red = false;
    for (int y = 0; y < line.height() && !red; ++y)
      for (int x = 0; x < line.width() && !red; ++x) {
        const QColor c = line.pixelColor(x, y);
        red = c.red() > 150 && c.green() < 60 && c.blue() < 60;
      }
    QVERIFY(red);

    rig.action("mnuConnect")->trigger();
    QVERIFY(!w.confirmation()->isVisibleTo(&w));
  }

  void importedPictureIsLoadedAsTheDialogShowedIt() {
    WindowRig rig;
    frmPantallaTest& w = *rig.window;
    QImage picture(120, 120, QImage::Format_RGB32);
    picture.fill(Qt::white);
    picture.setPixel(60, 60, qRgb(0, 0, 0));
    const QString path = rig.folder.filePath(QStringLiteral("photo.png"));
    QVERIFY(picture.save(path));
    convert::ConvertOptions chosen;
    chosen.mode = convert::ScaleMode::Stretch;
    chosen.invert = true;
    QImage shown;
    w.setPictureChooser([&](QWidget*) { return path; });
    w.setImportRunner([&](ImportPictureDialog& dialog) {
      dialog.setOptions(chosen);
      shown = dialog.preview()->pixmap().toImage();
      return true;
    });

    rig.action("mnuImport")->trigger();
    QTRY_VERIFY(!w.pictureDecoding());

    const LogoRaster expected = convert::RasterOf(convert::ConvertPicture(picture, chosen));
    QCOMPARE(w.LogoData(), expected);
    QVERIFY(w.cmdSend()->isEnabled());
    QCOMPARE(PreviewImage(w), shown.convertToFormat(QImage::Format_RGB32));
    QCOMPARE(w.windowTitle(), QStringLiteral("Quillory KESTREL II - photo.png"));
  }

  // The converted logo kept as a bitmap: Open Bitmap takes it back as the same raster, and the
  // picture it came from, a folder or a device are never written.
  void importedLogoIsSavedAsABitmapOpenBitmapTakes() {
    WindowRig rig;
    frmPantallaTest& w = *rig.window;
    QImage picture(120, 40, QImage::Format_RGB32);
    picture.fill(Qt::white);
    picture.setPixel(3, 3, qRgb(0, 0, 0));
    // A picture that is a BMP itself: the name proposed must not be its own.
    const QString source = rig.folder.filePath(QStringLiteral("photo.bmp"));
    QVERIFY(picture.save(source));
    const QByteArray sourceBytes = test::ReadBytes(source);
    const QString saved = rig.folder.filePath(QStringLiteral("photo-logo.bmp"));
    QStringList refused{source, rig.folder.path(), QStringLiteral("/dev/null"),
                        rig.folder.filePath(QStringLiteral("named.png"))};
    QString proposed;
    LogoRaster converted{};
    w.setPictureChooser([&](QWidget*) { return source; });
    w.setImportRunner([&](ImportPictureDialog& dialog) {
      dialog.setSaveChooser([&](QWidget*, const QString& offered) {
        proposed = offered;
        return refused.isEmpty() ? saved : refused.takeFirst();
      });
      for (int i = 0; i < 5; ++i) dialog.saveButton()->click();
      converted = dialog.raster();
      return false;
    });
    rig.action("mnuImport")->trigger();
    QTRY_VERIFY(!w.pictureDecoding());

    QCOMPARE(proposed, saved);
    QCOMPARE(rig.messages.messages.size(), 4);
    for (const test::ShownMessage& m : rig.messages.messages)
      QVERIFY2(m.text.startsWith(QStringLiteral("The bitmap was not saved:\r")), qPrintable(m.text));
    QCOMPARE(test::ReadBytes(source), sourceBytes);
    QVERIFY(!QFileInfo::exists(rig.folder.filePath(QStringLiteral("named.png"))));
    rig.open(saved);
    QCOMPARE(rig.messages.messages.size(), 4);
    QVERIFY(w.cmdSend()->isEnabled());
    QCOMPARE(w.LogoData(), converted);
  }

  // "INVALID FILE FORMAT !!" stays as it is; a picture then gets Import Picture offered.
  void pictureGivenToOpenBitmapIsOfferedToImport_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("answer");
    QTest::addColumn<bool>("offered");
    QTest::newRow("PNG, imported") << "photo.png" << true << true;
    QTest::newRow("PNG, declined") << "photo.png" << false << true;
    QTest::newRow("BMP of 24 bits") << "colour.bmp" << true << true;
    QTest::newRow("text") << "notes.txt" << true << false;
    QTest::newRow("BM and no picture") << "broken.bmp" << true << false;
  }
  void pictureGivenToOpenBitmapIsOfferedToImport() {
    QFETCH(QString, name);
    QFETCH(bool, answer);
    QFETCH(bool, offered);
    WindowRig rig;
    frmPantallaTest& w = *rig.window;
    const QString path = rig.folder.filePath(name);
    if (name.endsWith(QLatin1String(".txt"))) {
      QVERIFY(test::WriteBytes(path, "a text, not a picture\n"));
    } else if (name == QLatin1String("broken.bmp")) {
      QVERIFY(test::WriteBytes(path, "BM this is not a 240 x 60 picture"));
    } else {
      QImage picture(300, 75, QImage::Format_RGB32);
      picture.fill(Qt::black);
      QVERIFY(picture.save(path));
    }
    rig.messages.answer = answer;
    w.setImportRunner([](ImportPictureDialog&) { return true; });
    rig.open(path);
    QTRY_VERIFY(!w.pictureDecoding());

    QCOMPARE(rig.messages.messages.size(), 1);
    QVERIFY(rig.messages.messages[0].text.startsWith(QStringLiteral("INVALID FILE FORMAT !!\r")));
    QCOMPARE(rig.messages.questions.size(), offered ? 1 : 0);
    if (offered) QVERIFY2(rig.messages.questions[0].contains(name), qPrintable(rig.messages.questions[0]));
    const bool imported = offered && answer;
    QCOMPARE(w.cmdSend()->isEnabled(), imported);
    QCOMPARE(w.LogoData()[0], uint8_t(imported ? 0xFF : 0x00));
  }

  // A picture takes the time it takes to read: the window goes on meanwhile, shows that it is
  // busy and takes no second picture.
  void pictureIsReadWhileTheWindowGoesOn() {
    WindowRig rig;
    frmPantallaTest& w = *rig.window;
    int chosen = 0;
    w.setPictureChooser([&](QWidget*) { return QString::number(++chosen); });
    QSemaphore readOn;
    w.setPictureLoader([&readOn](const QString&, QString*) {
      readOn.tryAcquire(1, 5000);
      QImage black(240, 60, QImage::Format_RGB32);
      black.fill(Qt::black);
      return black;
    });
    w.setImportRunner([](ImportPictureDialog&) { return true; });

    rig.action("mnuImport")->trigger();
    QVERIFY(w.pictureDecoding());
    QVERIFY(!rig.menuEnabled("mnuFile") && !w.cmdOpen()->isEnabled());
    QVERIFY(w.prgBar()->isVisibleTo(&w));
    rig.action("mnuImport")->trigger();
    w.mnuImport_Click();
    readOn.release();
    QTRY_VERIFY(!w.pictureDecoding());
    QCOMPARE(chosen, 1);
    QCOMPARE(w.LogoData()[1799], uint8_t(0xFF));
    QVERIFY(rig.menuEnabled("mnuFile") && w.cmdSend()->isEnabled() && w.prgBar()->isHidden());
  }

  void cancelHidesProgressAndChangesNothingElse() {
    WindowRig rig;
    rig.open(rig.writeLogo(QStringLiteral("logo.bmp"), TopLeftDotPixels()));
    const QImage before = PreviewImage(*rig.window);
    const LogoRaster logo = rig.window->LogoData();
    rig.window->prgBar()->show();
    rig.open(QString());
    QVERIFY(rig.window->prgBar()->isHidden());
    QVERIFY(rig.window->cmdSend()->isEnabled());
    QCOMPARE(rig.window->LogoData(), logo);
    QCOMPARE(PreviewImage(*rig.window), before);
    QVERIFY(rig.messages.messages.isEmpty());
  }

  void rejectedFileKeepsLogoAndPictureAndRuleDecidesSend_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("sendStaysEnabled");
    BitmapFields f;
    const QByteArray pixels(1920, '\0');
    f.signature = "bm";
    QTest::newRow("lower-case signature") << BitmapBytes(f, pixels) << true;
    f.signature = "BA";
    QTest::newRow("BA signature") << BitmapBytes(f, pixels) << true;
    f = {};
    f.width = 241;
    QTest::newRow("241 wide") << BitmapBytes(f, pixels) << false;
    f = {};
    f.height = 61;
    QTest::newRow("61 high") << BitmapBytes(f, pixels) << false;
    f = {};
    f.bitCount = 4;
    QTest::newRow("4 bits") << BitmapBytes(f, pixels) << false;
    f = {};
    f.height = uint32_t(-60);
    QTest::newRow("top-down") << BitmapBytes(f, pixels) << false;
    f = {};
    f.dataOffset = 312;
    QTest::newRow("gap of 258") << BitmapBytes(f, pixels) << false;
  }
  void rejectedFileKeepsLogoAndPictureAndRuleDecidesSend() {
    QFETCH(QByteArray, bytes);
    QFETCH(bool, sendStaysEnabled);
    WindowRig rig;
    rig.open(rig.writeLogo(QStringLiteral("good.bmp"), TopLeftDotPixels()));
    QVERIFY(rig.window->cmdSend()->isEnabled());
    const QImage before = PreviewImage(*rig.window);
    const LogoRaster logo = rig.window->LogoData();

    bool cursorRestoredBeforeMessage = false;
    rig.messages.onMessage = [&](const QString&, const QString&) {
      cursorRestoredBeforeMessage = QApplication::overrideCursor() == nullptr;
    };
    rig.open(rig.writeBitmap(QStringLiteral("bad.bmp"), bytes));

    QCOMPARE(rig.messages.messages.size(), 1);
    QCOMPARE(rig.messages.messages[0].text,
             QStringLiteral(
                 "INVALID FILE FORMAT !!\r\rFormat expected:\rFile type: BMP (Windows Bitmap)\r"
                 "Width : 240 pixels\rHeight : 60 pixels\rImage type : 2 Colors (1 bit)\r"));
    QCOMPARE(rig.messages.messages[0].title, QString());
    QVERIFY(cursorRestoredBeforeMessage);
    QCOMPARE(rig.window->cmdSend()->isEnabled(), sendStaysEnabled);
    QCOMPARE(rig.window->LogoData(), logo);
    QCOMPARE(PreviewImage(*rig.window), before);
  }

  void r1BeforeAnyAcceptLeavesSendGreyed() {
    WindowRig rig;
    BitmapFields f;
    f.signature = "bm";
    rig.open(rig.writeLogo(QStringLiteral("bad.bmp"), QByteArray(1920, '\0'), f));
    QCOMPARE(rig.messages.messages.size(), 1);
    QVERIFY(!rig.window->cmdSend()->isEnabled());
  }

  void fileThatCannotBeOpenedGetsItsOwnMessage() {
    WindowRig rig;
    rig.open(rig.writeLogo(QStringLiteral("good.bmp"), TopLeftDotPixels()));
    const LogoRaster logo = rig.window->LogoData();
    const QString missing = rig.folder.filePath(QStringLiteral("gone.bmp"));
    rig.open(missing);
    QCOMPARE(rig.messages.messages.size(), 1);
    const QString text = rig.messages.messages[0].text;
    QVERIFY2(text.startsWith(QStringLiteral("Cannot open the file ") +
                             QDir::toNativeSeparators(missing) + QStringLiteral(":\r")),
             qPrintable(text));
    QVERIFY(text.size() > QStringLiteral("Cannot open the file :\r").size() + missing.size());
    QVERIFY(rig.window->cmdSend()->isEnabled());
    QCOMPARE(rig.window->LogoData(), logo);
    QVERIFY(!QApplication::overrideCursor());
  }

  void previewDrawsTheRasterWhenQtCannotDrawTheFile() {
    WindowRig rig;
    BitmapFields f;
    f.compression = 5;  // ignored by the loader, refused by Qt's reader
    rig.open(rig.writeLogo(QStringLiteral("odd.bmp"), TopLeftDotPixels(), f));
    QVERIFY(rig.messages.messages.isEmpty());
    QVERIFY(rig.window->cmdSend()->isEnabled());
    const QImage shown = PreviewImage(*rig.window);
    QCOMPARE(shown.size(), QSize(480, 120));
    QCOMPARE(shown.pixel(1, 1), qRgb(0, 0, 0));
    QCOMPARE(shown.pixel(2, 1), qRgb(255, 255, 255));
  }

  void previewIsWhatTheDeviceShowsAndNotesAWhiteFirstPalette_data() {
    QTest::addColumn<QByteArray>("palette");
    QTest::addColumn<bool>("noted");
    QTest::newRow("black first") << QByteArray("\0\0\0\0\xFF\xFF\xFF\0", 8) << false;
    QTest::newRow("white first, as ImageMagick writes it")
        << QByteArray("\xFF\xFF\xFF\0\0\0\0\0", 8) << true;
  }
  void previewIsWhatTheDeviceShowsAndNotesAWhiteFirstPalette() {
    QFETCH(QByteArray, palette);
    QFETCH(bool, noted);
    WindowRig rig;
    rig.window->show();
    QByteArray bytes = BitmapBytes(BitmapFields{}, TopLeftDotPixels());
    bytes.replace(54, 8, palette);
    rig.open(rig.writeBitmap(QStringLiteral("logo.bmp"), bytes));
    QVERIFY(rig.messages.messages.isEmpty());

    // Palette index 0 is black on the device, whatever the palette says.
    const QImage shown = PreviewImage(*rig.window);
    QCOMPARE(shown.pixel(1, 1), qRgb(0, 0, 0));
    QCOMPARE(shown.pixel(2, 1), qRgb(255, 255, 255));
    QCOMPARE(rig.window->paletteNote()->isVisible(), noted);
    QVERIFY(rig.window->paletteNote()->text().contains(QStringLiteral("inverted")));

    // The download's progress bar takes the note's place while it runs.
    bool noteHiddenDuringDownload = false;
    rig.answerEveryFrame([&](const QByteArray&) {
      noteHiddenDuringDownload = rig.window->paletteNote()->isHidden();
    });
    QVERIFY(rig.send());
    QVERIFY(noteHiddenDuringDownload);
    // Then the success confirmation stands there, until the next action brings the note back.
    QVERIFY(rig.window->paletteNote()->isHidden());
    rig.open(QString());  // Open Bitmap, cancelled
    QCOMPARE(rig.window->paletteNote()->isVisible(), noted);
  }

  void captionSaysWhenAPseudoTerminalPlaysTheDevice() {
    WindowRig rig(kIniCom1Fast, [](FakeCommPort& port) { port.pseudoTerminalPorts = {1}; });
    QCOMPARE(rig.window->windowTitle(),
             QStringLiteral("Quillory KESTREL II - simulated device (COM 1 is a pseudo-terminal)"));
    rig.action("mnuConnect")->trigger();
    QCOMPARE(rig.window->windowTitle(), QStringLiteral("Quillory KESTREL II"));
  }

  // --- Send ---

  void downloadLocksEverythingAndRestoresIt() {
    WindowRig rig;
    frmPantallaTest& w = *rig.window;
    w.show();
    rig.open(rig.writeLogo(QStringLiteral("logo.bmp"), TopLeftDotPixels()));
    int awaited = 0;
    int lockedFrames = 0;
    int rangeMax = 0;
    QList<int> progress;
    connect(w.prgBar(), &QProgressBar::valueChanged, this, [&](int v) { progress << v; });
    rig.answerEveryFrame([&](const QByteArray& frame) {
      if (frame == "00\r") return;
      ++awaited;
      const QCursor* cursor = QApplication::overrideCursor();
      const bool locked = !w.isEnabled() && !w.cmdOpen()->isEnabled() &&
                          !w.cmdSend()->isEnabled() && !rig.menuEnabled("mnuFile") &&
                          !rig.menuEnabled("mnuComm") && !rig.menuEnabled("mnuHelp") &&
                          w.prgBar()->isVisible() && cursor && cursor->shape() == Qt::WaitCursor &&
                          w.transferRunning();
      if (locked) ++lockedFrames;
      rangeMax = w.prgBar()->maximum();
    });
    rig.action("mnuConnect")->trigger();  // closed: the send opens the port itself
    QVERIFY(!rig.port->isOpen());

    QTest::mouseClick(w.cmdSend(), Qt::LeftButton);
    QVERIFY(rig.waitForDownload());

    QCOMPARE(rig.port->writes.size(), 132);
    QCOMPARE(rig.port->writes.first(), QByteArray("00\r"));
    QVERIFY(rig.port->writes.last().startsWith(";BI"));
    QCOMPARE(awaited, 131);
    QCOMPARE(lockedFrames, 131);
    QCOMPARE(rangeMax, 1800);
    QCOMPARE(progress.last(), 1799);
    QVERIFY(!progress.contains(1800));
    QVERIFY(rig.messages.messages.isEmpty());
    // Restored.
    QVERIFY(w.isEnabled());
    QVERIFY(w.cmdOpen()->isEnabled());
    QVERIFY(w.cmdSend()->isEnabled());
    QVERIFY(rig.menuEnabled("mnuFile") && rig.menuEnabled("mnuComm") && rig.menuEnabled("mnuHelp"));
    QVERIFY(w.prgBar()->isHidden());
    QVERIFY(!QApplication::overrideCursor());
    QVERIFY(!w.transferRunning());
    // The port it opened stays open and is shown so.
    QVERIFY(rig.port->isOpen());
    QCOMPARE(w.panelText(1), QStringLiteral("Port opened"));
    QCOMPARE(rig.action("mnuConnect")->text(), QStringLiteral("&Close"));
  }

  void failedDownloadShowsItsMessageWhileLockedThenRestores() {
    WindowRig rig;
    frmPantallaTest& w = *rig.window;
    rig.open(rig.writeLogo(QStringLiteral("logo.bmp"), TopLeftDotPixels()));
    bool lockedDuringMessage = false;
    rig.messages.onMessage = [&](const QString&, const QString&) {
      lockedDuringMessage = !w.isEnabled() && !w.prgBar()->isHidden() && !w.cmdOpen()->isEnabled();
    };
    // The device never answers.
    QVERIFY(rig.send());
    QCOMPARE(rig.messages.messages.size(), 1);
    QCOMPARE(rig.messages.messages[0].text,
             QStringLiteral("COMMUNICATION ERROR !!\r\rCheck configuration and connection."));
    QVERIFY(lockedDuringMessage);
    QCOMPARE(rig.port->writes.size(), 2);
    QVERIFY(w.isEnabled() && w.cmdOpen()->isEnabled() && w.cmdSend()->isEnabled());
    QVERIFY(w.prgBar()->isHidden());
    QVERIFY(!QApplication::overrideCursor());
  }

  void messageBoxOverTheLockedWindowIsUsable() {
    WindowRig rig;
    SetMessageInterceptor({});  // the real box this time; the rig restores capture after
    frmPantallaTest& w = *rig.window;
    w.show();
    rig.open(rig.writeLogo(QStringLiteral("logo.bmp"), TopLeftDotPixels()));
    bool sawUsableBox = false;
    std::function<void()> poll = [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) {
        QTimer::singleShot(10, &w, poll);
        return;
      }
      QAbstractButton* ok = box->button(QMessageBox::Ok);
      sawUsableBox =
          !w.isEnabled() && box->isEnabled() && ok && ok->isEnabled() && box->parentWidget() == &w;
      QTest::mouseClick(ok, Qt::LeftButton);
      if (box->isVisible()) box->done(0);
    };
    QTimer::singleShot(0, &w, poll);
    QVERIFY(rig.send());
    QVERIFY(sawUsableBox);
    QVERIFY(w.isEnabled());
  }

  // Leaving during a download stops it (Close after the frame in flight, End at once) and
  // logs it as interrupted, without a message to hold the end up.
  void leavingDuringADownloadLogsItInterrupted_data() {
    QTest::addColumn<bool>("byEnd");
    QTest::newRow("window closed") << false;
    QTest::newRow("File > End") << true;
  }
  void leavingDuringADownloadLogsItInterrupted() {
    QFETCH(bool, byEnd);
    WindowRig rig;
    frmPantallaTest& w = *rig.window;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    rig.open(rig.writeLogo(QStringLiteral("logo.bmp"), TopLeftDotPixels()));
    int frames = 0;
    bool closeAccepted = false;
    rig.answerEveryFrame([&](const QByteArray&) {
      if (++frames != 20) return;
      if (byEnd)
        w.mnuEnd_Click();
      else
        closeAccepted = w.close();
    });
    QVERIFY(rig.send());
    QTRY_COMPARE(rig.ended, 1);
    QVERIFY(!closeAccepted);
    QCOMPARE(rig.port->writes.size(), 20);
    QVERIFY(rig.messages.messages.isEmpty());
    QCOMPARE(rig.port->isOpen(), byEnd);  // End lets the ending program release it
    const QList<QByteArray> rows = rig.folder.logRows();
    QCOMPARE(rows.size(), 2);
    QVERIFY2(rows[1].contains(",interrupted,"), rows[1].constData());
  }

  void closingTheWindowClosesThePortAndEndsTheProgram() {
    WindowRig rig;
    rig.window->show();
    QVERIFY(rig.port->isOpen());
    QVERIFY(rig.window->close());
    QVERIFY(!rig.port->isOpen());
    QCOMPARE(rig.port->closeCount, 1);  // the start-up scan opens no port
    QCOMPARE(rig.ended, 1);
  }

  void endMenuEndsAtOnceWithoutTheUnloadStep() {
    WindowRig rig;
    rig.window->show();
    const int closes = rig.port->closeCount;
    rig.action("mnuEnd")->trigger();
    QCOMPARE(rig.ended, 1);
    QCOMPARE(rig.port->closeCount, closes);
  }

  // --- Comm menu ---

  void connectItemClosesAndOpensThePort() {
    WindowRig rig;
    QAction* connectItem = rig.action("mnuConnect");
    connectItem->trigger();
    QVERIFY(!rig.port->isOpen());
    QCOMPARE(rig.window->panelText(1), QStringLiteral("Port closed"));
    QCOMPARE(connectItem->text(), QStringLiteral("&Open"));
    QVERIFY(rig.action("mnuPort")->isEnabled() && rig.action("mnuSettings")->isEnabled());
    connectItem->trigger();
    QVERIFY(rig.port->isOpen());
    QCOMPARE(rig.window->panelText(1), QStringLiteral("Port opened"));
    QCOMPARE(connectItem->text(), QStringLiteral("&Close"));
    QVERIFY(!rig.action("mnuPort")->isEnabled() && !rig.action("mnuSettings")->isEnabled());
  }

  void portItemOpensTheModalDialogAndItsOkReachesPanelAndFile() {
    WindowRig rig;
    rig.action("mnuConnect")->trigger();
    QString modalName;
    QTimer::singleShot(0, rig.window.get(), [&] {
      auto* dialog = qobject_cast<CommDialog*>(QApplication::activeModalWidget());
      if (!dialog) return;
      modalName = dialog->objectName();
      dialog->optCommPort(3)->click();
      dialog->findChild<QPushButton*>(QStringLiteral("OKButton"))->click();
    });
    rig.action("mnuPort")->trigger();
    QCOMPARE(modalName, QStringLiteral("CommDialog"));
    QCOMPARE(rig.window->connection().state().comNumber(), 4);
    QCOMPARE(rig.window->panelText(2), QStringLiteral("COM  4"));
    QVERIFY(rig.folder.iniBytes().contains("CommPort= 4\r\n"));
  }

  void settingsItemOpensTheSpeedDialogAndItsOkReachesPanelAndFile() {
    WindowRig rig;
    rig.action("mnuConnect")->trigger();
    QTimer::singleShot(0, rig.window.get(), [&] {
      auto* dialog = qobject_cast<BaudDialog*>(QApplication::activeModalWidget());
      if (!dialog) return;
      dialog->optBaudRate(2)->click();
      dialog->findChild<QPushButton*>(QStringLiteral("OKButton"))->click();
    });
    rig.action("mnuSettings")->trigger();
    QCOMPARE(FormatLineSettings(rig.window->connection().state().lineSettings()), QStringLiteral("19200,n,8,1"));
    QCOMPARE(rig.window->panelText(3), QStringLiteral("19200,n,8,1"));
    QVERIFY(rig.folder.iniBytes().contains("Baud= 19200,N,8,1\r\n"));
  }

  void settingsInTcpIpModeShowsOneModelessWindow() {
    WindowRig rig;
    rig.window->show();
    rig.action("mnuConnect")->trigger();  // the Comm items work while the port is closed
    rig.window->connection().setTcpIpMode(true);
    rig.action("mnuSettings")->trigger();
    TCP_IPDialog* first = rig.window->tcpIpDialog();
    QVERIFY(first);
    QVERIFY(first->isVisible());
    QVERIFY(!QApplication::activeModalWidget());
    first->txtPort()->setText(QStringLiteral("77"));
    rig.action("mnuSettings")->trigger();
    QCOMPARE(rig.window->tcpIpDialog(), first);
    QCOMPARE(rig.window->findChildren<TCP_IPDialog*>().size(), 1);

    first->OKButton_Click();
    QTRY_VERIFY(!rig.window->tcpIpDialog());  // discarded
    rig.action("mnuSettings")->trigger();
    QCOMPARE(rig.window->tcpIpDialog()->txtPort()->text(), QStringLiteral("1234"));
  }

  // --- Help menu and activation ---

  void helpItemsOpenModalWindows_data() {
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("window");
    QTest::newRow("Help") << "mnuHelp1"
                          << "frmHelp";
    QTest::newRow("About") << "mnuAbout"
                           << "frmAbout";
  }
  void helpItemsOpenModalWindows() {
    QFETCH(QString, item);
    QFETCH(QString, window);
    WindowRig rig;
    QString seen;
    QTimer::singleShot(0, rig.window.get(), [&] {
      QWidget* modal = QApplication::activeModalWidget();
      if (!modal) return;
      seen = modal->objectName();
      modal->close();
    });
    rig.window->findChild<QAction*>(item)->trigger();
    QCOMPARE(seen, window);
  }

  void closingAProgramWindowRewritesDateAndTime() {
    WindowRig rig;
    frmPantallaTest& w = *rig.window;
    w.clockTimer().stop();
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QTRY_VERIFY(w.panelText(4) != QStringLiteral("x"));

    w.setPanelText(4, QStringLiteral("x"));
    w.setPanelText(5, QStringLiteral("x"));
    QTimer::singleShot(0, &w, [&] {
      if (QWidget* about = QApplication::activeModalWidget()) {
        QVERIFY(QTest::qWaitForWindowActive(about));
        about->close();
      }
    });
    w.mnuAbout_Click();
    // A window manager hands activation back to the main window; the test platform has none.
    w.activateWindow();
    QTRY_COMPARE(w.panelText(4), PanelDateText(QDateTime::currentDateTime()));
    QVERIFY(w.panelText(5) != QStringLiteral("x"));
  }

  void activationFromAnotherWindowLeavesDateAndTime() {
    WindowRig rig;
    frmPantallaTest& w = *rig.window;
    w.clockTimer().stop();
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    w.setPanelText(4, QStringLiteral("x"));
    // A window that is not one of the program's forms stands in for another application.
    QWidget other;
    other.show();
    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QTest::qWait(20);
    QCOMPARE(w.panelText(4), QStringLiteral("x"));
  }

  // Answered before any window exists, so also where there is no display at all.
  void programAnswersItsCommandLineWithoutADisplay_data() {
    QTest::addColumn<QString>("argument");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("help") << "--help" << 0;
    QTest::newRow("unknown option") << "--bogus" << 64;
  }
  void programAnswersItsCommandLineWithoutADisplay() {
    QFETCH(QString, argument);
    QFETCH(int, exitCode);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
      environment.remove(QLatin1String(name));
    QProcess program;
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(KESTREL_BIN_DIR "/kestrel-logo-loader"), {argument});
    QVERIFY(program.waitForFinished(10000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), exitCode);
    const QByteArray usage =
        (exitCode ? program.readAllStandardError() : program.readAllStandardOutput());
    QVERIFY2(usage.contains("Usage: kestrel-logo-loader [-platform NAME]"), usage.constData());
  }
};

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
