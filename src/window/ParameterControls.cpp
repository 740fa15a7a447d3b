// The parameter set lives in the controls; these move it out and back in,
// field by field of the table, each through the control tied to its row.
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

namespace {

void setHint(QWidget *box, const QString &hint)
{
    if (box->toolTip() != hint)
        box->setToolTip(hint);
}

} // namespace

void FormMain::Tie(const QString &path, FieldControl control)
{
    m_fieldControls[params::fieldAt(path).path] = std::move(control);
}

void FormMain::Tie(const QString &path, QLineEdit *box)
{
    const params::Field &f = params::fieldAt(path);
    if (f.type == params::ValueType::Integer) {
        Tie(path, {[box] { return QJsonValue(actiontime::roundedValue(box->text())); },
                   [box](const QJsonValue &v) { box->setText(QString::number(v.toInt())); }, {}});
        return;
    }
    Tie(path, {[box] { return QJsonValue(box->text()); }, [box](const QJsonValue &v) { box->setText(v.toString()); },
               [box](int, const QString &hint) { setHint(box, hint); }});
    // Each keystroke tells again whether this text is still the device's.
    connect(box, &QLineEdit::textChanged, this, [this, &f] { RefreshLongTextHint(f); });
}

void FormMain::Tie(const QString &path, QCheckBox *box)
{
    Tie(path, {[box] { return QJsonValue(box->isChecked()); }, [box](const QJsonValue &v) { box->setChecked(v.toBool()); }, {}});
}

void FormMain::TiePhoneList(const QString &path)
{
    Tie(path, {[this] {
                   QJsonArray entries;
                   for (int p = 0; p < lstPhone->count() && p < regmap::kPhoneSlots; ++p)
                       entries.append(lstPhone->item(p)->text());
                   return QJsonValue(entries);
               },
               [this](const QJsonValue &v) {
                   QStringList entries, shown;
                   for (const QJsonValue &entry : v.toArray())
                       entries << entry.toString();
                   for (int p = 0; p < lstPhone->count(); ++p)
                       shown << lstPhone->item(p)->text();
                   if (shown != entries) {
                       lstPhone->clear();
                       lstPhone->addItems(entries);
                   }
               },
               [this](int entry, const QString &hint) {
                   if (QListWidgetItem *item = lstPhone->item(entry); item && item->toolTip() != hint)
                       item->setToolTip(hint);
               }});
    const params::Field &f = params::fieldAt(path);
    for (auto changed : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(lstPhone->model(), changed, this, [this, &f] { RefreshLongTextHint(f); });
    connect(lstPhone->model(), &QAbstractItemModel::dataChanged, this, [this, &f] { RefreshLongTextHint(f); });
}

void FormMain::TieAlarmText(const QString &path, int slot)
{
    // The text box shows a slot at the next choice of it, or ShowParameterSet.
    Tie(path, {[this, slot] { return QJsonValue(strAlarmText[slot]); },
               [this, slot](const QJsonValue &v) { strAlarmText[slot] = v.toString(); },
               [this, slot](int, const QString &hint) {
                   if (ChosenEntry(cmbDISel) == slot)
                       setHint(txtDIAlarm, hint);
               }});
}

void FormMain::TieAlarmMode(const QString &path)
{
    Tie(path, {[this] { return QJsonValue(params::modeName(params::modeFromChoice(OptModeGroup->checkedId()))); },
               [this](const QJsonValue &v) {
                   SetAlarmMode(params::modeChoice(params::modeFromName(v.toString()).value_or(params::AlarmMode::None)));
               },
               {}});
}

const FormMain::FieldControl &FormMain::ControlOf(const params::Field &f) const
{
    const auto tied = m_fieldControls.find(f.path);
    if (tied == m_fieldControls.end())
        qFatal("no control shows %s", qPrintable(f.path));
    return tied->second;
}

params::ParameterSet FormMain::CollectParameterSet() const
{
    params::ParameterSet set;
    for (const params::Field &f : params::fieldTable())
        f.put(set, ControlOf(f).value());
    return set;
}

void FormMain::ShowField(const params::Field &f, const params::ParameterSet &set)
{
    ControlOf(f).show(f.get(set));
    if (f.inTextSlots())
        RefreshLongTextHint(f);
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
