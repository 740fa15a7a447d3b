// The parameter set lives in the controls; these move it out and back in.
#include "FormMain.h"

#include "ActionTime.h"
#include "RegisterMap.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QRadioButton>

params::ParameterSet FormMain::CollectParameterSet() const
{
    params::ParameterSet set;
    for (int p = 0; p < lstPhone->count() && p < regmap::kPhoneSlots; ++p)
        set.phones << lstPhone->item(p)->text();
    set.password = txtMiMa->text();
    for (int r = 0; r < regmap::kRelayCount; ++r) {
        params::RelaySettings &relay = set.relays[r];
        relay.on = txtOpen[r]->text();
        relay.off = txtClose[r]->text();
        relay.onReply = txtAnswer[r]->text();
        relay.offReply = txtCAnswer[r]->text();
        relay.actionTime = actiontime::roundedValue(txtTime[r]->text());
    }
    set.allOn = txtAllCmd[0]->text();
    set.allOff = txtAllCmd[1]->text();
    for (int k = 0; k < regmap::kAlarmTexts; ++k)
        set.alarmTexts[k] = strAlarmText[k];
    set.alarmMode = params::modeFromChoice(OptModeGroup->checkedId());
    set.powerLossMemory = chkHold->isChecked();
    set.phoneAlarm = chkPhoneAlarm->isChecked();
    set.cutTexts = cutTexts;
    return set;
}

void FormMain::ShowParameterSet(const params::ParameterSet &set)
{
    // The slots first, then the choice, then the text box: every change of the
    // text box is stored into the slot chosen at that moment.
    for (int k = 0; k < regmap::kAlarmTexts; ++k)
        strAlarmText[k] = set.alarmTexts[k];
    cmbDISel->setCurrentIndex(0);
    cmbDISel->setEditText(cmbDISel->itemText(0)); // also when the operator had typed over it
    txtDIAlarm->setPlainText(strAlarmText[0]);

    for (int r = 0; r < regmap::kRelayCount; ++r) {
        const params::RelaySettings &relay = set.relays[r];
        txtOpen[r]->setText(relay.on);
        txtClose[r]->setText(relay.off);
        txtAnswer[r]->setText(relay.onReply);
        txtCAnswer[r]->setText(relay.offReply);
        txtTime[r]->setText(QString::number(relay.actionTime));
    }
    lstPhone->clear();
    lstPhone->addItems(set.phones);
    txtMiMa->setText(set.password);

    SetAlarmMode(params::modeChoice(set.alarmMode));
    chkHold->setChecked(set.powerLossMemory);
    chkPhoneAlarm->setChecked(set.phoneAlarm);
    txtAllCmd[0]->setText(set.allOn);
    txtAllCmd[1]->setText(set.allOff);
}
