// Every answered read lands here and is decoded by its start address alone.
#include "FormMain.h"

#include "FieldCodecs.h"
#include "Messages.h"
#include "RegisterMap.h"
#include "RegisterText.h"
#include "WindowTimer.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>

void FormMain::ApplyDeviceReply(int start, const QVector<quint16> &values, int count)
{
    using regmap::RelayText;
    Timer2->setEnabled(false); // any reply proves the link is alive

    // A reply shorter than its block leaves the window as it is.
    count = std::min<int>(count, static_cast<int>(values.size()));
    auto has = [count](int needed) { return count >= needed; };

    if (start == regmap::kStatusBlock.start) {
        if (!has(regmap::kStatusBlock.count))
            return;
        bReplySeen = true;
        nInputBits = static_cast<qint16>(values[regmap::kInputsOffset]);
        nRelayBits = static_cast<qint16>(values[regmap::kRelaysOffset]);
        for (int i = 0; i < 2; ++i) {
            PaintStateButton(cmdDI[i], nInputBits & GetNumTbl(i));
            PaintStateButton(cmdRelay[i], nRelayBits & GetNumTbl(i));
        }
        lblVertion->setText(fields::firmwareVersionText(values[regmap::kVersionOffset]));
        return;
    }

    auto text = [&] { return regtext::decodeTextBlock(values, count); };

    // A text that fills its block may go on in the device: keep the
    // registers, so an unchanged text goes back whole.
    if (regmap::isTextField(start)) {
        if (count == regmap::kTextReadCount && regtext::textFillsBlock(values, count))
            cutTexts[start] = {text(), values.mid(0, count)};
        else
            cutTexts.erase(start);
    }

    for (int r = 0; r < regmap::kRelayCount; ++r) {
        if (start == regmap::relayTextSlot(r, RelayText::OnCommand)) {
            const fields::OnCommand on = fields::splitOnCommand(text());
            txtOpen[r]->setText(on.command);
            txtMiMa->setText(on.password);
            return;
        }
        if (start == regmap::relayTextSlot(r, RelayText::OffCommand)) {
            txtClose[r]->setText(fields::splitOffCommand(text()));
            return;
        }
        if (start == regmap::relayTextSlot(r, RelayText::OnReply)) {
            txtAnswer[r]->setText(text());
            return;
        }
        if (start == regmap::relayTextSlot(r, RelayText::OffReply)) {
            txtCAnswer[r]->setText(text());
            return;
        }
    }

    for (int i = 0; i < regmap::kAllCommandCount; ++i) {
        if (start == regmap::allCommandSlot(i)) {
            // A device that never had these commands keeps the window's.
            const QString stored = text();
            if (!stored.isEmpty())
                txtAllCmd[i]->setText(fields::splitOffCommand(stored));
            return;
        }
    }

    for (int k = 0; k < regmap::kAlarmTexts; ++k) {
        if (start == regmap::alarmTextSlot(k)) {
            strAlarmText[k] = text(); // the text box shows it at the next refresh
            RefreshLongTextHints();
            return;
        }
    }

    for (int p = 0; p < regmap::kPhoneSlots; ++p) {
        if (start == regmap::phoneSlot(p)) {
            if (p == 0)
                lstPhone->clear();
            if (const std::optional<QString> entry = fields::phoneEntryFromSlot(text()))
                lstPhone->addItem(*entry);
            return;
        }
    }

    if (start == regmap::kActionTimes.start) {
        if (!has(2))
            return;
        for (int r = 0; r < 2; ++r)
            txtTime[r]->setText(QString::number(static_cast<qint16>(values[r])));
        return;
    }

    if (start == regmap::kOptionFlags) {
        if (!has(1))
            return;
        const fields::OptionFlags flags = fields::decodeOptionFlags(values[0]);
        chkHold->setChecked(flags.hold);
        chkPhoneAlarm->setChecked(flags.phoneAlarm);
        return;
    }

    if (start == regmap::kAlarmMode) {
        if (!has(1))
            return;
        SetAlarmMode(fields::decodeAlarmMode(values[0]));
        ShowMessage(msg::readSucceeded());
    }
}
