// Texts the device holds longer than the 20 bytes a read fetches: the box
// that shows one says so, for as long as it still shows it unchanged.
#include "FormMain.h"

#include "BlockDecoding.h"
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
    for (const params::SlotText &t : params::composeSlotTexts(CollectParameterSet())) {
        const QString hint = t.kept ? msg::textLongerOnDevice() : QString();
        const blocks::Role role = blocks::roleOf(t.slot);
        QWidget *box = nullptr;
        switch (role.kind) {
        case blocks::Kind::RelayText: {
            const std::array<QLineEdit *, regmap::kRelayCount> *boxes[] = {&txtOpen, &txtClose, &txtAnswer, &txtCAnswer};
            box = (*boxes[static_cast<int>(role.relayText)])[role.index];
            break;
        }
        case blocks::Kind::AllCommand: box = txtAllCmd[role.index]; break;
        case blocks::Kind::AlarmText:
            if (role.index == ChosenEntry(cmbDISel))
                box = txtDIAlarm;
            break;
        case blocks::Kind::Phone:
            if (QListWidgetItem *entry = lstPhone->item(role.index); entry && entry->toolTip() != hint)
                entry->setToolTip(hint);
            break;
        default: break;
        }
        if (box && box->toolTip() != hint)
            box->setToolTip(hint);
    }
}
