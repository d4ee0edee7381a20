#pragma once

#include <QDateTime>
#include <QImage>
#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <array>
#include <functional>
#include <memory>

#include "app/downloadrecorder.h"
#include "app/loadersession.h"
#include "logo/logoraster.h"
#include "ui/portdialogs.h"

class QAction;
class QDragEnterEvent;
class QDropEvent;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QThread;
class QWindow;

namespace kestrel {

class ImportPictureDialog;

// Date and time as panels 4 and 5 show them: MM-dd-yyyy and HH:mm:ss.
QString PanelDateText(const QDateTime& when);
QString PanelTimeText(const QDateTime& when);

// The main window. It owns the loader session (serial port, link engine, port connection,
// download), the download recorder and the logo; every port operation goes through the
// session, and the status bar and Comm menu show the port connection's state.
class frmPantallaTest : public QMainWindow {
  Q_OBJECT

 public:
  // Returns the chosen path, or an empty text when the user cancels.
  using FileChooser = std::function<QString(QWidget* parent)>;

  // deviceExists tells which devices are there without opening them; tests script it.
  explicit frmPantallaTest(std::unique_ptr<CommControl> port,
                           DeviceExistsFn deviceExists = SerialDeviceExists,
                           QWidget* parent = nullptr);
  ~frmPantallaTest() override;

  // Handlers of the window's events, menus and buttons.
  void Form_Load();
  void Form_Activate();
  void cmdOpen_Click();
  void cmdSend_Click();
  void mnuOpen_Click();
  void mnuEnd_Click();
  void mnuPort_Click();
  void mnuSettings_Click();
  void mnuConnect_Click();
  void mnuHelp1_Click();
  void mnuAbout_Click();

  // Per-device cycle: File > Import Picture, and Open Bitmap's checks on a file already
  // chosen (dropped on the window).
  void mnuImport_Click();
  void OpenLogoFile(const QString& path);

  // Tests and the screenshot tour replace the file dialog and the end of the program.
  void setFileChooser(FileChooser chooser) { fileChooser_ = std::move(chooser); }
  void setPictureChooser(FileChooser chooser) { pictureChooser_ = std::move(chooser); }
  // Runs the Import Picture dialog; true when its result is to be loaded.
  using ImportRunner = std::function<bool(ImportPictureDialog& dialog)>;
  void setImportRunner(ImportRunner runner) { importRunner_ = std::move(runner); }
  // Reads the picture Import Picture chose, in a thread of its own; a null image and the reason
  // on failure.
  using PictureLoader = std::function<QImage(const QString& path, QString* error)>;
  void setPictureLoader(PictureLoader loader) { pictureLoader_ = std::move(loader); }
  // Import Picture is reading its picture: the window shows it is busy meanwhile.
  bool pictureDecoding() const { return decoding_ != nullptr; }
  void setEndProgram(std::function<void()> end) { endProgram_ = std::move(end); }

  // Status-bar panels 1 to 5.
  void setPanelText(int panel, const QString& text);
  QString panelText(int panel) const;

  void LockUserInterface();
  void UnlockUserInterface();

  CommControl& commPort1() { return session_.port(); }
  LinkEngine& link() { return session_.link(); }
  PortConnection& connection() { return session_.connection(); }
  LogoTransfer& transfer() { return session_.transfer(); }
  const LogoRaster& LogoData() const { return logoData_; }
  bool transferRunning() { return session_.transfer().running(); }
  QTimer& clockTimer() { return clockTimer_; }
  QProgressBar* prgBar() const { return prgBar_; }
  QLabel* Image1() const { return image1_; }
  // Under the preview: the file's palette makes other viewers show it inverted.
  QLabel* paletteNote() const { return paletteNote_; }
  QPushButton* cmdOpen() const { return cmdOpen_; }
  QPushButton* cmdSend() const { return cmdSend_; }
  TCP_IPDialog* tcpIpDialog() const { return tcpIpDialog_; }
  QLabel* confirmation() const { return confirmation_; }
  QLabel* portHint() const { return portHint_; }
  int loadedThisSession() const { return loadedThisSession_; }
  int failedThisSession() const { return failedThisSession_; }
  QString logoFile() const { return logoFile_; }

 protected:
  void closeEvent(QCloseEvent* event) override;  // Form_Unload
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  // Panel 2's tooltip is written as it is asked for, so it names the device of this moment.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildWindow();
  void BuildMenus();
  void BuildStatusBar();
  void ShowPreview(bool lighterColourFirst);
  void ShowCaption();
  void ShowPortState();  // panels 1 to 3 and the Comm menu, from the port connection's state
  void FitPanel(size_t index);
  void ShowClock();
  void ProgramFocusChanged(QWindow* window);
  void Message(const QString& text, const QString& title = QString());
  // The download's events, mapped to the window's controls.
  void TransferStarted();
  void TransferEnded(const TransferOutcome& outcome);

  // The per-device cycle (quickcycle.cpp): shortcuts, drop, Import Picture, the file name in
  // the title and the confirmation of a download.
  void SetUpQuickCycle();
  void LogoAccepted(const QString& path);
  void AfterDownload(const TransferOutcome& outcome);
  void DismissConfirmation();
  void ImportPicture(const QString& path);
  // A picture given to Open Bitmap that is not a logo bitmap: Import Picture, if the user wants.
  void OfferImport(const QString& path);
  void ImportDecoded(const QString& path, const QImage& picture, const QString& error);
  void ShowDecoding(bool busy);

  LoaderSession session_;
  DownloadRecorder recorder_;
  LogoRaster logoData_{};

  FileChooser fileChooser_;
  FileChooser pictureChooser_;
  ImportRunner importRunner_;
  PictureLoader pictureLoader_;
  std::unique_ptr<QThread> decoding_;  // Import Picture's reading, while it runs
  bool sendEnabledBeforeDecoding_ = false;
  QString logoFile_;
  QLabel* confirmation_ = nullptr;
  std::function<void()> endProgram_;
  QTimer clockTimer_;

  QLabel* label1_ = nullptr;
  QLabel* image1_ = nullptr;
  QLabel* paletteNote_ = nullptr;
  QLabel* portHint_ = nullptr;
  QProgressBar* prgBar_ = nullptr;
  QPushButton* cmdOpen_ = nullptr;
  QPushButton* cmdSend_ = nullptr;
  std::array<QLabel*, 5> panels_{};
  QMenu* mnuFile_ = nullptr;
  QMenu* mnuComm_ = nullptr;
  QMenu* mnuHelp_ = nullptr;
  QAction* mnuOpen_ = nullptr;
  QAction* mnuImport_ = nullptr;
  QAction* mnuPort_ = nullptr;
  QAction* mnuSettings_ = nullptr;
  QAction* mnuConnect_ = nullptr;
  QPointer<TCP_IPDialog> tcpIpDialog_;

  int loadedThisSession_ = 0;
  int failedThisSession_ = 0;
  bool closeAfterDownload_ = false;  // closed during a download: once it has stopped
  bool endingNow_ = false;           // File > End is cutting a download off
  bool cursorOverridden_ = false;
  bool lighterColourFirst_ = false;
  bool activatedOnce_ = false;
  bool lastActiveWasForm_ = false;
};

}  // namespace kestrel
