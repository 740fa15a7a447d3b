// Writing the whole parameter set: every check first, then 22 writes, each
// one confirmed before the next.
#include "FormMain.h"

#include "ActionTime.h"
#include "BusyCursor.h"
#include "FieldCodecs.h"
#include "Messages.h"
#include "ModbusLink.h"
#include "RegisterMap.h"
#include "RegisterText.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QRadioButton>

#include <optional>

namespace {

enum class Limit { Command, Slot };

struct TextField {
    int slot;
    Limit limit;
    regtext::GbkText gbk;
    bool stepsProgress; // the phone slots move the bar together, with the action times
};

struct PlannedWrite {
    int start;
    QVector<quint16> registers;
    bool single;
    QVector<int> progressAfter;
};

// Bytes a text may fill: a command or reply stays below 20 bytes so that it
// is read back whole, with its end; an alarm text or phone number may fill
// its whole slot.
int capacity(Limit limit)
{
    return limit == Limit::Command ? regmap::kCommandBytesLimit : regmap::kSlotBytes;
}

bool fits(const TextField &t)
{
    const int n = static_cast<int>(t.gbk.bytes.size());
    return t.limit == Limit::Command ? n < capacity(t.limit) : n <= capacity(t.limit);
}

} // namespace

void FormMain::WriteAllParameters()
{
    using regmap::RelayText;
    if (!bConnected) {
        ShowMessage(msg::connectFirst());
        return;
    }
    const QString password = txtMiMa->text();
    if (password.size() > fields::kMaxPasswordChars) {
        ShowMessage(msg::passwordTooLong());
        return;
    }

    // The texts in write order.
    std::vector<TextField> texts;
    auto addText = [&texts](int slot, Limit limit, const QString &text, bool stepsProgress = true) {
        texts.push_back({slot, limit, regtext::encodeGbk(text), stepsProgress});
    };
    for (int r = 0; r < regmap::kRelayCount; ++r) {
        addText(regmap::relayTextSlot(r, RelayText::OnCommand), Limit::Command, fields::composeCommand(password, txtOpen[r]->text()));
        addText(regmap::relayTextSlot(r, RelayText::OffCommand), Limit::Command, fields::composeCommand(password, txtClose[r]->text()));
        addText(regmap::relayTextSlot(r, RelayText::OnReply), Limit::Command, txtAnswer[r]->text());
        addText(regmap::relayTextSlot(r, RelayText::OffReply), Limit::Command, txtCAnswer[r]->text());
    }
    for (int i = 0; i < regmap::kAllCommandCount; ++i)
        addText(regmap::allCommandSlot(i), Limit::Command, fields::composeCommand(password, txtAllCmd[i]->text()));
    for (int k = 0; k < regmap::kAlarmTexts; ++k)
        addText(regmap::alarmTextSlot(k), Limit::Slot, strAlarmText[k]);
    for (int p = 0; p < regmap::kPhoneSlots; ++p) {
        const QString text = p < lstPhone->count() ? fields::phoneSlotText(lstPhone->item(p)->text())
                                                   : fields::emptyPhoneSlotText();
        addText(regmap::phoneSlot(p), Limit::Slot, text, false);
    }

    // Nothing is written unless everything can be: a half-written
    // configuration is worse than none.
    auto anyText = [&texts](auto fails) { return std::any_of(texts.begin(), texts.end(), fails); };
    if (anyText([](const TextField &t) { return t.limit == Limit::Command && !fits(t); })) {
        ShowMessage(msg::commandTooLong());
        return;
    }
    if (anyText([](const TextField &t) { return t.limit == Limit::Slot && !fits(t); })) {
        ShowMessage(msg::slotTextTooLong());
        return;
    }
    if (anyText([](const TextField &t) { return !t.gbk.ok(); })) {
        ShowMessage(msg::unsendableCharacter());
        return;
    }
    QVector<quint16> times(regmap::kActionTimes.count, 0); // 902..907 carry nothing: zeros
    for (int r = 0; r < 2; ++r) {
        const std::optional<qint16> time = actiontime::registerValue(txtTime[r]->text());
        if (!time) {
            ShowMessage(msg::actionTimeOutOfRange());
            return;
        }
        times[r] = static_cast<quint16>(*time);
    }

    std::vector<PlannedWrite> writes;
    int progress = 0;
    for (const TextField &t : texts) {
        QVector<int> after;
        if (t.stepsProgress)
            after.append(progress += 3);
        writes.push_back({t.slot, regtext::slotRegisters(t.gbk.bytes, capacity(t.limit)), false, after});
    }
    writes.push_back({regmap::kActionTimes.start, times, false, {progress + 4, progress + 8}});
    int modeChoice = -1;
    for (int i = 0; i < regmap::kModeChoices && modeChoice < 0; ++i)
        if (OptMode[i]->isChecked())
            modeChoice = i;
    writes.push_back({regmap::kAlarmMode, {static_cast<quint16>(fields::encodeAlarmMode(modeChoice))}, true, {}});
    writes.push_back({regmap::kOptionFlags,
                      {static_cast<quint16>(fields::encodeOptionFlags(chkHold->isChecked(), chkPhoneAlarm->isChecked()))},
                      true, {}});

    BusyCursor busy;
    // The run holds the event loop, so the bar is repainted by hand to climb.
    auto showProgress = [this](int value) {
        ProgressBar1->setValue(value);
        ProgressBar1->repaint();
    };
    ProgressBar1->setValue(0);
    ProgressBar1->setVisible(true);
    ProgressBar1->repaint();
    for (const PlannedWrite &w : writes) {
        const bool ok = w.single ? modbus1->WriteRegister(regmap::kSlave, w.start, w.registers[0])
                                 : modbus1->WriteRegisters(regmap::kSlave, w.start, w.registers,
                                                           static_cast<int>(w.registers.size()));
        if (!ok) {
            ProgressBar1->setVisible(false);
            ShowMessage(msg::writeFailed());
            return;
        }
        for (int value : w.progressAfter)
            showProgress(value);
        if (w.start == regmap::phoneSlot(regmap::kPhoneSlots - 1)) {
            lstPhone->setCurrentRow(-1);
            lstPhone->clearSelection();
        }
    }
    showProgress(100);
    ProgressBar1->setVisible(false);
    ShowMessage(msg::writeSucceeded());
}
