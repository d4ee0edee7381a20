#pragma once

#include <QDialog>

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

 private:
  CrLabel* lblEnglish_;
  CrLabel* lblSpanish_;
  QPushButton* OKButton_;
};

}  // namespace kestrel
