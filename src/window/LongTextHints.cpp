// Texts the device holds longer than the 20 bytes a read fetches: the box
// that shows one says so, for as long as it still shows it unchanged.
#include "FormMain.h"

#include "Messages.h"
#include "WritePlan.h"

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>

void FormMain::RefreshLongTextHints()
{
    if (ChosenEntry(cmbDISel) < 0)
        txtDIAlarm->setToolTip(QString());
    const params::DeviceReading *reading = deviceReading ? &*deviceReading : nullptr;
    for (const params::PlannedWrite &w : params::planWrites(CollectParameterSet(), reading)) {
        if (!regmap::isTextField(w.start))
            continue;
        const QString hint = w.longerOnDevice ? msg::textLongerOnDevice() : QString();
        const params::Field &f = *params::fieldsStoredIn({w.start, 1}).front();
        QWidget *box = LineEditOf(f);
        if (f.id == params::FieldId::AlarmText && f.index == ChosenEntry(cmbDISel))
            box = txtDIAlarm;
        if (f.id == params::FieldId::Phones) {
            const int entry = (w.start - regmap::phoneSlot(0)) / regmap::kSlotRegisters;
            if (QListWidgetItem *item = lstPhone->item(entry); item && item->toolTip() != hint)
                item->setToolTip(hint);
        }
        if (box && box->toolTip() != hint)
            box->setToolTip(hint);
    }
}
