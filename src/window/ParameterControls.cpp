// The parameter set lives in the controls; these move it out and back in,
// field by field of the table.
#include "FormMain.h"

#include "ActionTime.h"
#include "RegisterMap.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QJsonArray>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QRadioButton>

QLineEdit *FormMain::LineEditOf(const params::Field &f) const
{
    using params::FieldId;
    switch (f.id) {
    case FieldId::Password: return txtMiMa;
    case FieldId::OnCommand: return txtOpen[f.index];
    case FieldId::OffCommand: return txtClose[f.index];
    case FieldId::OnReply: return txtAnswer[f.index];
    case FieldId::OffReply: return txtCAnswer[f.index];
    case FieldId::AllOn: return txtAllCmd[0];
    case FieldId::AllOff: return txtAllCmd[1];
    default: return nullptr;
    }
}

QJsonValue FormMain::ControlValue(const params::Field &f) const
{
    using params::FieldId;
    if (QLineEdit *box = LineEditOf(f))
        return box->text();
    switch (f.id) {
    case FieldId::Phones: {
        QJsonArray entries;
        for (int p = 0; p < lstPhone->count() && p < regmap::kPhoneSlots; ++p)
            entries.append(lstPhone->item(p)->text());
        return entries;
    }
    case FieldId::ActionTime: return actiontime::roundedValue(txtTime[f.index]->text());
    case FieldId::AlarmText: return strAlarmText[f.index];
    case FieldId::AlarmMode: return params::modeName(params::modeFromChoice(OptModeGroup->checkedId()));
    case FieldId::PowerLossMemory: return chkHold->isChecked();
    case FieldId::PhoneAlarm: return chkPhoneAlarm->isChecked();
    default: return QJsonValue();
    }
}

params::ParameterSet FormMain::CollectParameterSet() const
{
    params::ParameterSet set;
    for (const params::Field &f : params::fieldTable())
        f.put(set, ControlValue(f));
    return set;
}

void FormMain::ShowField(const params::Field &f, const params::ParameterSet &set)
{
    using params::FieldId;
    const QJsonValue value = f.get(set);
    if (QLineEdit *box = LineEditOf(f)) {
        box->setText(value.toString());
        return;
    }
    switch (f.id) {
    case FieldId::Phones: {
        QStringList entries;
        for (const QJsonValue &entry : value.toArray())
            entries << entry.toString();
        QStringList shown;
        for (int p = 0; p < lstPhone->count(); ++p)
            shown << lstPhone->item(p)->text();
        if (shown != entries) {
            lstPhone->clear();
            lstPhone->addItems(entries);
        }
        break;
    }
    case FieldId::ActionTime: txtTime[f.index]->setText(QString::number(value.toInt())); break;
    case FieldId::AlarmText:
        strAlarmText[f.index] = value.toString(); // the text box shows it at the next refresh
        RefreshLongTextHints();
        break;
    case FieldId::AlarmMode: SetAlarmMode(params::modeChoice(set.alarmMode)); break;
    case FieldId::PowerLossMemory: chkHold->setChecked(value.toBool()); break;
    case FieldId::PhoneAlarm: chkPhoneAlarm->setChecked(value.toBool()); break;
    default: break;
    }
}

void FormMain::ShowParameterSet(const params::ParameterSet &set)
{
    // The slots first, then the choice, then the text box: every change of the
    // text box is stored into the slot chosen at that moment.
    for (const params::Field &f : params::fieldTable())
        ShowField(f, set);
    cmbDISel->setCurrentIndex(0);
    cmbDISel->setEditText(cmbDISel->itemText(0)); // also when the operator had typed over it
    txtDIAlarm->setPlainText(strAlarmText[0]);
}
