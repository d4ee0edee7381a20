#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace kestrel {

// Every message of the program goes through here: critical icon, one OK button, the
// application title unless a title is given. The text's line breaks become the single carriage
// returns a message box breaks at (what an interceptor is given).
void ShowMessage(QWidget* parent, const QString& text, const QString& title = QString());
// The same without waiting for OK (a warning the program goes on after); tests capture it
// like a message.
void ShowNotice(QWidget* parent, const QString& text);

// A question with the question icon, a button that does what acceptText says, and Cancel
// (also Esc, the default); true when the first is pressed.
bool AskQuestion(QWidget* parent, const QString& text, const QString& acceptText);

// Tests replace the modal box; returns the previous interceptor. An empty function restores
// the real box.
using MessageInterceptor = std::function<void(const QString& text, const QString& title)>;
MessageInterceptor SetMessageInterceptor(MessageInterceptor interceptor);
// Likewise for questions: the interceptor is given the text and gives the answer.
using QuestionInterceptor = std::function<bool(const QString& text)>;
QuestionInterceptor SetQuestionInterceptor(QuestionInterceptor interceptor);

}  // namespace kestrel
