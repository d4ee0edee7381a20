#include "ui/uifonts.h"

#include <QFontDatabase>

namespace kestrel {

QFont UiFont(const QString& family, qreal pointSize, bool bold) {
  static const QString kSubstitute = QStringLiteral("Liberation Sans");
  QString chosen = family;
  if (!QFontDatabase::hasFamily(family) && QFontDatabase::hasFamily(kSubstitute))
    chosen = kSubstitute;
  QFont font(chosen);
  font.setPointSizeF(pointSize);
  font.setBold(bold);
  return font;
}

}  // namespace kestrel
