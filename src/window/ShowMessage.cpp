// The one way the tool tells the operator something.
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
    // The box runs its own event loop: timers keep ticking while it is open.
    QMessageBox box(QMessageBox::NoIcon, msg::windowCaption(), text, QMessageBox::Ok, this);
    const bool busy = QApplication::overrideCursor() != nullptr;
    if (busy)
        QApplication::setOverrideCursor(Qt::ArrowCursor);
    box.exec();
    if (busy)
        QApplication::restoreOverrideCursor();
}
