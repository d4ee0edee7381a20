#include <QDir>
#include <QFile>
#include <QtTest>

#include "fuzzbodies.h"

// Replays every input the fuzzers have found (fuzz/regressions/<target>/) and a few inputs
// that stress the limits, through the same bodies the fuzzers run.
class FuzzRegressions : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void foundInputsStayFixed_data();
  void foundInputsStayFixed();
  void receiveHandlerSurvivesEndlessBytesWithoutCr();
  void bitmapReaderSurvivesHeaderClaimingHugeImage();
};

void FuzzRegressions::foundInputsStayFixed_data() {
  QTest::addColumn<QString>("target");
  QTest::addColumn<QString>("path");
  const QDir root(QStringLiteral(KESTREL_SOURCE_DIR "/fuzz/regressions"));
  int rows = 0;
  for (const QString& target : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
    const QDir dir(root.filePath(target));
    for (const QString& file : dir.entryList(QDir::Files)) {
      QTest::newRow(qPrintable(target + QLatin1Char('/') + file)) << target << dir.filePath(file);
      ++rows;
    }
  }
  if (rows == 0) QTest::newRow("none found yet") << QString() << QString();
}

void FuzzRegressions::foundInputsStayFixed() {
  QFETCH(QString, target);
  QFETCH(QString, path);
  if (path.isEmpty()) QSKIP("no fuzzer findings recorded");
  QFile file(path);
  QVERIFY(file.open(QIODevice::ReadOnly));
  const QByteArray input = file.readAll();
  const auto* data = reinterpret_cast<const uint8_t*>(input.constData());
  const size_t size = size_t(input.size());
  if (target == QLatin1String("bitmap"))
    kestrel::fuzz::BitmapReader(data, size);
  else if (target == QLatin1String("settings"))
    kestrel::fuzz::SettingsReader(data, size);
  else if (target == QLatin1String("receive"))
    kestrel::fuzz::ReceiveHandler(data, size);
  else
    QFAIL(qPrintable(QStringLiteral("unknown fuzz target folder: ") + target));
}

void FuzzRegressions::receiveHandlerSurvivesEndlessBytesWithoutCr() {
  // 200 chunks of 63 bytes, no CR: the held text must stay bounded (checked inside the body).
  QByteArray input;
  for (int i = 0; i < 200; ++i) {
    input += char(0x3F);
    input += QByteArray(63, 'x');
  }
  kestrel::fuzz::ReceiveHandler(reinterpret_cast<const uint8_t*>(input.constData()),
                                size_t(input.size()));
}

void FuzzRegressions::bitmapReaderSurvivesHeaderClaimingHugeImage() {
  QByteArray bmp(62, '\0');
  bmp[0] = 'B';
  bmp[1] = 'M';
  auto put32 = [&bmp](int at, quint32 v) {
    for (int i = 0; i < 4; ++i) bmp[at + i] = char((v >> (8 * i)) & 0xFF);
  };
  put32(10, 62);
  put32(14, 40);
  put32(18, 240);
  put32(22, 60);
  bmp[26] = 1;
  bmp[28] = 1;
  put32(34, 0x7FFFFFF0);
  kestrel::fuzz::BitmapReader(reinterpret_cast<const uint8_t*>(bmp.constData()),
                              size_t(bmp.size()));
}

QTEST_GUILESS_MAIN(FuzzRegressions)
#include "tst_fuzzregressions.moc"
