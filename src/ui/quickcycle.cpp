// The main window's per-device cycle, all of it added to the designed window: Ctrl+O,
// Ctrl+Return and F1; a file dropped on the window; File > Import Picture; the file name in
// the title; a confirmation of each download.
#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QImageReader>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>

#include "app/usertexts.h"
#include "picture/logoimage.h"
#include "picture/pictureread.h"
#include "settings/recentfiles.h"
#include "ui/importpicturedialog.h"
#include "ui/mainwindow.h"

namespace kestrel {

namespace {

QString PictureFilter() {
  QStringList patterns;
  for (const QByteArray& format : QImageReader::supportedImageFormats())
    patterns << QStringLiteral("*.") + QString::fromLatin1(format);
  return QStringLiteral("Pictures (%1);;All files (*)").arg(patterns.join(QLatin1Char(' ')));
}

QString DefaultPictureChooser(QWidget* parent) {
  return QFileDialog::getOpenFileName(parent, QStringLiteral("Import Picture"), RememberedFile(),
                                      PictureFilter());
}

// The one local file a drag carries, or empty.
QString DraggedFile(const QMimeData* mime) {
  if (!mime || !mime->hasUrls() || mime->urls().size() != 1) return {};
  const QUrl url = mime->urls().front();
  return url.isLocalFile() ? url.toLocalFile() : QString();
}

}  // namespace

void frmPantallaTest::SetUpQuickCycle() {
  pictureChooser_ = DefaultPictureChooser;
  importRunner_ = [](ImportPictureDialog& dialog) { return dialog.exec() == QDialog::Accepted; };

  if (auto* open = findChild<QAction*>(QStringLiteral("mnuOpen")))
    open->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  if (auto* help = findChild<QAction*>(QStringLiteral("mnuHelp1")))
    help->setShortcut(QKeySequence(Qt::Key_F1));

  auto* import = new QAction(QStringLiteral("Import Picture..."), this);
  import->setObjectName(QStringLiteral("mnuImport"));
  connect(import, &QAction::triggered, this, &frmPantallaTest::mnuImport_Click);
  if (auto* separator = findChild<QAction*>(QStringLiteral("mnu1")))
    mnuFile_->insertAction(separator, import);
  else
    mnuFile_->addAction(import);

  // Send has no menu item; its shortcut works wherever the button could be pressed.
  auto* send = new QAction(this);
  send->setObjectName(QStringLiteral("sendShortcut"));
  send->setShortcuts(
      {QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)});
  connect(send, &QAction::triggered, this, [this] {
    if (cmdSend_->isEnabled() && isEnabled()) cmdSend_Click();
  });
  addAction(send);

  setAcceptDrops(true);

  // Where the progress bar ran: the download's result, until the next action.
  confirmation_ = new QLabel(centralWidget());
  confirmation_->setObjectName(QStringLiteral("confirmation"));
  confirmation_->setGeometry(prgBar_->geometry());
  confirmation_->setAlignment(Qt::AlignCenter);
  confirmation_->setTextFormat(Qt::PlainText);
  QFont bold = confirmation_->font();
  bold.setBold(true);
  confirmation_->setFont(bold);
  confirmation_->setStyleSheet(QStringLiteral("color: #1b6e20;"));
  confirmation_->hide();
  connect(menuBar(), &QMenuBar::triggered, this, &frmPantallaTest::DismissConfirmation);
}

// The confirmation stands where the palette note does; the note comes back after it.
void frmPantallaTest::DismissConfirmation() {
  if (!confirmation_ || confirmation_->isHidden()) return;
  confirmation_->hide();
  paletteNote_->setVisible(lighterColourFirst_);
}

void frmPantallaTest::LogoAccepted(const QString& path) {
  logoFile_ = QFileInfo(path).absoluteFilePath();
  ShowCaption();
  recorder_.setPicture(path, true);
}

// The download is in the log already; a log that cannot be written is said once, beside the
// result, never over the status bar.
void frmPantallaTest::AfterDownload(const TransferOutcome& outcome) {
  const QString logProblem = OnOneLine(recorder_.logProblem());

  QString text;
  if (outcome.loaded())
    text = QStringLiteral("Logo loaded at %1, checksum %2")
               .arg(QTime::currentTime().toString(QStringLiteral("HH:mm:ss")),
                    ChecksumText(outcome.logoChecksum));
  if (!logProblem.isEmpty()) text += text.isEmpty() ? logProblem : QStringLiteral(" (not logged)");
  if (text.isEmpty()) return;
  paletteNote_->hide();
  confirmation_->setText(text);
  confirmation_->setToolTip(logProblem);
  confirmation_->setStyleSheet(outcome.loaded() ? QStringLiteral("color: #1b6e20;")
                                                : QStringLiteral("color: #a04000;"));
  confirmation_->show();
}

void frmPantallaTest::mnuImport_Click() {
  DismissConfirmation();
  const QString path = pictureChooser_(this);
  if (path.isEmpty()) return;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  QString error;
  const QImage picture = convert::LoadPicture(path, &error);
  QApplication::restoreOverrideCursor();
  if (picture.isNull()) {
    Message(error);
    return;
  }
  ImportPictureDialog dialog(picture, path, this);
  if (!importRunner_(dialog)) return;
  logoData_ = dialog.raster();
  prgBar_->hide();
  ShowPreview(false);  // made here black first: other viewers show it as the device will
  cmdSend_->setEnabled(true);
  LogoAccepted(path);
}

void frmPantallaTest::dragEnterEvent(QDragEnterEvent* event) {
  if (!transferRunning() && !DraggedFile(event->mimeData()).isEmpty())
    event->acceptProposedAction();
}

void frmPantallaTest::dropEvent(QDropEvent* event) {
  const QString path = DraggedFile(event->mimeData());
  if (transferRunning() || path.isEmpty()) return;
  event->acceptProposedAction();
  // After the drop is over: the drag's source must not wait on a message box.
  QMetaObject::invokeMethod(
      this,
      [this, path] {
        if (transferRunning()) return;
        DismissConfirmation();
        prgBar_->hide();
        OpenLogoFile(path);
      },
      Qt::QueuedConnection);
}

}  // namespace kestrel
