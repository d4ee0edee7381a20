#pragma once

#include <QDialog>
#include <QString>
#include <array>
#include <cstdint>

#include "app/portconnection.h"

class QButtonGroup;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace kestrel {

// Comm > Port: COM 1 to COM 8 plus a hidden TCP/IP entry (index 8). Modal. Form_Load and the
// preselection of the current port run when it is created.
class CommDialog : public QDialog {
  Q_OBJECT

 public:
  explicit CommDialog(PortConnection& connection, QWidget* parent = nullptr);

  void Form_Load();
  void Form_Activate();
  void optCommPort_Click(int16_t index);
  void OKButton_Click();
  void CancelButton_Click();

  // Selecting from the program has the same effect as the user's click.
  void SelectEntry(int index);

  int PortAtOpen() const { return portAtOpen_; }
  int ChosenPort() const { return chosenPort_; }
  QRadioButton* optCommPort(int index) const { return entries_.at(static_cast<size_t>(index)); }

 protected:
  bool event(QEvent* e) override;

 private:
  void EnableAvailableEntries();

  PortConnection& connection_;
  QButtonGroup* group_;
  std::array<QRadioButton*, 9> entries_{};
  int portAtOpen_ = 0;
  int chosenPort_ = 0;
};

// Comm > Settings (serial mode): the line speed. Modal. Form_Load runs when it is created and
// may already switch the port to 38400 when the speed in force is not one of the six.
class BaudDialog : public QDialog {
  Q_OBJECT

 public:
  explicit BaudDialog(PortConnection& connection, QWidget* parent = nullptr);

  void Form_Load();
  void optBaudRate_Click(int16_t index);
  void OKButton_Click();
  void CancelButton_Click();

  void SelectEntry(int index);

  QString BaudAtOpen() const { return baudAtOpen_; }
  QString ChosenBaud() const { return chosenBaud_; }
  QRadioButton* optBaudRate(int index) const { return entries_.at(static_cast<size_t>(index)); }

 private:
  PortConnection& connection_;
  QButtonGroup* group_;
  std::array<QRadioButton*, 6> entries_{};
  QString baudAtOpen_;
  QString chosenBaud_;
};

// Comm > Settings in TCP/IP mode. Modeless; its fields are neither read nor stored.
class TCP_IPDialog : public QDialog {
  Q_OBJECT

 public:
  explicit TCP_IPDialog(QWidget* parent = nullptr);

  void OKButton_Click();
  void CancelButton_Click();

  QLineEdit* txtHostIP() const { return txtHostIP_; }
  QLineEdit* txtPort() const { return txtPort_; }

 private:
  QLineEdit* txtHostIP_;
  QLineEdit* txtPort_;
};

}  // namespace kestrel
