#include "ui/portdialogs.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>

#include "settings/inifile.h"
#include "texts/usertexts.h"
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

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption, int x, int y) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(QLatin1String(name));
  button->setGeometry(x, y, 81, 25);
  return button;
}

// How often the Port dialog looks for devices that came or went.
constexpr int kDevicePollMs = 1000;

QTreeWidget* MakeList(QWidget* parent, const char* name, const QStringList& headers,
                      const QList<int>& widths) {
  auto* list = new QTreeWidget(parent);
  list->setObjectName(QLatin1String(name));
  list->setRootIsDecorated(false);
  // Long /dev/serial/by-id names keep their distinctive end.
  list->setTextElideMode(Qt::ElideMiddle);
  list->setUniformRowHeights(true);
  list->setAllColumnsShowFocus(true);
  list->setHeaderLabels(headers);
  for (int i = 0; i < widths.size(); ++i) list->setColumnWidth(i, widths[i]);
  list->header()->setStretchLastSection(true);
  return list;
}

// Room for this many rows under the header.
int ListHeight(QTreeWidget* list, int rows) {
  const int row =
      list->topLevelItemCount() > 0 ? list->sizeHintForRow(0) : list->fontMetrics().height() + 4;
  return list->header()->sizeHint().height() + rows * row + 2 * list->frameWidth();
}

QString SourceText(const PortTarget& target) {
  switch (target.source) {
    case PortSource::Assignment:
      return texts::AssignedInNote(QLatin1String(kIniFileName));
    case PortSource::FolderEntry:
      return texts::FolderEntryNote(QFileInfo(target.named).fileName());
    case PortSource::Default:
      break;
  }
  return {};
}

}  // namespace

// ---------------------------------------------------------------------------------------------

CommDialog::CommDialog(PortConnection& connection, QWidget* parent)
    : QDialog(parent), connection_(connection) {
  // The device lists below the entries size the dialog (BuildDeviceControls).
  SetUpDialog(this, "CommDialog", texts::SetComPortCaption(), 600, 132);
  setModal(true);

  auto* frame = new QGroupBox(texts::ComPortFrame(), this);
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

  auto* ok = MakeButton(this, "OKButton", texts::OkButton(), 206, 14);
  ok->setDefault(true);
  auto* cancel = MakeButton(this, "CancelButton", texts::CancelButton(), 206, 46);
  connect(ok, &QPushButton::clicked, this, &CommDialog::OKButton_Click);
  connect(cancel, &QPushButton::clicked, this, &CommDialog::CancelButton_Click);

  BuildDeviceControls();

  Form_Load();
  if (connection_.state().tcpIpMode()) {
    SelectEntry(8);
  } else if (const int port = connection_.state().comNumber(); port >= 1 && port <= 8) {
    SelectEntry(port - 1);
  }
  // Any other number has no entry: nothing is selected and OK keeps the port as it is.
}

void CommDialog::BuildDeviceControls() {
  constexpr int kWidth = 580;
  auto* ports = new QGroupBox(texts::PortDevicesFrame(), this);
  ports->setObjectName(QStringLiteral("fraPortDevices"));
  lstPortDevices_ = MakeList(ports, "lstPortDevices", texts::PortDevicesHeaders(), {54, 250, 140});
  lstPortDevices_->setSelectionMode(QAbstractItemView::NoSelection);
  lstPortDevices_->setFocusPolicy(Qt::NoFocus);
  for (int i = 0; i < 8; ++i)
    new QTreeWidgetItem(lstPortDevices_, {QStringLiteral("COM %1").arg(i + 1)});
  // All eight rows without scrolling, whatever the font.
  lstPortDevices_->setGeometry(8, 20, kWidth - 16, ListHeight(lstPortDevices_, 8));
  ports->setGeometry(10, 130, kWidth, lstPortDevices_->geometry().bottom() + 8);

  auto* detected = new QGroupBox(texts::DetectedDevicesFrame(), this);
  detected->setObjectName(QStringLiteral("fraDetected"));
  lstDetected_ =
      MakeList(detected, "lstDetected", texts::DetectedDevicesHeaders(), {110, 150, 100, 100});
  lstDetected_->setSelectionMode(QAbstractItemView::SingleSelection);
  lstDetected_->setGeometry(8, 20, kWidth - 16, ListHeight(lstDetected_, 4));
  connect(lstDetected_, &QTreeWidget::itemSelectionChanged, this, &CommDialog::EnableAssignButtons);
  const int controlsTop = lstDetected_->geometry().bottom() + 8;

  auto* label = new QLabel(texts::AssignToLabel(), detected);
  label->setGeometry(8, controlsTop + 1, 170, 22);
  cboAssignPort_ = new QComboBox(detected);
  cboAssignPort_->setObjectName(QStringLiteral("cboAssignPort"));
  cboAssignPort_->setGeometry(180, controlsTop, 80, 24);
  for (int i = 0; i < 8; ++i) cboAssignPort_->addItem(QStringLiteral("COM %1").arg(i + 1), i + 1);
  connect(cboAssignPort_, &QComboBox::currentIndexChanged, this, &CommDialog::EnableAssignButtons);
  cmdAssign_ = MakeButton(detected, "cmdAssign", texts::AssignButton(), 272, controlsTop);
  cmdClear_ = MakeButton(detected, "cmdClear", texts::ClearButton(), 360, controlsTop);
  connect(cmdAssign_, &QPushButton::clicked, this, &CommDialog::cmdAssign_Click);
  connect(cmdClear_, &QPushButton::clicked, this, &CommDialog::cmdClear_Click);
  detected->setGeometry(10, ports->geometry().bottom() + 7, kWidth, controlsTop + 33);
  setFixedSize(kWidth + 20, detected->geometry().bottom() + 11);

  poll_ = new QTimer(this);
  poll_->setInterval(kDevicePollMs);
  connect(poll_, &QTimer::timeout, this, &CommDialog::RefreshDevices);
}

void CommDialog::Form_Load() {
  portAtOpen_ = connection_.state().tcpIpMode() ? kTcpIpPort : connection_.state().comNumber();
  chosenPort_ = portAtOpen_;
  RefreshDevices();
}

void CommDialog::Form_Activate() { RefreshDevices(); }

void CommDialog::RefreshDevices() {
  PortOverview now = connection_.overview();
  EnableAvailableEntries();
  if (overviewShown_ && now == shown_) return;
  shown_ = std::move(now);
  overviewShown_ = true;
  ShowOverview();
}

void CommDialog::ShowOverview() {
  for (int i = 0; i < 8; ++i) {
    const PortOverview::Entry& entry = shown_.entries[static_cast<size_t>(i)];
    QTreeWidgetItem* row = lstPortDevices_->topLevelItem(i);
    const bool unassigned = entry.target.source == PortSource::Default;
    row->setText(1, unassigned ? QString() : entry.target.shown());
    QString description = entry.description;
    if (!entry.target.usable())
      description = QStringLiteral("(%1)").arg(texts::NoDeviceNameNote());
    else if (!unassigned && !entry.available)
      description = QStringLiteral("(%1)").arg(texts::DeviceAbsentNote());
    row->setText(2, description);
    row->setText(3, SourceText(entry.target));
    row->setToolTip(1, entry.target.named.isEmpty() ? entry.target.device : entry.target.named);
    row->setDisabled(!entry.available);
  }

  // The selection survives a refresh as long as its device is still there.
  const QList<QTreeWidgetItem*> selected = lstDetected_->selectedItems();
  const QString selectedDevice = selected.isEmpty() ? QString() : selected.first()->text(0);
  lstDetected_->clear();
  for (const SerialDevice& device : shown_.detected) {
    QStringList ports;
    for (int i = 0; i < 8; ++i)
      if (shown_.entries[static_cast<size_t>(i)].target.device == device.device)
        ports << QStringLiteral("COM %1").arg(i + 1);
    auto* row =
        new QTreeWidgetItem(lstDetected_, {device.device, device.description, device.manufacturer,
                                           device.serialNumber, ports.join(QStringLiteral(", "))});
    row->setData(0, Qt::UserRole, device.stableName);
    row->setToolTip(0, device.stableName);
    if (device.device == selectedDevice) row->setSelected(true);
  }
  EnableAssignButtons();
}

void CommDialog::EnableAssignButtons() {
  const int index = cboAssignPort_->currentIndex();
  cmdAssign_->setEnabled(index >= 0 && !lstDetected_->selectedItems().isEmpty());
  cmdClear_->setEnabled(index >= 0 && shown_.entries[static_cast<size_t>(index)].target.source ==
                                          PortSource::Assignment);
}

void CommDialog::cmdAssign_Click() {
  const QList<QTreeWidgetItem*> selected = lstDetected_->selectedItems();
  if (!selected.isEmpty()) Assign(selected.first()->data(0, Qt::UserRole).toString());
}

void CommDialog::cmdClear_Click() { Assign(QString()); }

void CommDialog::Assign(const QString& device) {
  const int port = cboAssignPort_->currentData().toInt();
  if (const QString error = connection_.assignDevice(port, device); !error.isEmpty())
    ShowMessage(this, error);
  RefreshDevices();
}

void CommDialog::showEvent(QShowEvent* e) {
  QDialog::showEvent(e);
  poll_->start();
}

void CommDialog::hideEvent(QHideEvent* e) {
  poll_->stop();
  QDialog::hideEvent(e);
}

void CommDialog::EnableAvailableEntries() {
  for (int i = 0; i < 8; ++i)
    entries_[static_cast<size_t>(i)]->setEnabled(connection_.PortAvailable[static_cast<size_t>(i)]);
}

void CommDialog::SelectEntry(int index) {
  if (index < 0 || index >= static_cast<int>(entries_.size())) return;
  entries_[static_cast<size_t>(index)]->setChecked(true);
  optCommPort_Click(static_cast<int16_t>(index));
}

void CommDialog::optCommPort_Click(int16_t index) {
  chosenPort_ = index + 1;
  // An assignment is made for the entry the user is looking at.
  if (index >= 0 && index < 8) cboAssignPort_->setCurrentIndex(index);
}

void CommDialog::OKButton_Click() {
  const QString error = chosenPort_ == kTcpIpPort
                            ? connection_.chooseTcpIp(portAtOpen_)
                            : connection_.changePort(chosenPort_, portAtOpen_);
  if (!error.isEmpty()) ShowMessage(this, error);
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
  SetUpDialog(this, "BaudDialog", texts::SetBaudrateCaption(), 314, 110);
  setModal(true);

  auto* frame = new QGroupBox(texts::BaudRateFrame(), this);
  frame->setObjectName(QStringLiteral("fraBaudRate"));
  frame->setGeometry(10, 8, 196, 92);

  group_ = new QButtonGroup(this);
  int entryWidth = 90;
  for (int i = 0; i < static_cast<int>(kBaudSpeeds.size()); ++i) {
    auto* entry = new QRadioButton(texts::BaudCaption(i), frame);
    entry->setObjectName(QStringLiteral("optBaudRate%1").arg(i));
    entryWidth = std::max(entryWidth, entry->sizeHint().width());
    group_->addButton(entry, i);
    connect(entry, &QRadioButton::toggled, this, [this, i](bool checked) {
      if (checked) optBaudRate_Click(static_cast<int16_t>(i));
    });
    entries_[static_cast<size_t>(i)] = entry;
  }
  // Captions longer than designed (another language) widen the columns, the frame and the
  // dialog rather than being cut off.
  const int wider = entryWidth - 90;
  for (int i = 0; i < static_cast<int>(entries_.size()); ++i)
    entries_[static_cast<size_t>(i)]->setGeometry(12 + (i / 3) * (entryWidth + 2),
                                                  22 + (i % 3) * 22, entryWidth, 20);
  frame->setGeometry(10, 8, 196 + 2 * wider, 92);
  setFixedSize(314 + 2 * wider, 110);

  auto* ok = MakeButton(this, "OKButton", texts::OkButton(), 222 + 2 * wider, 14);
  ok->setDefault(true);
  auto* cancel = MakeButton(this, "CancelButton", texts::CancelButton(), 222 + 2 * wider, 46);
  connect(ok, &QPushButton::clicked, this, &BaudDialog::OKButton_Click);
  connect(cancel, &QPushButton::clicked, this, &BaudDialog::CancelButton_Click);

  Form_Load();
}

void BaudDialog::Form_Load() {
  const QString settings = FormatLineSettings(connection_.state().lineSettings());
  const qsizetype comma = settings.indexOf(QLatin1Char(','));
  baudAtOpen_ = comma < 0 ? settings : settings.left(comma);

  for (int i = 0; i < static_cast<int>(kBaudSpeeds.size()); ++i) {
    if (baudAtOpen_ == QLatin1String(kBaudSpeeds[static_cast<size_t>(i)])) {
      SelectEntry(i);
      return;
    }
  }

  // A speed the dialog does not offer: fall back to 38400 at once, before the user answers.
  SelectEntry(kFallbackBaudIndex);
  if (const QString error = connection_.fallBackToDefaultSpeed(); !error.isEmpty()) {
    // The old speed stays in force, so OK on 38400 still counts as a change to apply.
    ShowMessage(parentWidget(), error);
    return;
  }
  baudAtOpen_ = QString::fromLatin1(kBaudSpeeds[kFallbackBaudIndex]);
}

void BaudDialog::SelectEntry(int index) {
  if (index < 0 || index >= static_cast<int>(entries_.size())) return;
  entries_[static_cast<size_t>(index)]->setChecked(true);
  optBaudRate_Click(static_cast<int16_t>(index));
}

void BaudDialog::optBaudRate_Click(int16_t index) {
  if (index < 0 || index >= static_cast<int16_t>(kBaudSpeeds.size())) return;
  chosenBaud_ = QString::fromLatin1(kBaudSpeeds[static_cast<size_t>(index)]);
}

void BaudDialog::OKButton_Click() {
  if (const QString error = connection_.changeSpeed(chosenBaud_, baudAtOpen_); !error.isEmpty())
    ShowMessage(this, error);
  accept();
}

void BaudDialog::CancelButton_Click() { reject(); }

// ---------------------------------------------------------------------------------------------

TCP_IPDialog::TCP_IPDialog(QWidget* parent) : QDialog(parent) {
  SetUpDialog(this, "TCP_IPDialog", texts::TcpIpCaption(), 290, 128);
  setModal(false);

  auto* hostFrame = new QGroupBox(texts::IpHostFrame(), this);
  hostFrame->setGeometry(10, 8, 170, 52);
  txtHostIP_ = new QLineEdit(QStringLiteral("192.168.1.100"), hostFrame);
  txtHostIP_->setObjectName(QStringLiteral("txtHostIP"));
  txtHostIP_->setGeometry(12, 20, 146, 22);

  auto* portFrame = new QGroupBox(texts::RemotePortFrame(), this);
  portFrame->setGeometry(10, 66, 170, 52);
  txtPort_ = new QLineEdit(QStringLiteral("1234"), portFrame);
  txtPort_->setObjectName(QStringLiteral("txtPort"));
  txtPort_->setGeometry(12, 20, 146, 22);

  auto* ok = MakeButton(this, "OKButton", texts::AceptarButton(), 196, 14);
  ok->setDefault(true);
  auto* cancel = MakeButton(this, "CancelButton", texts::CancelarButton(), 196, 46);
  connect(ok, &QPushButton::clicked, this, &TCP_IPDialog::OKButton_Click);
  connect(cancel, &QPushButton::clicked, this, &TCP_IPDialog::CancelButton_Click);
}

void TCP_IPDialog::OKButton_Click() { close(); }
void TCP_IPDialog::CancelButton_Click() { close(); }

}  // namespace kestrel
