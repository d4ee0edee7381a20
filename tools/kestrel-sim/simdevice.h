#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>

namespace kestrel::sim {

// How the simulated device misbehaves; the defaults make a well-behaved device.
struct DeviceOptions {
  bool neverAnswer = false;   // no reply to anything
  int nakAtBlock = -1;        // reply a non-ACK line to this block write of every download
                              // (the header block is block 0, the first logo block is 1)
  bool noInfoAnswer = false;  // no reply to the logo-information command
  bool doubleLine = false;    // every reply is sent twice in one piece
  bool noCr = false;          // replies lack their CR
};

inline constexpr char kAck = 0x06;
inline constexpr char kNak = 0x15;
inline constexpr int kLogoAddress = 2;
inline constexpr int kLogoBytes = 1800;
inline constexpr int kMaxFrame = 1024;  // a longer run without CR is line noise

enum class FrameKind { Empty, BlockWrite, LogoInfo, BadChecksum, Malformed, Unknown };

// What the device made of one CR-terminated frame.
struct FrameResult {
  FrameKind kind = FrameKind::Empty;
  int frameNumber = 0;            // within the current download; its empty frame is 1
  QByteArray answer;              // what goes back on the line; empty = nothing
  bool downloadComplete = false;  // the logo-information command closed a download
};

// The device's side of the protocol, without any line: bytes in, answers out.
class SimDevice {
 public:
  explicit SimDevice(DeviceOptions options = {});

  // Bytes as they arrive; returns one result per frame completed by them, in order.
  QList<FrameResult> feed(const QByteArray& bytes);

  // Lines for the operator (bad frames, finished downloads); taken once.
  QStringList takeReports();

  uint8_t memoryAt(int address) const { return memory_[size_t(address) & 0xFFFF]; }
  QByteArray logo() const;  // addresses 2..1801
  int completedDownloads() const { return completedDownloads_; }
  int framesInDownload() const { return frames_; }
  int blocksInDownload() const { return blocks_; }
  bool lastChecksumMatched() const { return lastChecksumMatched_; }
  const DeviceOptions& options() const { return options_; }

 private:
  FrameResult handleFrame(const QByteArray& frame);
  QByteArray replyLine(bool accepted) const;
  void report(const QString& line) { reports_ << line; }

  DeviceOptions options_;
  std::array<uint8_t, 65536> memory_{};
  QByteArray pending_;
  bool discarding_ = false;  // inside an overlong run, waiting for its CR
  int frames_ = 0;
  int blocks_ = 0;
  int downloads_ = 0;  // downloads begun (empty frames seen, or implied by a first frame)
  int completedDownloads_ = 0;
  bool lastChecksumMatched_ = false;
  QStringList reports_;
};

// The two checksum digits of a command text: low byte of length + sum of codes.
QByteArray ChecksumDigits(const QByteArray& text);
// 1800 plus the sum of the logo bytes, modulo 65536.
uint16_t LogoChecksum(const QByteArray& logo);
// The frame as a readable text: printable characters as they are, others as <hh>.
QString Printable(const QByteArray& bytes);

// The 240 x 60 logo as a binary PBM (P4): rows of 30 bytes, MSB leftmost, 1 = black.
QByteArray LogoToPbm(const QByteArray& logo);
// Writes the logo as PNG when the name ends in .png, else as PBM; only ever to a regular file,
// replaced whole.
bool SaveLogoPicture(const QByteArray& logo, const QString& path, QString* error);

}  // namespace kestrel::sim
