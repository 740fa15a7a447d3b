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
    for (const params::PlannedWrite &w : params::planWrites(set, reading)) {
        const bool ok = w.single
                            ? modbus1->WriteRegister(regmap::kSlave, w.start, w.registers[0], ModbusLink::Retry::AsSet)
                            : modbus1->WriteRegisters(regmap::kSlave, w.start, w.registers,
                                                      static_cast<int>(w.registers.size()), ModbusLink::Retry::AsSet);
        if (!ok) {
            ProgressBar1->setVisible(false);
            ShowMessage(msg::writeFailed());
            return;
        }
        for (int value : w.progressAfter)
            showProgress(value);
        if (w.start == regmap::phoneSlot(regmap::kPhoneSlots - 1))
            ClearPhoneSelection();
    }
    showProgress(params::kProgressDone);
    ProgressBar1->setVisible(false);
    ShowMessage(msg::writeSucceeded());
}
