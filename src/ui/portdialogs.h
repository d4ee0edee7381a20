#pragma once

#include <QDialog>
#include <QString>
#include <array>
#include <cstdint>

#include "app/portconnection.h"

class QButtonGroup;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTimer;
class QTreeWidget;

namespace kestrel {

// Comm > Port: COM 1 to COM 8 plus a hidden TCP/IP entry (index 8). Modal. Form_Load and the
// preselection of the current port run when it is created.
//
// Below the entries it shows what each of them stands for and the serial devices detected,
// where one can be assigned to a COM number or an assignment cleared. While the dialog is
// shown it looks again every second, so plugging and pulling adapters shows without delay.
class CommDialog : public QDialog {
  Q_OBJECT

 public:
  explicit CommDialog(PortConnection& connection, QWidget* parent = nullptr);

  void Form_Load();
  void Form_Activate();
  void optCommPort_Click(int16_t index);
  void OKButton_Click();
  void CancelButton_Click();
  // The selected detected device becomes the device of the COM number in cboAssignPort.
  void cmdAssign_Click();
  void cmdClear_Click();

  // Selecting from the program has the same effect as the user's click.
  void SelectEntry(int index);
  // Availability, the entries' devices and the detected devices read anew.
  void RefreshDevices();

  int PortAtOpen() const { return portAtOpen_; }
  int ChosenPort() const { return chosenPort_; }
  QRadioButton* optCommPort(int index) const { return entries_.at(static_cast<size_t>(index)); }
  QTreeWidget* lstPortDevices() const { return lstPortDevices_; }
  QTreeWidget* lstDetected() const { return lstDetected_; }
  QComboBox* cboAssignPort() const { return cboAssignPort_; }
  QPushButton* cmdAssign() const { return cmdAssign_; }
  QPushButton* cmdClear() const { return cmdClear_; }

 protected:
  bool event(QEvent* e) override;
  void showEvent(QShowEvent* e) override;
  void hideEvent(QHideEvent* e) override;

 private:
  void BuildDeviceControls();
  void EnableAvailableEntries();
  void ShowOverview();
  void EnableAssignButtons();
  void Assign(const QString& device);

  PortConnection& connection_;
  QButtonGroup* group_;
  std::array<QRadioButton*, 9> entries_{};
  int portAtOpen_ = 0;
  int chosenPort_ = 0;

  QTreeWidget* lstPortDevices_ = nullptr;
  QTreeWidget* lstDetected_ = nullptr;
  QComboBox* cboAssignPort_ = nullptr;
  QPushButton* cmdAssign_ = nullptr;
  QPushButton* cmdClear_ = nullptr;
  QTimer* poll_ = nullptr;
  PortOverview shown_;
  bool overviewShown_ = false;
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
