// Every answered read lands here and is decoded by its start address alone.
#include "FormMain.h"

#include "BlockDecoding.h"
#include "FieldCodecs.h"
#include "Messages.h"
#include "RegisterMap.h"
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
    const blocks::Role role = blocks::roleOf(start);

    // A text that fills its block may go on in the device: keep the
    // registers, so an unchanged text goes back whole.
    if (regmap::isTextField(start)) {
        if (std::optional<params::CutText> cut = blocks::cutText(values, count))
            cutTexts[start] = *cut;
        else
            cutTexts.erase(start);
    }
    auto text = [&] { return blocks::decodeText(values, count); };

    switch (role.kind) {
    case blocks::Kind::Status:
        if (const std::optional<blocks::Status> status = blocks::decodeStatus(values, count)) {
            bReplySeen = true;
            nInputBits = status->inputs;
            nRelayBits = status->relays;
            for (int i = 0; i < regmap::kInputCount; ++i) {
                PaintStateButton(cmdDI[i], nInputBits & GetNumTbl(i));
                PaintStateButton(cmdRelay[i], nRelayBits & GetNumTbl(i));
            }
            lblVertion->setText(status->firmware);
            strFirmware = status->firmware;
        }
        break;
    case blocks::Kind::RelayText:
        switch (role.relayText) {
        case RelayText::OnCommand: {
            const fields::OnCommand on = fields::splitOnCommand(text());
            txtOpen[role.index]->setText(on.command);
            txtMiMa->setText(on.password);
            break;
        }
        case RelayText::OffCommand: txtClose[role.index]->setText(fields::splitOffCommand(text())); break;
        case RelayText::OnReply: txtAnswer[role.index]->setText(text()); break;
        case RelayText::OffReply: txtCAnswer[role.index]->setText(text()); break;
        }
        break;
    case blocks::Kind::AllCommand:
        if (const std::optional<QString> command = fields::allCommandFromSlot(text()))
            txtAllCmd[role.index]->setText(*command);
        break;
    case blocks::Kind::AlarmText:
        strAlarmText[role.index] = text(); // the text box shows it at the next refresh
        RefreshLongTextHints();
        break;
    case blocks::Kind::Phone:
        if (role.index == 0)
            lstPhone->clear();
        if (const std::optional<QString> entry = fields::phoneEntryFromSlot(text()))
            lstPhone->addItem(*entry);
        break;
    case blocks::Kind::ActionTimes:
        if (const auto times = blocks::decodeActionTimes(values, count))
            for (int r = 0; r < regmap::kRelayCount; ++r)
                txtTime[r]->setText(QString::number((*times)[r]));
        break;
    case blocks::Kind::OptionFlags:
        if (const std::optional<fields::OptionFlags> flags = blocks::decodeOptionFlags(values, count)) {
            chkHold->setChecked(flags->hold);
            chkPhoneAlarm->setChecked(flags->phoneAlarm);
        }
        break;
    case blocks::Kind::AlarmMode:
        if (const std::optional<params::AlarmMode> mode = blocks::decodeAlarmMode(values, count)) {
            SetAlarmMode(params::modeChoice(*mode));
            ShowMessage(msg::readSucceeded());
        }
        break;
    case blocks::Kind::Other:
        break;
    }
}
