// Texts the device holds longer than the 20 bytes a read fetches: the box
// that shows one says so, for as long as it still shows it unchanged. An
// edit asks again for its own field's slots only, without planning a write.
#include "FormMain.h"

#include "Messages.h"
#include "WritePlan.h"

#include <QComboBox>
#include <QPlainTextEdit>

namespace {

void showHints(const params::Field &f, const FormMain::FieldControl &control, const params::ParameterSet &set,
               const params::DeviceReading *reading)
{
    if (!control.hint)
        return;
    const std::vector<int> inSlots = f.textSlots();
    for (size_t entry = 0; entry < inSlots.size(); ++entry)
        control.hint(static_cast<int>(entry),
                     params::textLongerOnDevice(inSlots[entry], set, reading) ? msg::textLongerOnDevice() : QString());
}

} // namespace

void FormMain::RefreshLongTextHints()
{
    if (ChosenEntry(cmbDISel) < 0)
        txtDIAlarm->setToolTip(QString());
    const params::ParameterSet set = CollectParameterSet();
    for (const params::Field &f : params::fieldTable())
        showHints(f, ControlOf(f), set, deviceReading ? &*deviceReading : nullptr);
}

void FormMain::RefreshLongTextHint(const params::Field &f)
{
    if (f.limit == params::Limit::Password) { // every command carries it
        RefreshLongTextHints();
        return;
    }
    showHints(f, ControlOf(f), CollectParameterSet(), deviceReading ? &*deviceReading : nullptr);
}
