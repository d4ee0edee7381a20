#include "ui/messagebox.h"

#include <QMessageBox>

#include "port/portconnection.h"

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
  // Qt's plain-text labels break lines only at LF; the program's texts use bare CRs.
  QString shown = text;
  shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  QMessageBox box(QMessageBox::Critical, caption, shown, QMessageBox::Ok, parent);
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

}  // namespace kestrel
