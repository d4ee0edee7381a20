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
#include <QThread>
#include <memory>

#include "picture/logoimage.h"
#include "picture/pictureread.h"
#include "settings/recentfiles.h"
#include "texts/picturetexts.h"
#include "texts/usertexts.h"
#include "ui/importpicturedialog.h"
#include "ui/mainwindow.h"
#include "ui/messagebox.h"

namespace kestrel {

namespace {

QString PictureFilter() {
  QStringList patterns;
  for (const QByteArray& format : QImageReader::supportedImageFormats())
    patterns << QStringLiteral("*.") + QString::fromLatin1(format);
  return texts::PictureFilter(patterns.join(QLatin1Char(' ')));
}

QString DefaultPictureChooser(QWidget* parent) {
  return QFileDialog::getOpenFileName(parent, texts::ImportPictureTitle(), RememberedFile(),
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
  pictureLoader_ = [](const QString& path, QString* error) {
    convert::PictureFailure failure;
    const QImage picture = convert::LoadPicture(path, &failure);
    if (picture.isNull()) *error = texts::PictureFailureText(failure);
    return picture;
  };

  mnuOpen_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  if (auto* help = findChild<QAction*>(QStringLiteral("mnuHelp1")))
    help->setShortcut(QKeySequence(Qt::Key_F1));

  mnuImport_ = new QAction(texts::ImportPictureItem(), this);
  mnuImport_->setObjectName(QStringLiteral("mnuImport"));
  connect(mnuImport_, &QAction::triggered, this, &frmPantallaTest::mnuImport_Click);
  if (auto* separator = findChild<QAction*>(QStringLiteral("mnu1")))
    mnuFile_->insertAction(separator, mnuImport_);
  else
    mnuFile_->addAction(mnuImport_);

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
  // As wide as the window, for the session's count beside the result.
  confirmation_->setGeometry(8, prgBar_->y() - 6, 521, prgBar_->height() + 12);
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
// A failure leaves its line in red where the confirmation would be, so a bench worker who
// looked away still sees that the last device did not get the logo; the session's count follows.
void frmPantallaTest::AfterDownload(const TransferOutcome& outcome) {
  if (outcome.result == TransferResult::NotSent) return;
  const QString logProblem = texts::OnOneLine(recorder_.logProblem());
  const QString now = QTime::currentTime().toString(QStringLiteral("HH:mm:ss"));
  QString text;
  if (outcome.loaded()) {
    ++loadedThisSession_;
    text = texts::LogoLoadedConfirmation(now, ChecksumText(outcome.logoChecksum));
  } else {
    ++failedThisSession_;
    text = texts::DownloadFailedLine(now);
  }
  if (!logProblem.isEmpty()) text += texts::NotLoggedNote();
  // The count beside the result, or under it where a language makes the line too long.
  const QString count = texts::SessionCount(loadedThisSession_, failedThisSession_);
  const QString oneLine = text + QStringLiteral("  \u2013  ") + count;
  text = confirmation_->fontMetrics().horizontalAdvance(oneLine) < confirmation_->width()
             ? oneLine
             : text + QLatin1Char('\n') + count;
  paletteNote_->hide();
  confirmation_->setText(text);
  const QString why = outcome.loaded() ? QString() : texts::OnOneLine(texts::TransferMessage(outcome));
  confirmation_->setToolTip(texts::Together(why, logProblem));
  confirmation_->setStyleSheet(outcome.loaded() ? QStringLiteral("color: #1b6e20;")
                                                : QStringLiteral("color: #c00000;"));
  confirmation_->show();
}

// A photograph takes seconds to read (a hostile one longer): it is read in a thread of its own,
// so the window keeps drawing and can be closed, and shows it is busy instead of freezing.
void frmPantallaTest::mnuImport_Click() {
  if (decoding_) return;  // one picture at a time
  DismissConfirmation();
  const QString path = pictureChooser_(this);
  if (path.isEmpty()) return;
  ImportPicture(path);
}

void frmPantallaTest::ImportPicture(const QString& path) {
  if (decoding_) return;
  struct Decoded {
    QImage picture;
    QString error;
  };
  auto decoded = std::make_shared<Decoded>();
  decoding_.reset(QThread::create(
      [load = pictureLoader_, path, decoded] { decoded->picture = load(path, &decoded->error); }));
  connect(decoding_.get(), &QThread::finished, this,
          [this, path, decoded] { ImportDecoded(path, decoded->picture, decoded->error); });
  ShowDecoding(true);
  decoding_->start();
}

// After the format message, which stays as it is: a photograph or a logo of the wrong size or
// colours is what Import Picture is for. A file no reader knows gets the message alone.
void frmPantallaTest::OfferImport(const QString& path) {
  if (!convert::IsReadablePicture(path)) return;
  if (!AskQuestion(this, texts::ImportOfferQuestion(convert::ShownPath(QFileInfo(path).fileName())),
                   texts::ImportOfferButton()))
    return;
  ImportPicture(path);
}

void frmPantallaTest::ImportDecoded(const QString& path, const QImage& picture,
                                    const QString& error) {
  decoding_->wait();
  decoding_.reset();
  ShowDecoding(false);
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

// While busy: no other picture, no download, no dialog that the picture's would cover; the
// progress bar runs without an end, and the window can still be moved and closed.
void frmPantallaTest::ShowDecoding(bool busy) {
  for (QMenu* menu : {mnuFile_, mnuComm_, mnuHelp_}) menu->menuAction()->setEnabled(!busy);
  // Their shortcuts work even when their menu is disabled.
  mnuOpen_->setEnabled(!busy);
  mnuImport_->setEnabled(!busy);
  cmdOpen_->setEnabled(!busy);
  if (busy) sendEnabledBeforeDecoding_ = cmdSend_->isEnabled();
  cmdSend_->setEnabled(!busy && sendEnabledBeforeDecoding_);
  paletteNote_->setVisible(!busy && lighterColourFirst_);
  if (busy) {
    prgBar_->setRange(0, 0);
    prgBar_->show();
    setCursor(Qt::BusyCursor);
  } else {
    prgBar_->hide();
    prgBar_->setRange(0, kLogoBytes);
    unsetCursor();
  }
}

void frmPantallaTest::dragEnterEvent(QDragEnterEvent* event) {
  if (!transferRunning() && !decoding_ && !DraggedFile(event->mimeData()).isEmpty())
    event->acceptProposedAction();
}

void frmPantallaTest::dropEvent(QDropEvent* event) {
  const QString path = DraggedFile(event->mimeData());
  if (transferRunning() || decoding_ || path.isEmpty()) return;
  event->acceptProposedAction();
  // After the drop is over: the drag's source must not wait on a message box.
  QMetaObject::invokeMethod(
      this,
      [this, path] {
        if (transferRunning() || decoding_) return;
        DismissConfirmation();
        prgBar_->hide();
        OpenLogoFile(path);
      },
      Qt::QueuedConnection);
}

}  // namespace kestrel
