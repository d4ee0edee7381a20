#include "picture/quietdecoders.h"

#include <QtGlobal>
#include <atomic>
#include <cstdio>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#define KESTREL_DUP _dup
#define KESTREL_DUP2 _dup2
#define KESTREL_OPEN _open
#define KESTREL_CLOSE _close
#define KESTREL_WRONLY _O_WRONLY
static constexpr char kNullDevice[] = "NUL";
#else
#include <fcntl.h>
#include <unistd.h>
#define KESTREL_DUP dup
#define KESTREL_DUP2 dup2
#define KESTREL_OPEN open
#define KESTREL_CLOSE close
#define KESTREL_WRONLY O_WRONLY
static constexpr char kNullDevice[] = "/dev/null";
#endif

namespace kestrel {

namespace {
constexpr int kStandardError = 2;

// Atomic: a picture may be read in a thread of its own while another thread logs.
std::atomic<QtMessageHandler>& Outer() {
  static std::atomic<QtMessageHandler> handler = nullptr;
  return handler;
}

void DropDecoderWarnings(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (type == QtDebugMsg || type == QtInfoMsg || type == QtWarningMsg) return;
  if (const QtMessageHandler outer = Outer()) outer(type, context, text);
}
}  // namespace

QuietDecoders::QuietDecoders() {
  previousHandler_ = qInstallMessageHandler(DropDecoderWarnings);
  Outer() = previousHandler_;
  std::fflush(stderr);
  saved_ = KESTREL_DUP(kStandardError);
  if (saved_ < 0) return;
  const int null = KESTREL_OPEN(kNullDevice, KESTREL_WRONLY);
  if (null < 0 || KESTREL_DUP2(null, kStandardError) < 0) {
    if (null >= 0) KESTREL_CLOSE(null);
    KESTREL_CLOSE(saved_);
    saved_ = -1;
    return;
  }
  KESTREL_CLOSE(null);
}

QuietDecoders::~QuietDecoders() {
  qInstallMessageHandler(previousHandler_);
  if (saved_ < 0) return;
  std::fflush(stderr);
  KESTREL_DUP2(saved_, kStandardError);
  KESTREL_CLOSE(saved_);
}

}  // namespace kestrel
