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

}  // namespace kestrel
