// The hand-over sheet of what the window shows, for the site's owner.
#include "FormMain.h"

#include "HandOverSheet.h"
#include "Messages.h"
#include "ProblemMessages.h"

#include <QDateTime>
#include <QDesktopServices>
#include <QUrl>

void FormMain::MakeHandOverSheet()
{
    // A sheet tells no text that the device could not hold: the write's checks first.
    const std::optional<params::ParameterSet> set = CheckedParameterSet();
    if (!set)
        return;
    const QDateTime now = QDateTime::currentDateTime();
    const QString path = AskFileName(FileDialog::SaveSheet, SuggestedFile(QStringLiteral("alarmcfg-sheet-%1.pdf"), now));
    if (path.isEmpty())
        return;
    // The firmware is the connected device's, whose reading the window shows.
    const sheet::Header header{QString(), QString(), now.date(), deviceReading ? strFirmware : QString()};
    safefile::Failure failure;
    if (!sheet::save(path, sheet::makePdf(*set, header), &failure)) {
        ShowMessage(msg::sheetNotSaved(path, saveFailureMessage(failure)));
        return;
    }
    const QString partial = TextsShownInPart(*set);
    const QString note = partial.isEmpty() ? QString() : QStringLiteral("\n\n") + msg::sheetShowsPart(partial);
    if (ShowMessage(msg::sheetSaved(path, note), msg::openSheetButton()) && !QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        ShowMessage(msg::sheetNotOpened(path));
}
