#include "screenshottour.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QImage>
#include <QLinearGradient>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QPainter>
#include <QProgressBar>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <memory>

#include "logo/logobitmap.h"
#include "picture/logoconvert.h"
#include "settings/programfolder.h"
#include "texts/usertexts.h"
#include "ui/mainwindow.h"
#include "ui/messagebox.h"
#include "ui/portdialogs.h"

namespace kestrel {

namespace {

void Say(const QString& line) {
  std::fprintf(stdout, "%s\n", line.toLocal8Bit().constData());
  std::fflush(stdout);
}

QImage SampleLogo() {
  QImage picture(240, 60, QImage::Format_RGB32);
  picture.fill(Qt::white);
  QPainter painter(&picture);
  painter.setPen(QPen(Qt::black, 2));
  painter.drawRect(1, 1, 237, 57);
  QFont big(QStringLiteral("Liberation Sans"));
  big.setPixelSize(26);
  big.setBold(true);
  painter.setFont(big);
  painter.drawText(QRect(0, 4, 240, 32), Qt::AlignCenter, QStringLiteral("KESTREL II"));
  QFont small(QStringLiteral("Liberation Sans"));
  small.setPixelSize(12);
  painter.setFont(small);
  painter.drawText(QRect(0, 36, 240, 18), Qt::AlignCenter,
                   QStringLiteral("programmable start-up logo"));
  painter.fillRect(8, 8, 10, 10, Qt::black);
  painter.fillRect(222, 42, 10, 10, Qt::black);
  return picture;
}

bool WriteFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

class Tour : public QObject {
 public:
  Tour(frmPantallaTest& window, const QString& folder, bool wholeScreen)
      : QObject(&window), window_(window), dir_(folder), wholeScreen_(wholeScreen) {
    QDir().mkpath(folder);
    steps_ = {
        [this] { Save(&window_, "01-main-fresh"); },
        [this] { FileMenu(); },
        [this] { FileDialog(); },
        [this] { LoadLogo(); },
        [this] { Download(); },
        [this] {
          ExpectModal("04-port-dialog");
          window_.mnuPort_Click();
        },
        [this] {
          ExpectModal("05-speed-dialog");
          window_.mnuSettings_Click();
        },
        [this] { TcpIpWindow(); },
        [this] {
          ExpectModal("07-about");
          window_.mnuAbout_Click();
        },
        [this] {
          ExpectModal("08-help");
          window_.mnuHelp1_Click();
        },
        [this] { ImportPicture(); },
        [this] { RejectedFile(); },
        [this] { PictureToOpenBitmap(); },
        [this] { FailedDownload(); },
        [this] { FirstStartHint(); },
        [this] { Finish(); },
    };
    // A box nobody expected (a failed download, say) must not stop the tour.
    watchdog_.setInterval(200);
    connect(&watchdog_, &QTimer::timeout, this, [this] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box || !expected_.isEmpty()) return;
      const QString name = QStringLiteral("unexpected-%1").arg(++unexpected_);
      Say(QStringLiteral("unexpected message: %1")
              .arg(box->text().replace(QLatin1Char('\n'), QLatin1Char('|'))));
      Save(box, name.toLatin1().constData());
      box->done(0);
    });
  }

  void Start() {
    watchdog_.start();
    QTimer::singleShot(800, this, [this] { Next(); });
  }

 private:
  void Next() {
    if (index_ >= steps_.size()) return;
    // A step's window may come after the step returns (Import Picture reads its picture in
    // the background), and a download goes on after its step: the next step waits until it
    // has come and gone.
    if (window_.pictureDecoding() || window_.transferRunning() ||
        QApplication::activeModalWidget()) {
      QTimer::singleShot(100, this, [this] { Next(); });
      return;
    }
    const auto step = steps_[index_++];
    step();
    QTimer::singleShot(400, this, [this] { Next(); });
  }

  void Save(QWidget* widget, const char* name) { SaveImage(widget->grab(), QLatin1String(name)); }

  // What the screen shows: frames, shadows and windows that are not Qt's.
  void SaveScreen(const char* name) {
    if (!wholeScreen_) return;
    if (QScreen* screen = QGuiApplication::primaryScreen())
      SaveImage(screen->grabWindow(0), QStringLiteral("screen-") + QLatin1String(name));
  }

  void SaveImage(const QPixmap& picture, const QString& name) {
    const QString path = dir_.filePath(name + QStringLiteral(".png"));
    if (picture.save(path))
      Say(QStringLiteral("saved %1").arg(path));
    else
      Say(QStringLiteral("could not save %1").arg(path));
  }

  // The file dialog the loader shows (the system's own where it has one), photographed on the
  // screen and cancelled.
  void FileDialog() {
    if (!wholeScreen_) return;
    QTimer::singleShot(1500, this, [this] {
      SaveScreen("11-file-dialog");
      if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
        dialog->reject();
    });
    window_.cmdOpen_Click();
  }

  // The next modal windows are photographed, each once it has been laid out and painted, then
  // closed (a question is answered no).
  void ExpectModal(const char* name) { ExpectModals({QLatin1String(name)}); }
  void ExpectModals(const QStringList& names) {
    expected_ = names;
    auto* poll = new QTimer(this);
    poll->setInterval(50);
    connect(poll, &QTimer::timeout, this, [this, poll] {
      QWidget* modal = QApplication::activeModalWidget();
      if (!modal || modal == shooting_) return;
      shooting_ = modal;
      QTimer::singleShot(300, this, [this, modal, poll] {
        const QByteArray name = expected_.takeFirst().toLatin1();
        Save(modal, name.constData());
        SaveScreen(name.constData());
        if (expected_.isEmpty()) {
          poll->stop();
          poll->deleteLater();
        }
        if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
      });
    });
    poll->start();
  }

  void FileMenu() {
    auto* menu = window_.findChild<QMenu*>(QStringLiteral("mnuFile"));
    if (!menu) return;
    menu->popup(window_.mapToGlobal(QPoint(0, window_.menuBar()->height())));
    QTimer::singleShot(200, this, [this, menu] {
      Save(menu, "01b-file-menu");
      menu->hide();
    });
  }

  void LoadLogo() {
    const QString path = dir_.filePath(QStringLiteral("logo.bmp"));
    WriteFile(path, EncodeLogoBitmap(convert::RasterOf(convert::ConvertPicture(SampleLogo(), {}))));
    window_.setFileChooser([path](QWidget*) { return path; });
    window_.cmdOpen_Click();
    const LogoRaster& logo = window_.LogoData();
    QByteArray pbm("P4\n240 60\n");
    pbm.append(reinterpret_cast<const char*>(logo.data()), kLogoBytes);
    WriteFile(dir_.filePath(QStringLiteral("loaded-logo.pbm")), pbm);
    QTimer::singleShot(200, this, [this] {
      Save(&window_, "02-main-logo-loaded");
      SaveScreen("02-main-logo-loaded");
    });
  }

  // Photographed half way; the tour goes on once it has ended (Next waits for that).
  void Download() {
    auto progress = std::make_shared<QMetaObject::Connection>();
    *progress =
        connect(window_.prgBar(), &QProgressBar::valueChanged, this, [this, progress](int value) {
          if (value < 900) return;
          disconnect(*progress);
          Save(&window_, "03-main-downloading");
        });
    auto ended = std::make_shared<QMetaObject::Connection>();
    *ended = connect(&window_.transfer(), &LogoTransfer::ended, this,
                     [this, progress, ended](const TransferOutcome& outcome) {
                       disconnect(*progress);
                       disconnect(*ended);
                       Say(texts::TransferMessage(outcome).isEmpty()
                               ? QStringLiteral("download finished without a message")
                               : QStringLiteral("download ended with a message"));
                       QTimer::singleShot(200, this, [this] {
                          Save(&window_, "03b-main-loaded");
                          SaveScreen("03b-main-loaded");
                        });
                     });
    window_.cmdSend_Click();
  }

  // A photograph-like picture of another size, with shades: what Import Picture is for.
  void ImportPicture() {
    QImage picture(640, 360, QImage::Format_RGB32);
    QPainter painter(&picture);
    QLinearGradient sky(0, 0, 640, 360);
    sky.setColorAt(0, QColor(250, 250, 250));
    sky.setColorAt(1, QColor(40, 60, 90));
    painter.fillRect(picture.rect(), sky);
    painter.drawImage(QRect(40, 90, 560, 140), SampleLogo());
    painter.end();
    const QString path = dir_.filePath(QStringLiteral("photo.png"));
    picture.save(path);
    window_.setPictureChooser([path](QWidget*) { return path; });
    ExpectModal("10-import-picture");
    window_.mnuImport_Click();
  }

  void TcpIpWindow() {
    const bool before = window_.connection().state().tcpIpMode();
    window_.connection().setTcpIpMode(true);
    window_.mnuSettings_Click();
    window_.connection().setTcpIpMode(before);
    QTimer::singleShot(300, this, [this] {
      if (TCP_IPDialog* dialog = window_.tcpIpDialog()) {
        Save(dialog, "06-tcpip-window");
        dialog->close();
      }
    });
  }

  void RejectedFile() {
    const QString path = dir_.filePath(QStringLiteral("not-a-logo.bmp"));
    WriteFile(path, QByteArray("BM this is not a 240 x 60 picture"));
    window_.setFileChooser([path](QWidget*) { return path; });
    ExpectModal("09-invalid-format-message");
    window_.cmdOpen_Click();
  }

  // A picture of another kind given to Open Bitmap: the same message, then Import offered.
  void PictureToOpenBitmap() {
    const QString path = dir_.filePath(QStringLiteral("photo.png"));
    window_.setFileChooser([path](QWidget*) { return path; });
    ExpectModals({QStringLiteral("09b-picture-format-message"), QStringLiteral("13-import-offer")});
    window_.cmdOpen_Click();
  }

  // The port is let go under the next download: its red line, beside the session's count.
  void FailedDownload() {
    auto ended = std::make_shared<QMetaObject::Connection>();
    *ended = connect(&window_.transfer(), &LogoTransfer::ended, this,
                     [this, ended](const TransferOutcome&) {
                       disconnect(*ended);
                       QTimer::singleShot(300, this, [this] { Save(&window_, "11-main-failed"); });
                     });
    ExpectModal("11a-failed-message");
    auto* pull = new QTimer(this);
    pull->setSingleShot(true);
    connect(&window_.transfer(), &LogoTransfer::progress, pull, [this, pull](int value) {
      if (value == 500) window_.commPort1().close();
      if (value >= 500) pull->deleteLater();
    });
    window_.cmdSend_Click();
  }

  // A first start: no settings file, the default port not there, one USB adapter plugged in.
  void FirstStartHint() {
    PortConnection& connection = window_.connection();
    window_.commPort1().close();
    const QString folder = ProgramFolder();
    QTemporaryDir fresh;
    SetProgramFolder(fresh.path());
    const auto listed = connection.listDevices;
    connection.listDevices = [] {
      SerialDevice adapter;
      adapter.device = QStringLiteral("/dev/ttyUSB0");
      adapter.description = QStringLiteral("USB-Serial Controller");
      adapter.usb = true;
      return QList<SerialDevice>{adapter};
    };
    connection.startUp();
    SetProgramFolder(folder);
    connection.listDevices = listed;
    QTimer::singleShot(200, this, [this] { Save(&window_, "12-first-start-hint"); });
  }

  void Finish() {
    Say(QStringLiteral("tour finished"));
    window_.close();
  }

  frmPantallaTest& window_;
  QDir dir_;
  bool wholeScreen_ = false;
  QList<std::function<void()>> steps_;
  qsizetype index_ = 0;
  QStringList expected_;
  QPointer<QWidget> shooting_;  // the modal window being photographed
  QTimer watchdog_;
  int unexpected_ = 0;
};

}  // namespace

void StartScreenshotTour(frmPantallaTest& window, const QString& folder, bool wholeScreen) {
  auto* tour = new Tour(window, folder, wholeScreen);
  tour->Start();
}

}  // namespace kestrel
