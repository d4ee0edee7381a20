// kestrel-bench-convert: a 24-megapixel photo through kestrel-logo-convert, timed with the
// converter's peak memory, beside ImageMagick's convert doing the same job when it is installed;
// then a JPEG of thousands of scans, which must be refused within a second.
// The photo is drawn here and written to a temporary folder, by a child process so that this
// one stays small: a forked child inherits its parent's peak resident set.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr int kPhotoWidth = 6000;
constexpr int kPhotoHeight = 4000;
constexpr int kPhotoQuality = 90;
constexpr int kRuns = 5;
constexpr double kGoalSeconds = 0.1;
constexpr double kGoalPeakMiB = 40;
// By its full path: a `convert` earlier on PATH may be something else.
constexpr char kImageMagick[] = "/usr/bin/convert";
constexpr char kWritePhotoOption[] = "--write-photo";
// A progressive JPEG of thousands of scans, each of which a decoder goes over the whole picture
// for: refused unread. One at the converter's limit shows what an accepted file can still cost.
constexpr char kWriteScansOption[] = "--write-scans";
constexpr int kScansSide = 4000;
constexpr int kAbsurdScans = 2000;
constexpr int kScansAtLimit = 300;
constexpr double kRefusalGoalSeconds = 1.0;

// Sky, hills and a low sun, with the grain of a camera sensor: its JPEG is about the size a
// camera writes for 24 megapixels, and no part of it compresses away.
int WritePhoto(const QString& path) {
  QImage photo(kPhotoWidth, kPhotoHeight, QImage::Format_RGB32);
  {
    QPainter painter(&photo);
    QLinearGradient sky(0, 0, 0, kPhotoHeight);
    sky.setColorAt(0, QColor(40, 90, 170));
    sky.setColorAt(0.55, QColor(230, 180, 140));
    sky.setColorAt(1, QColor(90, 70, 40));
    painter.fillRect(photo.rect(), sky);
    QRadialGradient sun(4200, 1500, 700);
    sun.setColorAt(0, QColor(255, 250, 220));
    sun.setColorAt(1, QColor(255, 200, 120, 0));
    painter.fillRect(photo.rect(), sun);
    painter.setRenderHint(QPainter::Antialiasing);
    for (int hill = 0; hill < 4; ++hill) {
      QPainterPath ridge(QPointF(0, kPhotoHeight));
      for (int x = 0; x <= kPhotoWidth; x += 50)
        ridge.lineTo(x, 2000 + hill * 450 + 260 * std::sin(x / (500.0 + hill * 170) + hill) +
                            90 * std::sin(x / 97.0 + hill * 2));
      ridge.lineTo(kPhotoWidth, kPhotoHeight);
      painter.fillPath(ridge, QColor(30 + hill * 25, 60 + hill * 15, 30 + hill * 5));
    }
  }
  uint32_t seed = 12345;
  for (int y = 0; y < kPhotoHeight; ++y) {
    auto* line = reinterpret_cast<QRgb*>(photo.scanLine(y));
    for (int x = 0; x < kPhotoWidth; ++x) {
      seed = seed * 1664525u + 1013904223u;
      const int grain = int(seed >> 27) - 16;
      auto channel = [grain](int value) { return std::clamp(value + grain, 0, 255); };
      line[x] = qRgb(channel(qRed(line[x])), channel(qGreen(line[x])), channel(qBlue(line[x])));
    }
  }
  QImageWriter writer(path, "jpeg");
  writer.setQuality(kPhotoQuality);
  if (!writer.write(photo)) {
    std::fprintf(stderr, "cannot write %s: %s\n", qPrintable(path),
                 qPrintable(writer.errorString()));
    return 1;
  }
  return 0;
}

// The last scan repeated until there are `scans` (decoders only warn about the repeats).
int WriteScans(int scans, const QString& path) {
  QImage picture(kScansSide, kScansSide, QImage::Format_RGB32);
  for (int y = 0; y < kScansSide; ++y)
    for (int x = 0; x < kScansSide; ++x)
      picture.setPixel(x, y, (x / 64 + y / 64) % 2 ? qRgb(30, 60, 90) : qRgb(220, 200, 160));
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, "jpeg");
  writer.setProgressiveScanWrite(true);
  if (!writer.write(picture)) return 1;
  const QByteArray startOfScan("\xFF\xDA");
  const qsizetype last = bytes.lastIndexOf(startOfScan);
  const QByteArray scan = bytes.mid(last, bytes.size() - 2 - last);
  QFile file(path);
  const QByteArray out =
      bytes.left(last) + scan.repeated(scans - bytes.count(startOfScan) + 1) + "\xFF\xD9";
  return file.open(QIODevice::WriteOnly) && file.write(out) == out.size() ? 0 : 1;
}

struct Measured {
  bool ran = false;
  int exitCode = -1;
  double seconds = 0;
  double cpuSeconds = 0;
  double peakMiB = 0;
};

// Runs the program to its end; its wall and CPU time and its own peak resident set.
Measured RunOnce(const QStringList& command) {
  std::vector<QByteArray> bytes;
  for (const QString& part : command) bytes.push_back(QFile::encodeName(part));
  std::vector<char*> argv;
  for (QByteArray& part : bytes) argv.push_back(part.data());
  argv.push_back(nullptr);

  Measured result;
  std::fflush(stdout);  // the child's messages after what is printed so far
  QElapsedTimer clock;
  clock.start();
  const pid_t child = fork();
  if (child < 0) return result;
  if (child == 0) {
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (wait4(child, &status, 0, &usage) != child) return result;
  result.seconds = double(clock.nsecsElapsed()) / 1e9;
  result.ran = WIFEXITED(status) && WEXITSTATUS(status) != 127;
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
  result.cpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
  result.peakMiB = double(usage.ru_maxrss) / 1024;  // kibibytes on Linux
  return result;
}

struct Row {
  QString name;
  QStringList command;
  QString output;
};

struct Summary {
  bool ok = false;
  double seconds = 0;
  double cpuSeconds = 0;
  double peakMiB = 0;
};

// The median times and the highest peak of kRuns runs, after one run that warms the file cache.
Summary Measure(const Row& row) {
  Summary summary;
  std::vector<double> times;
  std::vector<double> cpuTimes;
  for (int run = 0; run <= kRuns; ++run) {
    QFile::remove(row.output);
    const Measured m = RunOnce(row.command);
    if (!m.ran || m.exitCode != 0 || !QFileInfo(row.output).isFile()) {
      std::printf("%-34s failed (exit %d)\n", qPrintable(row.name), m.exitCode);
      return summary;
    }
    if (run == 0) continue;
    times.push_back(m.seconds);
    cpuTimes.push_back(m.cpuSeconds);
    summary.peakMiB = std::max(summary.peakMiB, m.peakMiB);
  }
  std::sort(times.begin(), times.end());
  std::sort(cpuTimes.begin(), cpuTimes.end());
  summary.seconds = times[times.size() / 2];
  summary.cpuSeconds = cpuTimes[cpuTimes.size() / 2];
  summary.ok = true;
  std::printf("%-34s %8.3f s %8.3f s %9.1f MiB\n", qPrintable(row.name), summary.seconds,
              summary.cpuSeconds, summary.peakMiB);
  return summary;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const QStringList arguments = QCoreApplication::arguments();
  if (arguments.size() == 3 && arguments[1] == QLatin1String(kWritePhotoOption))
    return WritePhoto(arguments[2]);
  if (arguments.size() == 4 && arguments[1] == QLatin1String(kWriteScansOption))
    return WriteScans(arguments[2].toInt(), arguments[3]);

  QTemporaryDir folder;
  if (!folder.isValid()) {
    std::printf("no temporary folder\n");
    return 1;
  }
  const QString photo = folder.filePath(QStringLiteral("photo.jpg"));
  const Measured written = RunOnce(
      {QCoreApplication::applicationFilePath(), QString::fromLatin1(kWritePhotoOption), photo});
  if (!written.ran || written.exitCode != 0) {
    std::printf("the photo could not be made\n");
    return 1;
  }
  std::printf(
      "A %d x %d JPEG photo (%.1f MiB, quality %d) to a 240 x 60 logo bitmap;\n"
      "median wall and CPU time of %d runs and the highest peak resident set.\n\n",
      kPhotoWidth, kPhotoHeight, double(QFileInfo(photo).size()) / (1024 * 1024), kPhotoQuality,
      kRuns);
  std::printf("%-34s %10s %10s %13s\n", "", "wall", "CPU", "peak memory");

  const QString ours =
      QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("kestrel-logo-convert"));
  const QString bitmap = folder.filePath(QStringLiteral("logo.bmp"));
  auto our = [&](const char* name, QStringList options) {
    return Row{QString::fromLatin1(name), QStringList{ours, photo, bitmap} + options, bitmap};
  };
  const Summary fit = Measure(our("kestrel-logo-convert --fit", {}));
  const Summary fill = Measure(our("kestrel-logo-convert --fill", {QStringLiteral("--fill")}));
  const Summary dither =
      Measure(our("kestrel-logo-convert --fit --dither", {QStringLiteral("--dither")}));

  if (QFileInfo(QString::fromLatin1(kImageMagick)).isExecutable()) {
    // The same job: fitted on white, dithered to two colours, a Windows bitmap.
    const QStringList job{QStringLiteral("-resize"),     QStringLiteral("240x60"),
                          QStringLiteral("-background"), QStringLiteral("white"),
                          QStringLiteral("-gravity"),    QStringLiteral("center"),
                          QStringLiteral("-extent"),     QStringLiteral("240x60"),
                          QStringLiteral("-monochrome"), QStringLiteral("BMP3:") + bitmap};
    Measure(Row{QStringLiteral("ImageMagick convert"),
                QStringList{QString::fromLatin1(kImageMagick), photo} + job, bitmap});
    // Told the size it needs, ImageMagick too lets the JPEG decoder scale.
    Measure(Row{QStringLiteral("ImageMagick -define jpeg:size"),
                QStringList{QString::fromLatin1(kImageMagick), QStringLiteral("-define"),
                            QStringLiteral("jpeg:size=480x120"), photo} +
                    job,
                bitmap});
  } else {
    std::printf("%-34s not installed (apt-get install imagemagick)\n", kImageMagick);
  }

  // Once each: the file at the limit is slow by design.
  std::printf("\nProgressive %d x %d JPEGs, the last scan repeated:\n", kScansSide, kScansSide);
  bool refusedInTime = false;
  for (const int scans : {kAbsurdScans, kScansAtLimit}) {
    const QString picture = folder.filePath(QStringLiteral("scans-%1.jpg").arg(scans));
    const Measured made =
        RunOnce({QCoreApplication::applicationFilePath(), QString::fromLatin1(kWriteScansOption),
                 QString::number(scans), picture});
    if (!made.ran || made.exitCode != 0) {
      std::printf("the %d-scan picture could not be made\n", scans);
      return 1;
    }
    QFile::remove(bitmap);
    const Measured m = RunOnce({ours, picture, bitmap});
    const bool refused = m.exitCode == 1 && !QFileInfo::exists(bitmap);
    std::printf("%5d scans (%.1f MiB): %s in %.3f s\n", scans,
                double(QFileInfo(picture).size()) / (1024 * 1024),
                refused ? "refused" : (m.exitCode == 0 ? "converted" : "failed"), m.seconds);
    if (scans == kAbsurdScans) refusedInTime = refused && m.seconds < kRefusalGoalSeconds;
  }
  std::printf("%d scans refused in < %.0f s: %s\n", kAbsurdScans, kRefusalGoalSeconds,
              refusedInTime ? "met" : "MISSED");

  if (!fit.ok || !fill.ok || !dither.ok) {
    std::printf("\nThe converter failed.\n");
    return 1;
  }
  bool met = true;
  for (const Summary* s : {&fit, &fill, &dither}) met = met && s->seconds < kGoalSeconds;
  const double peak = std::max({fit.peakMiB, fill.peakMiB, dither.peakMiB});
  const bool peakMet = peak < kGoalPeakMiB;
  std::printf("\nconverter time %.3f s at most < %.1f s: %s\n",
              std::max({fit.seconds, fill.seconds, dither.seconds}), kGoalSeconds,
              met ? "met" : "MISSED");
  std::printf("converter peak %.1f MiB < %.0f MiB: %s\n", peak, kGoalPeakMiB,
              peakMet ? "met" : "MISSED");
  double load = 0;
  if (getloadavg(&load, 1) == 1)
    std::printf(
        "load average %.1f on %ld processors: above their number, other work slows these "
        "times\n",
        load, sysconf(_SC_NPROCESSORS_ONLN));
  std::printf("\n%s\n", met && peakMet && refusedInTime ? "All goals met." : "Some goals missed.");
  return 0;
}
