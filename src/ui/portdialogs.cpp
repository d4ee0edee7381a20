#include "ui/portdialogs.h"

#include <QButtonGroup>
#include <QEvent>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "ui/messagebox.h"
#include "ui/programform.h"
#include "ui/uifonts.h"

namespace kestrel {

namespace {

void SetUpDialog(QDialog* dialog, const char* name, const QString& caption, int w, int h) {
  dialog->setObjectName(QLatin1String(name));
  MarkAsProgramForm(dialog);
  dialog->setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                         Qt::WindowCloseButtonHint);
  dialog->setWindowTitle(caption);
  dialog->setFixedSize(w, h);
  dialog->setFont(UiFont(QStringLiteral("MS Sans Serif"), 8.25));
}

QPushButton* MakeButton(QDialog* dialog, const char* name, const QString& caption, int x, int y) {
  auto* button = new QPushButton(caption, dialog);
  button->setObjectName(QLatin1String(name));
  button->setGeometry(x, y, 81, 25);
  return button;
}

}  // namespace

// ---------------------------------------------------------------------------------------------

CommDialog::CommDialog(PortConnection& connection, QWidget* parent)
    : QDialog(parent), connection_(connection) {
  SetUpDialog(this, "CommDialog", QStringLiteral("Set COM PORT"), 298, 132);
  setModal(true);

  auto* frame = new QGroupBox(QStringLiteral("COM PORT"), this);
  frame->setObjectName(QStringLiteral("fraCommPort"));
  frame->setGeometry(10, 8, 180, 114);

  group_ = new QButtonGroup(this);
  for (int i = 0; i < 9; ++i) {
    auto* entry = new QRadioButton(
        i < 8 ? QStringLiteral("COM %1").arg(i + 1) : QStringLiteral("TCP/IP"), frame);
    entry->setObjectName(QStringLiteral("optCommPort%1").arg(i));
    if (i < 8) {
      entry->setGeometry(16 + (i / 4) * 84, 22 + (i % 4) * 22, 70, 20);
    } else {
      entry->setGeometry(16, 22, 70, 20);
      entry->hide();  // the mode it selects is not offered to users
    }
    group_->addButton(entry, i);
    connect(entry, &QRadioButton::toggled, this, [this, i](bool checked) {
      if (checked) optCommPort_Click(static_cast<int16_t>(i));
    });
    entries_[static_cast<size_t>(i)] = entry;
  }

  auto* ok = MakeButton(this, "OKButton", QStringLiteral("OK"), 206, 14);
  ok->setDefault(true);
  auto* cancel = MakeButton(this, "CancelButton", QStringLiteral("Cancel"), 206, 46);
  connect(ok, &QPushButton::clicked, this, &CommDialog::OKButton_Click);
  connect(cancel, &QPushButton::clicked, this, &CommDialog::CancelButton_Click);

  Form_Load();
  if (connection_.TcpIpMode) {
    SelectEntry(8);
  } else if (const int port = connection_.port().CommPort(); port >= 1 && port <= 8) {
    SelectEntry(port - 1);
  }
  // Any other number has no entry: nothing is selected and OK keeps the port as it is.
}

void CommDialog::Form_Load() {
  portAtOpen_ = connection_.TcpIpMode ? kTcpIpPort : connection_.port().CommPort();
  chosenPort_ = portAtOpen_;
  EnableAvailableEntries();
}

void CommDialog::Form_Activate() { EnableAvailableEntries(); }

void CommDialog::EnableAvailableEntries() {
  for (int i = 0; i < 8; ++i)
    entries_[static_cast<size_t>(i)]->setEnabled(connection_.PortAvailable[static_cast<size_t>(i)]);
}

void CommDialog::SelectEntry(int index) {
  if (index < 0 || index >= static_cast<int>(entries_.size())) return;
  entries_[static_cast<size_t>(index)]->setChecked(true);
  optCommPort_Click(static_cast<int16_t>(index));
}

void CommDialog::optCommPort_Click(int16_t index) { chosenPort_ = index + 1; }

void CommDialog::OKButton_Click() {
  if (chosenPort_ == kTcpIpPort) {
    connection_.ChooseTcpIp(portAtOpen_);
  } else if (const QString error = connection_.ChangePort(chosenPort_, portAtOpen_);
             !error.isEmpty()) {
    ShowMessage(this, error);
  }
  accept();
}

void CommDialog::CancelButton_Click() { reject(); }

bool CommDialog::event(QEvent* e) {
  if (e->type() == QEvent::WindowActivate) Form_Activate();
  return QDialog::event(e);
}

// ---------------------------------------------------------------------------------------------

BaudDialog::BaudDialog(PortConnection& connection, QWidget* parent)
    : QDialog(parent), connection_(connection) {
  SetUpDialog(this, "BaudDialog", QStringLiteral("Set Baudrate"), 314, 110);
  setModal(true);

  auto* frame = new QGroupBox(QStringLiteral("BaudRate"), this);
  frame->setObjectName(QStringLiteral("fraBaudRate"));
  frame->setGeometry(10, 8, 196, 92);

  group_ = new QButtonGroup(this);
  for (int i = 0; i < static_cast<int>(kBaudEntries.size()); ++i) {
    auto* entry =
        new QRadioButton(QString::fromLatin1(kBaudEntries[static_cast<size_t>(i)].caption), frame);
    entry->setObjectName(QStringLiteral("optBaudRate%1").arg(i));
    entry->setGeometry(12 + (i / 3) * 92, 22 + (i % 3) * 22, 90, 20);
    group_->addButton(entry, i);
    connect(entry, &QRadioButton::toggled, this, [this, i](bool checked) {
      if (checked) optBaudRate_Click(static_cast<int16_t>(i));
    });
    entries_[static_cast<size_t>(i)] = entry;
  }

  auto* ok = MakeButton(this, "OKButton", QStringLiteral("OK"), 222, 14);
  ok->setDefault(true);
  auto* cancel = MakeButton(this, "CancelButton", QStringLiteral("Cancel"), 222, 46);
  connect(ok, &QPushButton::clicked, this, &BaudDialog::OKButton_Click);
  connect(cancel, &QPushButton::clicked, this, &BaudDialog::CancelButton_Click);

  Form_Load();
}

void BaudDialog::Form_Load() {
  const QString settings = connection_.port().Settings();
  const qsizetype comma = settings.indexOf(QLatin1Char(','));
  baudAtOpen_ = comma < 0 ? settings : settings.left(comma);

  for (int i = 0; i < static_cast<int>(kBaudEntries.size()); ++i) {
    if (baudAtOpen_ == QLatin1String(kBaudEntries[static_cast<size_t>(i)].speed)) {
      SelectEntry(i);
      return;
    }
  }

  // A speed the dialog does not offer: fall back to 38400 at once, before the user answers.
  SelectEntry(kFallbackBaudIndex);
  if (const QString error = connection_.FallBackToDefaultSpeed(); !error.isEmpty()) {
    // The old speed stays in force, so OK on 38400 still counts as a change to apply.
    ShowMessage(parentWidget(), error);
    return;
  }
  baudAtOpen_ = QString::fromLatin1(kBaudEntries[kFallbackBaudIndex].speed);
}

void BaudDialog::SelectEntry(int index) {
  if (index < 0 || index >= static_cast<int>(entries_.size())) return;
  entries_[static_cast<size_t>(index)]->setChecked(true);
  optBaudRate_Click(static_cast<int16_t>(index));
}

void BaudDialog::optBaudRate_Click(int16_t index) {
  if (index < 0 || index >= static_cast<int16_t>(kBaudEntries.size())) return;
  chosenBaud_ = QString::fromLatin1(kBaudEntries[static_cast<size_t>(index)].speed);
}

void BaudDialog::OKButton_Click() {
  if (const QString error = connection_.ChangeSpeed(chosenBaud_, baudAtOpen_); !error.isEmpty())
    ShowMessage(this, error);
  accept();
}

void BaudDialog::CancelButton_Click() { reject(); }

// ---------------------------------------------------------------------------------------------

TCP_IPDialog::TCP_IPDialog(QWidget* parent) : QDialog(parent) {
  SetUpDialog(this, "TCP_IPDialog", QStringLiteral("TCP/IP Settings"), 290, 128);
  setModal(false);

  auto* hostFrame = new QGroupBox(QStringLiteral("IP Host"), this);
  hostFrame->setGeometry(10, 8, 170, 52);
  txtHostIP_ = new QLineEdit(QStringLiteral("192.168.1.100"), hostFrame);
  txtHostIP_->setObjectName(QStringLiteral("txtHostIP"));
  txtHostIP_->setGeometry(12, 20, 146, 22);

  auto* portFrame = new QGroupBox(QStringLiteral("Remote Port"), this);
  portFrame->setGeometry(10, 66, 170, 52);
  txtPort_ = new QLineEdit(QStringLiteral("1234"), portFrame);
  txtPort_->setObjectName(QStringLiteral("txtPort"));
  txtPort_->setGeometry(12, 20, 146, 22);

  auto* ok = MakeButton(this, "OKButton", QStringLiteral("Aceptar"), 196, 14);
  ok->setDefault(true);
  auto* cancel = MakeButton(this, "CancelButton", QStringLiteral("Cancelar"), 196, 46);
  connect(ok, &QPushButton::clicked, this, &TCP_IPDialog::OKButton_Click);
  connect(cancel, &QPushButton::clicked, this, &TCP_IPDialog::CancelButton_Click);
}

void TCP_IPDialog::OKButton_Click() { close(); }
void TCP_IPDialog::CancelButton_Click() { close(); }

}  // namespace kestrel
