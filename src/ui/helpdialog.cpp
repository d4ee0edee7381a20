#include "ui/helpdialog.h"

#include <QDir>
#include <QLabel>
#include <QPushButton>

#include "settings/programfolder.h"

#include "texts/usertexts.h"
#include "ui/crlabel.h"
#include "ui/programform.h"
#include "ui/uifonts.h"

namespace kestrel {

frmHelp::frmHelp(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frmHelp"));
  MarkAsProgramForm(this);
  setModal(true);
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  setWindowTitle(texts::HelpCaption());
  setFixedSize(470, 130);
  setFont(UiFont(QStringLiteral("MS Sans Serif"), 8.25));

  lblEnglish_ = new CrLabel(texts::HelpEnglishFirstLine(), this);
  lblEnglish_->setObjectName(QStringLiteral("lblEnglish"));
  lblEnglish_->setGeometry(16, 16, 340, 40);
  lblEnglish_->setAlignment(Qt::AlignLeft | Qt::AlignTop);

  lblSpanish_ = new CrLabel(texts::HelpSpanishFirstLine(), this);
  lblSpanish_->setObjectName(QStringLiteral("lblSpanish"));
  lblSpanish_->setGeometry(16, 68, 340, 40);
  lblSpanish_->setAlignment(Qt::AlignLeft | Qt::AlignTop);

  lblGuide_ = new QLabel(this);
  lblGuide_->setObjectName(QStringLiteral("lblGuide"));
  lblGuide_->setTextFormat(Qt::PlainText);
  lblGuide_->setWordWrap(true);
  lblGuide_->setTextInteractionFlags(Qt::TextSelectableByMouse);  // a path to copy

  OKButton_ = new QPushButton(texts::OkButton(), this);
  OKButton_->setObjectName(QStringLiteral("OKButton"));
  OKButton_->setGeometry(372, 16, 82, 26);
  OKButton_->setDefault(true);
  connect(OKButton_, &QPushButton::clicked, this, &frmHelp::OKButton_Click);

  Form_Load();
}

void frmHelp::Form_Load() {
  lblEnglish_->setRawText(texts::HelpEnglish());
  lblSpanish_->setRawText(texts::HelpSpanish());
  lblGuide_->setText(texts::UserGuideLine(QDir::toNativeSeparators(UserGuide())));
  // A long path wraps; the window grows to hold it.
  const int width = 470 - 2 * 16;
  const int height = lblGuide_->heightForWidth(width);
  lblGuide_->setGeometry(16, 120, width, height);
  setFixedSize(470, 120 + height + 12);
}

void frmHelp::OKButton_Click() { accept(); }

}  // namespace kestrel
