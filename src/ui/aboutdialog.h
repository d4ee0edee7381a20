#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QPushButton;

namespace kestrel {

class CrLabel;

// Help > About. Modal; its one button is both default and cancel button, so Enter and Esc
// close it.
class frmAbout : public QDialog {
  Q_OBJECT

 public:
  explicit frmAbout(QWidget* parent = nullptr);

  void Form_Load();
  void cmdOK_Click();

  QLabel* lblTitle() const { return lblTitle_; }
  QLabel* lblVersion() const { return lblVersion_; }
  QLabel* lblDescription() const { return lblDescription_; }
  CrLabel* lblDisclaimer() const { return lblDisclaimer_; }
  QPushButton* cmdOK() const { return cmdOK_; }

 private:
  QLabel* lblTitle_;
  QLabel* lblVersion_;
  QLabel* lblDescription_;
  CrLabel* lblDisclaimer_;
  QPushButton* cmdOK_;
};

}  // namespace kestrel
