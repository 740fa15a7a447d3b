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
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRadioButton>

#include <optional>

namespace {

struct EncodedText {
    int slot;
    bool commandLimit;
    regtext::GbkText gbk;
    const QVector<quint16> *keptRegisters; // the device's own bytes go back unchanged
    bool stepsProgress;                    // the phone slots move the bar together, with the action times
};

struct PlannedWrite {
    int start;
    QVector<quint16> registers;
    bool single;
    QVector<int> progressAfter;
    bool fromWindowText; // a text slot written from what the window shows
};

// Bytes a text may fill: a command or reply stays below 20 bytes so that it
// is read back whole, with its end; an alarm text or phone number may fill
// its whole slot.
int capacity(bool commandLimit)
{
    return commandLimit ? regmap::kCommandBytesLimit : regmap::kSlotBytes;
}

bool fits(const EncodedText &t)
{
    const int n = static_cast<int>(t.gbk.bytes.size());
    return t.commandLimit ? n < capacity(true) : n <= capacity(false);
}

} // namespace

std::vector<FormMain::SlotText> FormMain::ComposeSlotTexts()
{
    using regmap::RelayText;
    const QString password = txtMiMa->text();
    std::vector<SlotText> texts;
    auto add = [&](int slot, bool commandLimit, const QString &text, QWidget *control, QListWidgetItem *item = nullptr) {
        SlotText t{slot, commandLimit, text, control, item};
        const auto cut = cutTexts.find(slot);
        if (cut != cutTexts.end() && cut->second.text == text)
            t.keptRegisters = &cut->second.registers;
        texts.push_back(t);
    };
    for (int r = 0; r < regmap::kRelayCount; ++r) {
        add(regmap::relayTextSlot(r, RelayText::OnCommand), true, fields::composeCommand(password, txtOpen[r]->text()), txtOpen[r]);
        add(regmap::relayTextSlot(r, RelayText::OffCommand), true, fields::composeCommand(password, txtClose[r]->text()), txtClose[r]);
        add(regmap::relayTextSlot(r, RelayText::OnReply), true, txtAnswer[r]->text(), txtAnswer[r]);
        add(regmap::relayTextSlot(r, RelayText::OffReply), true, txtCAnswer[r]->text(), txtCAnswer[r]);
    }
    for (int i = 0; i < regmap::kAllCommandCount; ++i)
        add(regmap::allCommandSlot(i), true, fields::composeCommand(password, txtAllCmd[i]->text()), txtAllCmd[i]);
    const int shownChannel = ChosenEntry(cmbDISel);
    for (int k = 0; k < regmap::kAlarmTexts; ++k)
        add(regmap::alarmTextSlot(k), false, strAlarmText[k], k == shownChannel ? txtDIAlarm : nullptr);
    for (int p = 0; p < regmap::kPhoneSlots; ++p) {
        QListWidgetItem *entry = lstPhone->item(p);
        add(regmap::phoneSlot(p), false, entry ? fields::phoneSlotText(entry->text()) : fields::emptyPhoneSlotText(),
            nullptr, entry);
    }
    return texts;
}

void FormMain::WriteAllParameters()
{
    if (!bConnected) {
        ShowMessage(msg::connectFirst());
        return;
    }
    const QString password = txtMiMa->text();
    if (password.size() > fields::kMaxPasswordChars) {
        ShowMessage(msg::passwordTooLong());
        return;
    }
    // Reading splits every command at "*": one inside would come back cut.
    const std::pair<QString, QString> separatorFields[] = {
        {password, msg::passwordField()},
        {txtOpen[0]->text(), msg::onCommandField(1)},  {txtClose[0]->text(), msg::offCommandField(1)},
        {txtOpen[1]->text(), msg::onCommandField(2)},  {txtClose[1]->text(), msg::offCommandField(2)},
        {txtAllCmd[0]->text(), msg::allOnField()},     {txtAllCmd[1]->text(), msg::allOffField()}};
    for (const auto &[text, field] : separatorFields) {
        if (fields::holdsPasswordSeparator(text)) {
            ShowMessage(msg::holdsPasswordSeparator(field));
            return;
        }
    }

    const std::vector<SlotText> slotTexts = ComposeSlotTexts();
    std::vector<EncodedText> texts;
    for (const SlotText &t : slotTexts)
        texts.push_back({t.slot, t.commandLimit, regtext::encodeGbk(t.text), t.keptRegisters, !regmap::isPhoneSlot(t.slot)});

    // Nothing is written unless everything can be: a half-written
    // configuration is worse than none. A text the device holds longer than
    // it was read goes back as read, unchecked.
    auto anyText = [&texts](auto fails) {
        return std::any_of(texts.begin(), texts.end(), [&](const EncodedText &t) { return !t.keptRegisters && fails(t); });
    };
    if (anyText([](const EncodedText &t) { return t.commandLimit && !fits(t); })) {
        ShowMessage(msg::commandTooLong());
        return;
    }
    if (anyText([](const EncodedText &t) { return !t.commandLimit && !fits(t); })) {
        ShowMessage(msg::slotTextTooLong());
        return;
    }
    for (const SlotText &t : slotTexts) {
        if (t.item && !t.keptRegisters && !fields::isSendablePhoneEntry(t.item->text())) {
            ShowMessage(msg::phoneNotANumber(lstPhone->row(t.item) + 1, t.item->text()));
            return;
        }
    }
    if (anyText([](const EncodedText &t) { return !t.gbk.ok(); })) {
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
    for (const EncodedText &t : texts) {
        QVector<int> after;
        if (t.stepsProgress)
            after.append(progress += 3);
        const QVector<quint16> registers =
            t.keptRegisters ? *t.keptRegisters : regtext::slotRegisters(t.gbk.bytes, capacity(t.commandLimit));
        writes.push_back({t.slot, registers, false, after, !t.keptRegisters});
    }
    writes.push_back({regmap::kActionTimes.start, times, false, {progress + 4, progress + 8}, false});
    int modeChoice = -1;
    for (int i = 0; i < regmap::kModeChoices && modeChoice < 0; ++i)
        if (OptMode[i]->isChecked())
            modeChoice = i;
    writes.push_back({regmap::kAlarmMode, {static_cast<quint16>(fields::encodeAlarmMode(modeChoice))}, true, {}, false});
    writes.push_back({regmap::kOptionFlags,
                      {static_cast<quint16>(fields::encodeOptionFlags(chkHold->isChecked(), chkPhoneAlarm->isChecked()))},
                      true, {}, false});

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
        const bool ok = w.single
                            ? modbus1->WriteRegister(regmap::kSlave, w.start, w.registers[0], kExchangeAttempts)
                            : modbus1->WriteRegisters(regmap::kSlave, w.start, w.registers,
                                                      static_cast<int>(w.registers.size()), kExchangeAttempts);
        if (!ok) {
            ProgressBar1->setVisible(false);
            ShowMessage(msg::writeFailed());
            return;
        }
        // The slot now ends where the window's text ends.
        if (w.fromWindowText)
            cutTexts.erase(w.start);
        for (int value : w.progressAfter)
            showProgress(value);
        if (w.start == regmap::phoneSlot(regmap::kPhoneSlots - 1)) {
            lstPhone->setCurrentRow(-1);
            lstPhone->clearSelection();
        }
    }
    RefreshLongTextHints();
    showProgress(100);
    ProgressBar1->setVisible(false);
    ShowMessage(msg::writeSucceeded());
}
