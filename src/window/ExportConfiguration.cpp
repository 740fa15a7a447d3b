// Keeping a copy of the configuration the window shows, in a file.
#include "FormMain.h"

#include "ConfigFile.h"
#include "Messages.h"
#include "ProblemMessages.h"

#include <QDateTime>

void FormMain::ExportConfiguration()
{
    // A file that could not be written to a device is of no use on the next one.
    const std::optional<params::ParameterSet> set = CheckedParameterSet();
    if (!set)
        return;
    const QDateTime now = QDateTime::currentDateTime();
    const QString path = AskFileName(FileDialog::Save, SuggestedFile(QStringLiteral("alarmcfg-%1.json"), now));
    if (path.isEmpty())
        return;
    safefile::Failure failure;
    if (!config::writeFile(path, config::serialize(*set, strFirmware, now), &failure)) {
        ShowMessage(msg::configNotSaved(path, saveFailureMessage(failure)));
        return;
    }
    // A text read only in part goes into the file as the window shows it.
    const QString partial = TextsShownInPart(*set);
    ShowMessage(msg::configExported(path) + (partial.isEmpty() ? QString() : QStringLiteral("\n\n") + msg::exportedAsShown(partial)));
}
