#pragma once

#include <QFont>
#include <QString>

namespace kestrel {

// The window's fonts by their classic names. Where a family is not installed, a
// metric-compatible one takes its place (Liberation Sans for Helvetica, Arial and
// MS Sans Serif), so texts keep the widths the layout was made for.
QFont UiFont(const QString& family, qreal pointSize, bool bold = false);

}  // namespace kestrel
