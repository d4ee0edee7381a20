#include "ui/aboutdialog.h"

#include <QLabel>
#include <QPainter>
#include <QPushButton>

#include "kestrel/version.h"
#include "texts/usertexts.h"
#include "ui/crlabel.h"
#include "ui/programform.h"
#include "ui/uifonts.h"

namespace kestrel {

namespace {

// An engraved rule: a grey line over a white line two pixels high.
class EngravedLine : public QWidget {
 public:
  explicit EngravedLine(QWidget* parent) : QWidget(parent) {}

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.fillRect(0, 0, width(), 1, QColor(0x80, 0x80, 0x80));
    painter.fillRect(0, 1, width(), 2, Qt::white);
  }
};

QLabel* MakeLabel(QWidget* parent, const char* name, int x, int y, int w, int h) {
  auto* label = new QLabel(parent);
  label->setObjectName(QLatin1String(name));
  label->setTextFormat(Qt::PlainText);
  label->setGeometry(x, y, w, h);
  return label;
}

}  // namespace

frmAbout::frmAbout(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frmAbout"));
  MarkAsProgramForm(this);
  setModal(true);
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  setFixedSize(382, 218);
  setFont(UiFont(QStringLiteral("MS Sans Serif"), 8.25));

  lblTitle_ = MakeLabel(this, "lblTitle", 24, 16, 334, 26);
  lblTitle_->setFont(UiFont(QStringLiteral("MS Sans Serif"), 13.5, true));
  lblVersion_ = MakeLabel(this, "lblVersion", 24, 50, 334, 18);
  lblDescription_ = MakeLabel(this, "lblDescription", 24, 76, 334, 36);
  lblDescription_->setWordWrap(true);
  lblDescription_->setText(texts::Description());

  auto* line = new EngravedLine(this);
  line->setObjectName(QStringLiteral("Line1"));
  line->setGeometry(8, 122, 366, 3);

  lblDisclaimer_ = new CrLabel(this);
  lblDisclaimer_->setObjectName(QStringLiteral("lblDisclaimer"));
  lblDisclaimer_->setGeometry(24, 136, 230, 60);
  lblDisclaimer_->setAlignment(Qt::AlignLeft | Qt::AlignTop);

  cmdOK_ = new QPushButton(texts::AceptarButton(), this);
  cmdOK_->setObjectName(QStringLiteral("cmdOK"));
  cmdOK_->setGeometry(270, 160, 90, 26);
  cmdOK_->setDefault(true);
  connect(cmdOK_, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);

  Form_Load();
}

void frmAbout::Form_Load() {
  setWindowTitle(texts::AboutCaption());
  lblVersion_->setText(texts::VersionText(kVersionMajor, kVersionMinor, kVersionPatch));
  lblTitle_->setText(texts::ApplicationTitle());
  lblDisclaimer_->setRawText(texts::Disclaimer());
}

// Esc reaches QDialog::reject, which closes the window just as this button does.
void frmAbout::cmdOK_Click() { accept(); }

}  // namespace kestrel
