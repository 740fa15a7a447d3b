// The one way the tool tells the operator something, or asks.
#include "FormMain.h"

#include "Messages.h"

#include <QApplication>
#include <QMessageBox>

namespace {
FormMain::MessageHook &messageHook()
{
    static FormMain::MessageHook hook;
    return hook;
}

FormMain::QuestionHook &questionHook()
{
    static FormMain::QuestionHook hook;
    return hook;
}

// The box runs its own event loop: timers keep ticking while it is open.
int execBox(QMessageBox &box)
{
    const bool busy = QApplication::overrideCursor() != nullptr;
    if (busy)
        QApplication::setOverrideCursor(Qt::ArrowCursor);
    const int answer = box.exec();
    if (busy)
        QApplication::restoreOverrideCursor();
    return answer;
}
} // namespace

void FormMain::setMessageHook(MessageHook hook)
{
    messageHook() = std::move(hook);
}

void FormMain::ShowMessage(const QString &text)
{
    if (messageHook()) {
        messageHook()(text);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, msg::windowCaption(), text, QMessageBox::Ok, this);
    execBox(box);
}

void FormMain::setQuestionHook(QuestionHook hook)
{
    questionHook() = std::move(hook);
}

bool FormMain::AskQuestion(const QString &text)
{
    if (questionHook())
        return questionHook()(text);
    QMessageBox box(QMessageBox::NoIcon, msg::windowCaption(), text, QMessageBox::Yes | QMessageBox::No, this);
    box.setDefaultButton(QMessageBox::Yes);
    return execBox(box) == QMessageBox::Yes;
}
