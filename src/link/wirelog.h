#pragma once

#include <QByteArray>
#include <QLoggingCategory>
#include <QString>

namespace kestrel {

// Every frame and reply on the serial line, off by default. Switch it on with
// QT_LOGGING_RULES="kestrel.wire.debug=true".
Q_DECLARE_LOGGING_CATEGORY(lcWire)

// Bytes of the line as a person reads them: printable ASCII as it is, CR as <CR>, ACK and NAK
// by name, anything else as <xx> in hex.
QString WireText(const QByteArray& bytes);

}  // namespace kestrel
