// The hand-over sheet, for the site's owner: of what the device holds while
// the window knows it, else of what the window shows.
#include "FormMain.h"

#include "HandOverSheet.h"
#include "Messages.h"
#include "ProblemMessages.h"

#include <QDateTime>
#include <QDesktopServices>
#include <QUrl>

void FormMain::MakeHandOverSheet()
{
    const params::DeviceReading *reading = deviceReading ? &*deviceReading : nullptr;
    std::optional<params::ParameterSet> set;
    if (reading) {
        // The device's texts as it holds them, each command behind its own password.
        if (!setOnDevice) {
            ShowMessage(msg::sheetNeedsRead());
            return;
        }
        set = setOnDevice;
    } else {
        // A sheet tells no text that the device could not hold: the write's checks first.
        set = CheckedParameterSet();
        if (!set)
            return;
    }
    const QDateTime now = QDateTime::currentDateTime();
    const QString path = AskFileName(FileDialog::SaveSheet, SuggestedFile(QStringLiteral("alarmcfg-sheet-%1.pdf"), now));
    if (path.isEmpty())
        return;
    // The firmware is the connected device's, whose reading the window shows.
    const sheet::Header header{QString(), QString(), now.date(), reading ? strFirmware : QString()};
    safefile::Failure failure;
    if (!sheet::save(path, sheet::makePdf(*set, header, reading), &failure)) {
        ShowMessage(msg::sheetNotSaved(path, saveFailureMessage(failure)));
        return;
    }
    QString note;
    if (reading && !CollectParameterSet().sameConfiguration(*set))
        note += QStringLiteral("\n\n") + msg::sheetShowsDevice();
    if (const QString partial = TextsShownInPart(*set); !partial.isEmpty())
        note += QStringLiteral("\n\n") + msg::sheetShowsPart(partial);
    if (ShowMessage(msg::sheetSaved(path, note), msg::openSheetButton()) && !QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        ShowMessage(msg::sheetNotOpened(path));
}
