// The one way the tool tells the operator something.
#include "FormMain.h"

#include "Messages.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace {
FormMain::MessageHook &messageHook()
{
    static FormMain::MessageHook hook;
    return hook;
}

FormMain::ChoiceHook &choiceHook()
{
    static FormMain::ChoiceHook hook;
    return hook;
}

// The box runs its own event loop: timers keep ticking while it is open.
void runBox(QMessageBox &box)
{
    const bool busy = QApplication::overrideCursor() != nullptr;
    if (busy)
        QApplication::setOverrideCursor(Qt::ArrowCursor);
    box.exec();
    if (busy)
        QApplication::restoreOverrideCursor();
}
} // namespace

void FormMain::setMessageHook(MessageHook hook)
{
    messageHook() = std::move(hook);
}

void FormMain::setChoiceHook(ChoiceHook hook)
{
    choiceHook() = std::move(hook);
}

void FormMain::ShowMessage(const QString &text)
{
    if (messageHook()) {
        messageHook()(text);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, msg::windowCaption(), text, QMessageBox::Ok, this);
    runBox(box);
}

bool FormMain::ShowMessage(const QString &text, const QString &button)
{
    if (choiceHook())
        return choiceHook()(text, button);
    if (messageHook()) {
        messageHook()(text);
        return false;
    }
    QMessageBox box(QMessageBox::NoIcon, msg::windowCaption(), text, QMessageBox::Ok, this);
    QPushButton *extra = box.addButton(button, QMessageBox::ActionRole);
    runBox(box);
    return box.clickedButton() == extra;
}
