#include "ui/messagebox.h"

#include <QMessageBox>
#include <QPushButton>

#include "texts/usertexts.h"
#include "ui/crlabel.h"

namespace kestrel {
namespace {
MessageInterceptor& interceptor() {
  static MessageInterceptor fn;
  return fn;
}
QuestionInterceptor& questionInterceptor() {
  static QuestionInterceptor fn;
  return fn;
}
}  // namespace

MessageInterceptor SetMessageInterceptor(MessageInterceptor fn) {
  MessageInterceptor previous = std::move(interceptor());
  interceptor() = std::move(fn);
  return previous;
}

QuestionInterceptor SetQuestionInterceptor(QuestionInterceptor fn) {
  QuestionInterceptor previous = std::move(questionInterceptor());
  questionInterceptor() = std::move(fn);
  return previous;
}

bool AskQuestion(QWidget* parent, const QString& text, const QString& acceptText) {
  const QString boxText = texts::InMessageBox(text);
  if (questionInterceptor()) return questionInterceptor()(boxText);
  QMessageBox box(QMessageBox::Question, texts::ApplicationTitle(), DisplayText(boxText),
                  QMessageBox::NoButton, parent);
  box.setObjectName(QStringLiteral("questionBox"));
  box.setTextFormat(Qt::PlainText);
  QPushButton* accept = box.addButton(acceptText, QMessageBox::AcceptRole);
  QPushButton* cancel = box.addButton(texts::CancelButton(), QMessageBox::RejectRole);
  box.setDefaultButton(cancel);
  box.setEscapeButton(cancel);
  box.exec();
  return box.clickedButton() == accept;
}

void ShowMessage(QWidget* parent, const QString& text, const QString& title) {
  const QString boxText = texts::InMessageBox(text);
  if (interceptor()) {
    interceptor()(boxText, title);
    return;
  }
  const QString caption = title.isEmpty() ? texts::ApplicationTitle() : title;
  QMessageBox box(QMessageBox::Critical, caption, DisplayText(boxText), QMessageBox::Ok, parent);
  box.setObjectName(QStringLiteral("messageBox"));
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

void ShowNotice(QWidget* parent, const QString& text) {
  const QString boxText = texts::InMessageBox(text);
  if (interceptor()) {
    interceptor()(boxText, QString());
    return;
  }
  auto* box = new QMessageBox(QMessageBox::Warning, texts::ApplicationTitle(), DisplayText(boxText),
                              QMessageBox::Ok, parent);
  box->setObjectName(QStringLiteral("noticeBox"));
  box->setTextFormat(Qt::PlainText);
  box->setWindowModality(Qt::NonModal);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->show();
}

}  // namespace kestrel
