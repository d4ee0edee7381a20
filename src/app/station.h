#pragma once

#include <QString>

namespace kestrel {

// Where and by whom a download runs, as the log records it.
QString StationName();  // the computer's host name
QString LoginName();    // the name the user logged in with; empty when the system has none
QString LoaderVersion();

}  // namespace kestrel
