#include "ui/crlabel.h"

#include "texts/usertexts.h"

namespace kestrel {

QString DisplayText(const QString& rawText) {
  QString shown = rawText;
  shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return shown;
}

CrLabel::CrLabel(QWidget* parent) : QLabel(parent) { setTextFormat(Qt::PlainText); }

CrLabel::CrLabel(const QString& rawText, QWidget* parent) : CrLabel(parent) { setRawText(rawText); }

void CrLabel::setRawText(const QString& text) {
  rawText_ = texts::InMessageBox(text);
  setText(DisplayText(rawText_));
}

}  // namespace kestrel
