#pragma once

#include <QLabel>
#include <QString>

namespace kestrel {

// A label whose text keeps the program's bare carriage returns, one at each line break of the
// text it is given. Plain-text QLabels break lines only at LF, so what is shown has each CR
// turned into a line break; rawText() gives the text with its carriage returns.
class CrLabel : public QLabel {
  Q_OBJECT
  Q_PROPERTY(QString rawText READ rawText WRITE setRawText)

 public:
  explicit CrLabel(QWidget* parent = nullptr);
  CrLabel(const QString& rawText, QWidget* parent = nullptr);

  QString rawText() const { return rawText_; }
  void setRawText(const QString& text);

 private:
  QString rawText_;
};

// The text as shown: every CR becomes a line break.
QString DisplayText(const QString& rawText);

}  // namespace kestrel
