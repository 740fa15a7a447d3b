// When the device does not answer, or the line goes silent: the line
// doctor's verdict in the failure box, and the full scan behind its button.
#include "FormMain.h"

#include "BusyCursor.h"
#include "FailureClass.h"
#include "Messages.h"
#include "ModbusLink.h"
#include "VerdictMessages.h"

#include <QApplication>
#include <QProgressDialog>

bool FormMain::FailedOnTheLine(const session::LinkProblem &problem, bool refusals)
{
    const failure::Who who = failure::classify(problem).who;
    return who == failure::Who::Connection || who == failure::Who::Line || (refusals && who == failure::Who::Device);
}

doctor::Diagnosis FormMain::DiagnoseLine(bool scan)
{
    session::DiagnoseOptions options;
    options.scan = scan;
    if (portTable)
        options.present = portTable->present;
    if (!scan) {
        BusyCursor busy;
        return device.diagnose(options);
    }
    // The scan takes up to a minute: its dialog is the window's one way in,
    // and its stop ends the wait on the line at once.
    QProgressDialog progress(msg::scanningLine(), msg::stopScan(), 0, 1, this);
    progress.setObjectName(QStringLiteral("lineScan"));
    progress.setWindowTitle(msg::windowCaption());
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    progress.setValue(0);
    options.progress = [&progress](int done, int total) {
        progress.setMaximum(total);
        progress.setValue(done);
    };
    modbus1->setInterruptCheck([&progress] {
        QApplication::processEvents();
        return progress.wasCanceled();
    });
    doctor::Diagnosis d = device.diagnose(options);
    modbus1->setInterruptCheck({});
    return d;
}

void FormMain::ShowLineVerdict(QString (*lead)(const QString &), const doctor::Diagnosis &quick)
{
    if (quick.settled) {
        ShowMessage(lead(lineVerdictMessage(quick)));
        return;
    }
    if (ShowMessage(lead(lineVerdictMessage(quick)) + u'\n' + msg::scanOffered(), msg::fullScanButton()))
        ShowMessage(lead(lineVerdictMessage(DiagnoseLine(true))));
}
