#include "ui/messagebox.h"

#include <QMessageBox>

#include "app/usertexts.h"
#include "ui/crlabel.h"

namespace kestrel {
namespace {
MessageInterceptor& interceptor() {
  static MessageInterceptor fn;
  return fn;
}
}  // namespace

MessageInterceptor SetMessageInterceptor(MessageInterceptor fn) {
  MessageInterceptor previous = std::move(interceptor());
  interceptor() = std::move(fn);
  return previous;
}

void ShowMessage(QWidget* parent, const QString& text, const QString& title) {
  if (interceptor()) {
    interceptor()(text, title);
    return;
  }
  const QString caption = title.isEmpty() ? QString::fromLatin1(kApplicationTitle) : title;
  QMessageBox box(QMessageBox::Critical, caption, DisplayText(text), QMessageBox::Ok, parent);
  box.setObjectName(QStringLiteral("messageBox"));
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

void ShowNotice(QWidget* parent, const QString& text) {
  if (interceptor()) {
    interceptor()(text, QString());
    return;
  }
  auto* box = new QMessageBox(QMessageBox::Warning, QString::fromLatin1(kApplicationTitle),
                              DisplayText(text), QMessageBox::Ok, parent);
  box->setObjectName(QStringLiteral("noticeBox"));
  box->setTextFormat(Qt::PlainText);
  box->setWindowModality(Qt::NonModal);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->show();
}

}  // namespace kestrel
