#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace kestrel {

class CrLabel;

// Help > Help: names the manuals; the program does not open them. Modal.
class frmHelp : public QDialog {
  Q_OBJECT

 public:
  explicit frmHelp(QWidget* parent = nullptr);

  void Form_Load();
  void OKButton_Click();

  CrLabel* lblEnglish() const { return lblEnglish_; }
  CrLabel* lblSpanish() const { return lblSpanish_; }
  QPushButton* OKButton() const { return OKButton_; }
  QLabel* lblGuide() const { return lblGuide_; }

 private:
  CrLabel* lblEnglish_;
  CrLabel* lblSpanish_;
  QPushButton* OKButton_;
  QLabel* lblGuide_;  // where this copy's user's guide is
};

}  // namespace kestrel
