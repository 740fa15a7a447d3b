// Writing the whole parameter set: every check first, then 22 writes, each
// one confirmed before the next.
#include "FormMain.h"

#include "BusyCursor.h"
#include "Messages.h"
#include "ModbusLink.h"
#include "ProblemMessages.h"
#include "RegisterMap.h"
#include "WritePlan.h"

#include <QProgressBar>

void FormMain::WriteAllParameters()
{
    if (!bConnected) {
        ShowMessage(msg::connectFirst());
        return;
    }
    const params::ParameterSet set = CollectParameterSet();
    // What is unchanged since the full read goes back as read.
    const params::DeviceReading *reading = deviceReading ? &*deviceReading : nullptr;
    // Nothing is written unless everything can be: a half-written
    // configuration is worse than none.
    const std::vector<params::Problem> problems = params::checkParameters(set, reading);
    if (!problems.empty()) {
        ShowMessage(problemMessage(problems.front()));
        return;
    }

    BusyCursor busy;
    // The run holds the event loop, so the bar is repainted by hand to climb.
    auto showProgress = [this](int value) {
        ProgressBar1->setValue(value);
        ProgressBar1->repaint();
    };
    ProgressBar1->setValue(0);
    ProgressBar1->setVisible(true);
    ProgressBar1->repaint();
    const std::vector<params::PlannedWrite> plan = params::planWrites(set, reading);
    std::vector<ModbusLink::BlockWrite> writes;
    for (const params::PlannedWrite &w : plan)
        writes.push_back({w.start, w.registers, w.single});
    const ModbusLink::WriteResult result = modbus1->WriteBlocks(writes, [&](int confirmed) {
        const params::PlannedWrite &w = plan[confirmed - 1];
        for (int value : w.progressAfter)
            showProgress(value);
        if (w.start == regmap::phoneSlot(regmap::kPhoneSlots - 1))
            ClearPhoneSelection();
        return true;
    });
    if (!result.ok) {
        ProgressBar1->setVisible(false);
        ShowMessage(writeFailureMessage(*modbus1, result.confirmed, static_cast<int>(writes.size())));
        return;
    }
    showProgress(params::kProgressDone);
    ProgressBar1->setVisible(false);
    ShowMessage(msg::writeSucceeded());
}
