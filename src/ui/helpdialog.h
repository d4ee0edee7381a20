#pragma once

#include <QDialog>

class QPushButton;

namespace kestrel {

class CrLabel;

inline constexpr char kHelpEnglish[] = "English:\rSee file 'Help Programmable Logo KESTREL II.pdf'";
// UTF-8: "Español".
inline constexpr char kHelpSpanish[] =
    "Espa\xc3\xb1ol:\rVer archivo 'Manual programa Quillory para KESTREL II.pdf'";

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
