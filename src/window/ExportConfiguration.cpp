// Keeping a copy of the configuration the window shows, in a file.
#include "FormMain.h"

#include "ConfigFile.h"
#include "FieldTable.h"
#include "Messages.h"
#include "ProblemMessages.h"
#include "WritePlan.h"

#include <QDateTime>
#include <QDir>
#include <QStandardPaths>

void FormMain::ExportConfiguration()
{
    // A file that could not be written to a device is of no use on the next one.
    const params::ParameterSet set = CollectParameterSet();
    const params::DeviceReading *reading = deviceReading ? &*deviceReading : nullptr;
    const std::vector<params::Problem> problems = params::checkParameters(set, reading);
    if (!problems.empty()) {
        ShowMessage(problemMessage(problems.front()));
        return;
    }
    const QDateTime now = QDateTime::currentDateTime();
    const QString suggested = QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation))
                                  .filePath(QStringLiteral("alarmcfg-%1.json").arg(now.toString(QStringLiteral("yyyyMMdd-HHmm"))));
    const QString path = AskFileName(FileDialog::Save, suggested);
    if (path.isEmpty())
        return;
    safefile::Failure failure;
    if (!config::writeFile(path, config::serialize(set, strFirmware, now), &failure)) {
        ShowMessage(msg::configNotSaved(path, saveFailureMessage(failure)));
        return;
    }
    // A text read only in part goes into the file as the window shows it.
    QStringList partial;
    for (const params::PlannedWrite &w : params::planWrites(set, reading))
        if (w.longerOnDevice)
            partial << params::fieldCaption(w.field);
    QString text = msg::configExported(path);
    if (!partial.isEmpty())
        text += QStringLiteral("\n\n") + msg::exportedAsShown(partial.join(msg::listSeparator()));
    ShowMessage(text);
}
