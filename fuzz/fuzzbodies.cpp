#include "fuzzbodies.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdlib>

#include "link/linkengine.h"
#include "logo/logoraster.h"
#include "port/commcontrol.h"
#include "settings/inifile.h"

namespace kestrel::fuzz {
namespace {

void Require(bool condition) {
  if (!condition) std::abort();  // libFuzzer reports an abort as a finding
}

// The readers take a path, so every input goes through one scratch file; on tmpfs where there
// is one, since the settings writer syncs every save to disk.
QString ScratchFile(const char* name, const uint8_t* data, size_t size) {
  static QTemporaryDir dir(QDir(QStringLiteral("/dev/shm")).exists()
                               ? QStringLiteral("/dev/shm/kestrel-fuzz-XXXXXX")
                               : QDir::tempPath() + QStringLiteral("/kestrel-fuzz-XXXXXX"));
  const QString path = dir.filePath(QString::fromLatin1(name));
  QFile file(path);
  Require(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  file.write(reinterpret_cast<const char*>(data), qint64(size));
  file.close();
  return path;
}

void EnsureApplication() {
  if (QCoreApplication::instance()) return;
  static int argc = 1;
  static char name[] = "kestrel-fuzz";
  static char* argv[] = {name, nullptr};
  static QCoreApplication app(argc, argv);
}

// A port whose arrivals the fuzzer drives directly; the link engine reacts synchronously.
class ScriptedPort : public CommControl {
 public:
  void open(const QString&, const LineSettings&, const QString&) override {}
  void close() override {}
  bool isOpen() const override { return true; }
  QString openDevice() const override { return QStringLiteral("scripted"); }
  void setLineSettings(const LineSettings&) override {}
  void write(const QByteArray&) override {}
  void discardInput() override {}
  void arrive(const QByteArray& bytes) { Q_EMIT dataReceived(bytes); }
};

}  // namespace

void BitmapReader(const uint8_t* data, size_t size) {
  // Whatever the header claims, memory stays bounded (libFuzzer's malloc limit) and the byte
  // after the raster is never written.
  const LogoLoad load = LoadLogoFile(ScratchFile("logo.bmp", data, size));
  Require(load.raster[kLogoBytes] == 0);
}

void SettingsReader(const uint8_t* data, size_t size) {
  const QString path = ScratchFile("Tessaly.ini", data, size);
  for (const char* key : {"CommPort", "Baud"}) {
    const QString value =
        ArchivoIni::ReadProfileString(path, QStringLiteral("SerialPort"), QString::fromLatin1(key));
    Require(value.size() <= 254);
    for (QChar c : value)
      Require(c != QChar(13) && c != QChar(10) && c != QChar(0) && c != QChar(2));
  }
  // A write must not lose what it was asked to store.
  if (ArchivoIni::WriteProfileString(path, QStringLiteral("SerialPort"), QStringLiteral("Baud"),
                                     QStringLiteral(" 57600,N,8,1"))) {
    Require(ArchivoIni::ReadProfileString(path, QStringLiteral("serialport"),
                                          QStringLiteral("BAUD")) == QLatin1String("57600,N,8,1"));
  }
}

// Input: a series of chunks, each a header byte (low 6 bits: length; the top bit sends a
// block write first, so a reply is awaited) followed by that many bytes.
void ReceiveHandler(const uint8_t* data, size_t size) {
  EnsureApplication();
  ScriptedPort port;
  LinkEngine engine(port);
  int outcomes = 0;
  QObject::connect(&engine, &LinkEngine::commandFinished, [&] { ++outcomes; });
  int lines = 0;
  QObject::connect(&engine, &LinkEngine::replyReceived, [&](const QByteArray& line) {
    Require(line.endsWith('\r') && line.count('\r') == 1);
    ++lines;
  });
  int awaited = 0;
  size_t i = 0;
  while (i < size) {
    const uint8_t header = data[i++];
    const size_t length = std::min<size_t>(header & 0x3F, size - i);
    const QByteArray chunk(reinterpret_cast<const char*>(data + i), qsizetype(length));
    i += length;
    if ((header & 0x80) && !engine.awaiting()) {
      engine.send(QByteArray(";BB000002"), ReplyRule::AckFirst);
      ++awaited;
    }
    const int linesBefore = lines;
    port.arrive(chunk);

    Require(engine.ReceiveBuffer().size() <= LinkEngine::kMaxReceiveBuffer);
    Require(!engine.ReceiveBuffer().contains('\r'));
    // Each awaited command has one outcome at most, and a line ends the wait.
    Require(outcomes <= awaited);
    if (lines > linesBefore) Require(!engine.awaiting() && outcomes == awaited);
  }
}

}  // namespace kestrel::fuzz
