// The user's login name from the password database, as POSIX systems keep it; elsewhere from
// what the system sets for each session.
#include <QSysInfo>

#include "app/station.h"
#include "kestrel/version.h"

#ifdef Q_OS_UNIX
#include <pwd.h>
#include <unistd.h>

#include <vector>
#endif

namespace kestrel {

QString StationName() { return QSysInfo::machineHostName(); }

QString LoaderVersion() { return QString::fromLatin1(kVersionText); }

#ifdef Q_OS_UNIX

// The real user, not the effective one: a loader started through a set-user-ID wrapper still
// names whoever sat at the station.
QString LoginName() {
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
    return QString::number(::getuid());
  return QString::fromLocal8Bit(found->pw_name);
}

#else

QString LoginName() { return qEnvironmentVariable("USERNAME"); }

#endif

}  // namespace kestrel
