// The one way the tool asks the operator for a file.
#include "FormMain.h"

#include "Messages.h"

#include <QFileDialog>

namespace {
FormMain::FileDialogHook &fileDialogHook()
{
    static FormMain::FileDialogHook hook;
    return hook;
}
} // namespace

void FormMain::setFileDialogHook(FileDialogHook hook)
{
    fileDialogHook() = std::move(hook);
}

QString FormMain::AskFileName(FileDialog kind, const QString &suggested)
{
    if (fileDialogHook())
        return fileDialogHook()(kind, suggested);
    if (kind == FileDialog::SaveSheet)
        return QFileDialog::getSaveFileName(this, msg::windowCaption(), suggested, msg::sheetFileFilter());
    const QString filter = msg::configFileFilter();
    return kind == FileDialog::Save ? QFileDialog::getSaveFileName(this, msg::windowCaption(), suggested, filter)
                                    : QFileDialog::getOpenFileName(this, msg::windowCaption(), suggested, filter);
}
