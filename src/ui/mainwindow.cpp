#include "ui/mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QProgressBar>
#include <QScopedValueRollback>
#include <QPushButton>
#include <QStatusBar>
#include <QThread>
#include <QWindow>
#include <algorithm>

#include "picture/logoimage.h"
#include "settings/recentfiles.h"
#include "texts/usertexts.h"
#include "ui/aboutdialog.h"
#include "ui/helpdialog.h"
#include "ui/messagebox.h"
#include "ui/portdialogs.h"
#include "ui/programform.h"
#include "ui/uifonts.h"

namespace kestrel {

namespace {

// Layout in pixels (design units of 15 twips).
constexpr int kClientWidth = 537;
constexpr int kClientHeight = 282;
constexpr int kStatusBarHeight = 25;
constexpr int kPreviewWidth = 480;
constexpr int kPreviewHeight = 120;
constexpr std::array<int, 5> kPanelWidths{93, 96, 133, 67, 67};

// The preview keeps its colours while the window is disabled during a download; a plain
// label would grey the logo out.
class PreviewLabel : public QLabel {
 public:
  using QLabel::QLabel;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    drawFrame(&painter);
    const QPixmap picture = pixmap();
    if (picture.isNull()) return;
    const QRect area = contentsRect();
    painter.drawPixmap(area.x() + (area.width() - picture.width()) / 2,
                       area.y() + (area.height() - picture.height()) / 2, picture);
  }
};

// Disabled widgets draw with the Disabled colour group; these should look as when active.
void KeepActiveColours(QWidget* widget) {
  QPalette palette = widget->palette();
  for (int role = 0; role < QPalette::NColorRoles; ++role) {
    const auto r = static_cast<QPalette::ColorRole>(role);
    palette.setColor(QPalette::Disabled, r, palette.color(QPalette::Active, r));
  }
  widget->setPalette(palette);
}

QString DefaultFileChooser(QWidget* parent) {
  return QFileDialog::getOpenFileName(parent, QString(), RememberedLogoBitmap(),
                                      texts::BitmapFilter());
}

// A text longer than designed (another language, a larger font) widens its widget about its
// centre rather than being cut off; where it fits, the designed geometry stays.
void WidenToFit(QWidget* widget, int needed) {
  const QRect designed = widget->geometry();
  if (needed <= designed.width()) return;
  widget->setGeometry(designed.center().x() + 1 - needed / 2, designed.y(), needed,
                      designed.height());
}

QWidget* WidgetOfWindow(QWindow* window) {
  if (!window) return nullptr;
  for (QWidget* widget : QApplication::topLevelWidgets())
    if (widget->windowHandle() == window) return widget;
  return nullptr;
}

}  // namespace

QString PanelDateText(const QDateTime& when) { return when.toString(QStringLiteral("MM-dd-yyyy")); }

QString PanelTimeText(const QDateTime& when) { return when.toString(QStringLiteral("HH:mm:ss")); }

frmPantallaTest::frmPantallaTest(std::unique_ptr<CommControl> port, DeviceExistsFn deviceExists,
                                 QWidget* parent)
    : QMainWindow(parent),
      session_(
          std::move(port),
          [this](const QString& text, const QString& title) { Message(text, title); },
          std::move(deviceExists)),
      recorder_(session_.transfer(), session_.connection()),
      fileChooser_(DefaultFileChooser),
      endProgram_([] { QCoreApplication::exit(0); }) {
  BuildWindow();
  BuildMenus();
  BuildStatusBar();
  SetUpQuickCycle();

  LogoTransfer& transfer = session_.transfer();
  connect(&transfer, &LogoTransfer::started, this, &frmPantallaTest::TransferStarted);
  connect(&transfer, &LogoTransfer::progress, prgBar_, &QProgressBar::setValue);
  connect(&transfer, &LogoTransfer::ended, this, &frmPantallaTest::TransferEnded);

  clockTimer_.setInterval(1000);
  connect(&clockTimer_, &QTimer::timeout, this, &frmPantallaTest::ShowClock);
  clockTimer_.start();

  connect(qApp, &QGuiApplication::focusWindowChanged, this, &frmPantallaTest::ProgramFocusChanged);
  connect(&connection().state(), &PortState::changed, this, &frmPantallaTest::ShowPortState);

  Form_Load();
}

frmPantallaTest::~frmPantallaTest() {
  // Child windows are destroyed after this object's own members; focus changes they cause
  // must not reach it any more.
  disconnect(qApp, nullptr, this, nullptr);
  clockTimer_.stop();
  // The program ends under a running download (the session is ending): it is logged as cut off.
  disconnect(&transfer(), nullptr, this, nullptr);
  transfer().abandon();
  // A picture still being read when the window closes: its thread must end before it goes.
  if (decoding_) {
    disconnect(decoding_.get(), nullptr, this, nullptr);
    decoding_->wait();
  }
}

void frmPantallaTest::BuildWindow() {
  setObjectName(QStringLiteral("frmPantallaTest"));
  setWindowTitle(texts::MainCaption());

  auto* client = new QWidget(this);
  client->setObjectName(QStringLiteral("clientArea"));
  setCentralWidget(client);

  label1_ = new QLabel(texts::MainHeading(), client);
  label1_->setObjectName(QStringLiteral("Label1"));
  label1_->setGeometry(40, 16, 465, 25);
  label1_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  label1_->setFont(UiFont(QStringLiteral("Helvetica"), 14.25, true));
  WidenToFit(label1_, label1_->fontMetrics().horizontalAdvance(label1_->text()) + 4);

  // The border sits just outside the 480 x 120 picture area, so each logo pixel is 2 x 2.
  image1_ = new PreviewLabel(client);
  image1_->setObjectName(QStringLiteral("Image1"));
  image1_->setFrameShape(QFrame::Box);
  image1_->setLineWidth(1);
  image1_->setGeometry(32 - 1, 48 - 1, kPreviewWidth + 2, kPreviewHeight + 2);
  image1_->setAlignment(Qt::AlignCenter);

  prgBar_ = new QProgressBar(client);
  prgBar_->setObjectName(QStringLiteral("prgBar"));
  prgBar_->setGeometry(40, 176, 465, 17);
  prgBar_->setRange(0, 100);
  prgBar_->setValue(0);
  prgBar_->setTextVisible(false);
  KeepActiveColours(prgBar_);
  prgBar_->hide();

  // In the progress bar's place, which a download takes over while it runs.
  paletteNote_ = new QLabel(texts::LighterColourFirstNote(), client);
  paletteNote_->setObjectName(QStringLiteral("paletteNote"));
  paletteNote_->setGeometry(40, 171, 465, 28);
  paletteNote_->setWordWrap(true);
  paletteNote_->setAlignment(Qt::AlignCenter);
  paletteNote_->setTextFormat(Qt::PlainText);
  paletteNote_->setFont(UiFont(QStringLiteral("MS Sans Serif"), 8.25));
  paletteNote_->hide();

  const QFont buttonFont = UiFont(QStringLiteral("MS Sans Serif"), 8.25, true);
  cmdOpen_ = new QPushButton(texts::OpenBitmapButton(), client);
  cmdOpen_->setObjectName(QStringLiteral("cmdOpen"));
  cmdOpen_->setGeometry(112, 200, 161, 33);
  cmdOpen_->setFont(buttonFont);
  WidenToFit(cmdOpen_, cmdOpen_->sizeHint().width());
  connect(cmdOpen_, &QPushButton::clicked, this, &frmPantallaTest::cmdOpen_Click);

  cmdSend_ = new QPushButton(texts::SendButton(), client);
  cmdSend_->setObjectName(QStringLiteral("cmdSend"));
  cmdSend_->setGeometry(296, 200, 121, 33);
  cmdSend_->setFont(buttonFont);
  WidenToFit(cmdSend_, cmdSend_->sizeHint().width());
  cmdSend_->setEnabled(false);
  connect(cmdSend_, &QPushButton::clicked, this, &frmPantallaTest::cmdSend_Click);

  // Under the buttons, clear of the status bar: what a first start should do about its port.
  portHint_ = new QLabel(client);
  portHint_->setObjectName(QStringLiteral("portHint"));
  portHint_->setGeometry(8, 237, kClientWidth - 16, 18);
  portHint_->setAlignment(Qt::AlignCenter);
  portHint_->setTextFormat(Qt::PlainText);
  portHint_->setFont(UiFont(QStringLiteral("MS Sans Serif"), 8.25, true));
  portHint_->setStyleSheet(QStringLiteral("color: #0b4f8a;"));
  portHint_->hide();

  setTabOrder(cmdOpen_, cmdSend_);
  cmdOpen_->setFocus();
}

void frmPantallaTest::BuildMenus() {
  QMenuBar* bar = menuBar();
  bar->setObjectName(QStringLiteral("menuBar"));

  mnuFile_ = bar->addMenu(texts::FileMenu());
  mnuFile_->setObjectName(QStringLiteral("mnuFile"));
  mnuOpen_ = mnuFile_->addAction(texts::OpenBitmapItem());
  mnuOpen_->setObjectName(QStringLiteral("mnuOpen"));
  connect(mnuOpen_, &QAction::triggered, this, &frmPantallaTest::mnuOpen_Click);
  QAction* separator = mnuFile_->addSeparator();
  separator->setObjectName(QStringLiteral("mnu1"));
  // The design's "-----" item: drawn as a plain line, never chosen.
  separator->setEnabled(false);
  QAction* end = mnuFile_->addAction(texts::EndItem());
  end->setObjectName(QStringLiteral("mnuEnd"));
  end->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
  connect(end, &QAction::triggered, this, &frmPantallaTest::mnuEnd_Click);

  mnuComm_ = bar->addMenu(texts::CommMenu());
  mnuComm_->setObjectName(QStringLiteral("mnuComm"));
  mnuPort_ = mnuComm_->addAction(texts::PortItem());
  mnuPort_->setObjectName(QStringLiteral("mnuPort"));
  connect(mnuPort_, &QAction::triggered, this, &frmPantallaTest::mnuPort_Click);
  mnuSettings_ = mnuComm_->addAction(texts::SettingsItem());
  mnuSettings_->setObjectName(QStringLiteral("mnuSettings"));
  connect(mnuSettings_, &QAction::triggered, this, &frmPantallaTest::mnuSettings_Click);
  mnuConnect_ = mnuComm_->addAction(texts::ConnectItem(false));
  mnuConnect_->setObjectName(QStringLiteral("mnuConnect"));
  connect(mnuConnect_, &QAction::triggered, this, &frmPantallaTest::mnuConnect_Click);

  mnuHelp_ = bar->addMenu(texts::HelpMenu());
  mnuHelp_->setObjectName(QStringLiteral("mnuHelp"));
  QAction* help = mnuHelp_->addAction(texts::HelpItem());
  help->setObjectName(QStringLiteral("mnuHelp1"));
  connect(help, &QAction::triggered, this, &frmPantallaTest::mnuHelp1_Click);
  QAction* about = mnuHelp_->addAction(texts::AboutItem());
  about->setObjectName(QStringLiteral("mnuAbout"));
  connect(about, &QAction::triggered, this, &frmPantallaTest::mnuAbout_Click);
}

void frmPantallaTest::BuildStatusBar() {
  auto* bar = new QStatusBar(this);
  bar->setObjectName(QStringLiteral("staBar"));
  bar->setFixedHeight(kStatusBarHeight);
  bar->setFont(UiFont(QStringLiteral("Arial"), 9.75));
  setStatusBar(bar);

  const QDateTime now = QDateTime::currentDateTime();
  const PortStatusTexts port = StatusTextsOf(connection().state());
  const std::array<QString, 5> design{port.state, port.port, port.lineSettings, PanelDateText(now),
                                      PanelTimeText(now)};
  for (size_t i = 0; i < panels_.size(); ++i) {
    auto* panel = new QLabel(design[i], bar);
    panel->setObjectName(QStringLiteral("staBarPanel%1").arg(i + 1));
    panel->setTextFormat(Qt::PlainText);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setIndent(2);
    bar->addWidget(panel);
    panels_[i] = panel;
    FitPanel(i);
  }
  panels_[1]->installEventFilter(this);

  resize(kClientWidth, menuBar()->sizeHint().height() + kClientHeight);
}

// ---------------------------------------------------------------------------------------------
// Window events

void frmPantallaTest::Form_Load() {
  connection().startUp();
  // Once, without holding up the start: everything works, only choices are not remembered.
  if (const QString note = SettingsNotKeptText(); !note.isEmpty())
    QTimer::singleShot(0, this, [this, note] { ShowNotice(this, note); });
}

void frmPantallaTest::Form_Activate() { ShowClock(); }

void frmPantallaTest::ShowClock() {
  const QDateTime now = QDateTime::currentDateTime();
  setPanelText(4, PanelDateText(now));
  setPanelText(5, PanelTimeText(now));
}

// Activation comes back to this window after a message box, the file dialog or another
// application too; only a hand-over from one of the program's own forms (or the first
// activation) counts.
void frmPantallaTest::ProgramFocusChanged(QWindow* window) {
  QWidget* widget = WidgetOfWindow(window);
  if (!widget) return;
  if (widget == this) {
    if (!activatedOnce_ || lastActiveWasForm_) Form_Activate();
    activatedOnce_ = true;
    lastActiveWasForm_ = false;
  } else if (IsProgramForm(widget)) {
    lastActiveWasForm_ = true;
  }
}

void frmPantallaTest::closeEvent(QCloseEvent* event) {
  // A download stops after the frame in flight and is logged as interrupted; the window
  // closes once it has.
  if (transferRunning()) {
    closeAfterDownload_ = true;
    transfer().requestStop();
    event->ignore();
    return;
  }
  commPort1().close();
  event->accept();
  endProgram_();
}

bool frmPantallaTest::eventFilter(QObject* watched, QEvent* event) {
  if (watched == panels_[1] && event->type() == QEvent::ToolTip)
    panels_[1]->setToolTip(connection().portToolTip());
  return QMainWindow::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------------------------
// Commands

void frmPantallaTest::cmdOpen_Click() {
  DismissConfirmation();
  prgBar_->hide();
  const QString path = fileChooser_(this);
  if (path.isEmpty()) return;
  OpenLogoFile(path);
}

void frmPantallaTest::OpenLogoFile(const QString& path) {
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const LogoLoad file = LoadLogoFile(path);
  using Outcome = LogoFileResult::Outcome;
  switch (file.outcome) {
    case Outcome::Accepted:
      logoData_ = file.raster;
      ShowPreview(file.lighterColourFirst);
      QApplication::restoreOverrideCursor();
      cmdSend_->setEnabled(true);
      LogoAccepted(path);
      return;
    case Outcome::NotABitmap:
      QApplication::restoreOverrideCursor();
      Message(texts::InvalidFileFormatMessage());
      OfferImport(path);
      return;
    case Outcome::WrongFormat:
      cmdSend_->setEnabled(false);
      QApplication::restoreOverrideCursor();
      Message(texts::InvalidFileFormatMessage());
      OfferImport(path);
      return;
    case Outcome::CannotOpen:
      QApplication::restoreOverrideCursor();
      Message(texts::CannotOpenFileMessage(QDir::toNativeSeparators(path), file.openError));
      return;
  }
}

// Drawn from the raster, so it is what the device will show whatever the file's palette says.
void frmPantallaTest::ShowPreview(bool lighterColourFirst) {
  image1_->setPixmap(QPixmap::fromImage(LogoPreviewImage(logoData_)));
  image1_->setVisible(true);
  lighterColourFirst_ = lighterColourFirst;
  paletteNote_->setVisible(lighterColourFirst_);
}

// A pseudo-terminal has a program at its far end, not a device on a serial line: a download
// that "succeeds" there reaches no device, and the user must be able to tell at a glance.
// The loaded file's name follows, so one glance tells what goes where.
void frmPantallaTest::ShowCaption() {
  const PortState& port = connection().state();
  QString caption = texts::MainCaption();
  if (!logoFile_.isEmpty()) caption += QStringLiteral(" - ") + QFileInfo(logoFile_).fileName();
  if (port.isOpen() && port.onPseudoTerminal())
    caption = texts::SimulatedDeviceCaption(caption, port.comNumber());
  setWindowTitle(caption);
}

void frmPantallaTest::ShowPortState() {
  const PortStatusTexts texts = StatusTextsOf(connection().state());
  setPanelText(1, texts.state);
  setPanelText(2, texts.port);
  setPanelText(3, texts.lineSettings);
  mnuConnect_->setText(texts::ConnectItem(connection().state().isOpen()));
  mnuPort_->setEnabled(texts.portMenusEnabled);
  mnuSettings_->setEnabled(texts.portMenusEnabled);
  // A greyed entry says why, where the user looks for it.
  const QString why = texts.portMenusEnabled ? QString() : QStringLiteral("  ") + texts::ClosePortFirstNote();
  mnuPort_->setText(texts::PortItem() + why);
  mnuSettings_->setText(texts::SettingsItem() + why);
  const QString& hint = connection().state().startHint();
  portHint_->setText(hint);
  portHint_->setVisible(!hint.isEmpty());
  ShowCaption();
}

void frmPantallaTest::mnuOpen_Click() { cmdOpen_Click(); }

// A press while a download runs is refused by the transfer.
void frmPantallaTest::cmdSend_Click() {
  DismissConfirmation();
  session_.transfer().start(logoData_);
}

void frmPantallaTest::TransferStarted() {
  cmdOpen_->setEnabled(false);
  cmdSend_->setEnabled(false);
  LockUserInterface();
  paletteNote_->hide();
  prgBar_->setRange(0, kLogoBytes);
  prgBar_->setValue(0);
  prgBar_->setVisible(true);
}

// The message comes while the window is still locked, as the user reads it.
void frmPantallaTest::TransferEnded(const TransferOutcome& outcome) {
  if (closeAfterDownload_ || endingNow_) {
    // The user is leaving: the log has the row, a message would only hold the end up.
    UnlockUserInterface();
    if (closeAfterDownload_) QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
    return;
  }
  if (const QString message = texts::TransferMessage(outcome); !message.isEmpty()) Message(message);
  cmdOpen_->setEnabled(true);
  cmdSend_->setEnabled(true);
  prgBar_->setVisible(false);
  paletteNote_->setVisible(lighterColourFirst_);
  UnlockUserInterface();
  AfterDownload(outcome);
}

// Ends at once; a download running then is logged as interrupted.
void frmPantallaTest::mnuEnd_Click() {
  const QScopedValueRollback ending(endingNow_, true);
  transfer().abandon();
  endProgram_();
}

void frmPantallaTest::mnuPort_Click() {
  CommDialog dialog(connection(), this);
  dialog.exec();
}

void frmPantallaTest::mnuSettings_Click() {
  if (connection().state().tcpIpMode()) {
    if (tcpIpDialog_) {
      tcpIpDialog_->raise();
      tcpIpDialog_->activateWindow();
      return;
    }
    tcpIpDialog_ = new TCP_IPDialog(this);
    tcpIpDialog_->setAttribute(Qt::WA_DeleteOnClose);
    tcpIpDialog_->show();
    return;
  }
  BaudDialog dialog(connection(), this);
  dialog.exec();
}

void frmPantallaTest::mnuConnect_Click() { connection().openOrClose(); }

void frmPantallaTest::mnuHelp1_Click() {
  frmHelp help(this);
  help.exec();
}

void frmPantallaTest::mnuAbout_Click() {
  frmAbout about(this);
  about.exec();
}

void frmPantallaTest::Message(const QString& text, const QString& title) {
  ShowMessage(this, text, title);
}

// ---------------------------------------------------------------------------------------------
// Status bar

void frmPantallaTest::setPanelText(int panel, const QString& text) {
  if (panel < 1 || panel > static_cast<int>(panels_.size())) return;
  const size_t i = static_cast<size_t>(panel - 1);
  panels_[i]->setText(text);
  FitPanel(i);
}

// A panel keeps its designed width unless its text needs more (a long date format, a large
// font); then it grows rather than cut the text off.
void frmPantallaTest::FitPanel(size_t index) {
  QLabel* panel = panels_[index];
  const int needed = panel->fontMetrics().horizontalAdvance(panel->text()) +
                     2 * panel->frameWidth() + panel->indent() + 2;
  panel->setFixedWidth(std::max(kPanelWidths[index], needed));
}

QString frmPantallaTest::panelText(int panel) const {
  if (panel < 1 || panel > static_cast<int>(panels_.size())) return QString();
  return panels_[static_cast<size_t>(panel - 1)]->text();
}

// ---------------------------------------------------------------------------------------------
// Lock around a download

void frmPantallaTest::LockUserInterface() {
  mnuFile_->menuAction()->setEnabled(false);
  mnuComm_->menuAction()->setEnabled(false);
  mnuHelp_->menuAction()->setEnabled(false);
  if (!cursorOverridden_) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    cursorOverridden_ = true;
  }
  setEnabled(false);
}

// Also runs without a matching lock (a port that failed to open): it only restores.
void frmPantallaTest::UnlockUserInterface() {
  mnuFile_->menuAction()->setEnabled(true);
  mnuComm_->menuAction()->setEnabled(true);
  mnuHelp_->menuAction()->setEnabled(true);
  if (cursorOverridden_) {
    QApplication::restoreOverrideCursor();
    cursorOverridden_ = false;
  }
  setEnabled(true);
}

}  // namespace kestrel
