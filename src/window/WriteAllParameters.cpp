// Writing the whole parameter set: every check first, then the device read
// and backed up, then 22 writes, each one confirmed before the next. A write
// that stops part-way offers to put the device back from its backup.
#include "FormMain.h"

#include "BusyCursor.h"
#include "Messages.h"
#include "ModbusLink.h"
#include "PollPause.h"
#include "ProblemMessages.h"
#include "VerdictMessages.h"
#include "RegisterMap.h"
#include "WritePlan.h"

#include <QProgressBar>

void FormMain::WriteAllParameters()
{
    if (!bConnected) {
        ShowMessage(msg::connectFirst());
        return;
    }
    // Nothing is written unless everything can be: a half-written
    // configuration is worse than none.
    const std::optional<params::ParameterSet> set = CheckedParameterSet();
    if (!set)
        return;
    // Commands the device holds behind different passwords get the window's one.
    if (deviceReading && setOnDevice && params::commandPasswords(*setOnDevice, &*deviceReading).size() > 1
        && params::commandPasswords(*set, &*deviceReading).size() == 1)
        ShowMessage(msg::commandPasswordsMadeOne());

    BusyCursor busy;
    // The run holds the event loop, so the bar is repainted by hand to climb.
    auto showProgress = [this](int value) {
        ProgressBar1->setValue(value);
        ProgressBar1->repaint();
    };
    ProgressBar1->setValue(0);
    ProgressBar1->setVisible(true);
    ProgressBar1->repaint();
    session::WriteOptions options;
    options.port = connectedPort;
    // What is unchanged since the full read goes back as read.
    options.plannedAgainst = deviceReading ? &*deviceReading : nullptr;
    options.afterWrite = [&](const params::PlannedWrite &w, int, int) {
        for (int value : w.progressAfter)
            showProgress(value);
        if (w.start == regmap::phoneSlot(regmap::kPhoneSlots - 1))
            ClearPhoneSelection();
    };
    const session::WriteResult result = device.write(*set, options);
    if (result.ok())
        setOnDevice = *set;
    else if (result.confirmed > 0)
        setOnDevice.reset(); // part of it is on the device
    if (!result.ok())
        ProgressBar1->setVisible(false);
    // Where the line went silent, or gave nothing to believe, the line
    // doctor's quick look says why, unless the device answers it again.
    std::optional<QString> verdict;
    if (!result.ok() && FailedOnTheLine(result.problem)) {
        const doctor::Diagnosis quick = DiagnoseLine(false);
        if (quick.verdict != doctor::Verdict::Healthy)
            verdict = lineVerdictMessage(quick);
    }
    switch (result.stage) {
    case session::WriteResult::Stage::Done: break;
    case session::WriteResult::Stage::NotRead:
        ShowMessage((verdict ? msg::readFailedBecause(*verdict) : readFailureMessage(result.problem)) + u'\n'
                    + msg::nothingWritten());
        return;
    case session::WriteResult::Stage::NoBackup: ShowMessage(msg::backupNotSaved(result.backupError)); return;
    case session::WriteResult::Stage::Refused: ShowMessage(problemMessage(result.problems.front())); return;
    case session::WriteResult::Stage::Stopped: {
        const QString text = verdict ? msg::writeFailedBecause(*verdict) + u'\n' + msg::writesConfirmed(result.confirmed, result.total())
                                     : writeFailureMessage(result.problem, result.confirmed, result.total());
        if (!result.backupPath) {
            ShowMessage(text);
            return;
        }
        // Nothing else talks to the device until the operator has chosen:
        // the put-back must find the port open, whatever the line did.
        const PollPause pause(Timer1, Timer2, bConnected);
        if (ShowMessage(text + u'\n' + msg::backupSavedAt(*result.backupPath), msg::putBackButton()))
            PutBackBackup(*result.backupPath);
        return;
    }
    }
    showProgress(params::kProgressDone);
    ProgressBar1->setVisible(false);
    ShowMessage(msg::writeSucceeded());
}
