// The hand-over sheet of what the window shows, for the site's owner.
#include "FormMain.h"

#include "FieldTable.h"
#include "HandOverSheet.h"
#include "Messages.h"
#include "ProblemMessages.h"
#include "WritePlan.h"

#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QStandardPaths>
#include <QUrl>

void FormMain::MakeHandOverSheet()
{
    // A sheet tells no text that the device could not hold: the write's checks first.
    const params::ParameterSet set = CollectParameterSet();
    const params::DeviceReading *reading = deviceReading ? &*deviceReading : nullptr;
    const std::vector<params::Problem> problems = params::checkParameters(set, reading);
    if (!problems.empty()) {
        ShowMessage(problemMessage(problems.front()));
        return;
    }
    const QDateTime now = QDateTime::currentDateTime();
    const QString suggested = QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation))
                                  .filePath(QStringLiteral("alarmcfg-sheet-%1.pdf").arg(now.toString(QStringLiteral("yyyyMMdd-HHmm"))));
    const QString path = AskFileName(FileDialog::SaveSheet, suggested);
    if (path.isEmpty())
        return;
    // The firmware is the connected device's, whose reading the window shows.
    const sheet::Header header{QString(), QString(), now.date(), reading ? strFirmware : QString()};
    safefile::Failure failure;
    if (!sheet::save(path, sheet::makePdf(set, header), &failure)) {
        ShowMessage(msg::sheetNotSaved(path, saveFailureMessage(failure)));
        return;
    }
    QStringList partial;
    for (const params::PlannedWrite &w : params::planWrites(set, reading))
        if (w.longerOnDevice)
            partial << params::fieldCaption(w.field);
    const QString note = partial.isEmpty() ? QString() : QStringLiteral("\n\n") + msg::sheetShowsPart(partial.join(msg::listSeparator()));
    if (ShowMessage(msg::sheetSaved(path, note), msg::openSheetButton()) && !QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        ShowMessage(msg::sheetNotOpened(path));
}
