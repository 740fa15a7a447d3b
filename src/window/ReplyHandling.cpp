// Every answered read lands here and is decoded by its start address alone,
// through the same reader the command line uses.
#include "FormMain.h"

#include "BlockDecoding.h"
#include "Messages.h"
#include "ParameterReader.h"
#include "RegisterMap.h"
#include "RelayBits.h"
#include "WindowTimer.h"

#include <QLabel>

#include <algorithm>

void FormMain::ApplyDeviceReply(int start, const QVector<quint16> &values, int count)
{
    Timer2->setEnabled(false); // any reply proves the link is alive

    // A reply shorter than its block leaves the window as it is.
    count = std::clamp<int>(count, 0, static_cast<int>(values.size()));
    if (start == regmap::kStatusBlock.start) {
        if (const std::optional<blocks::Status> status = blocks::decodeStatus(values, count)) {
            bReplySeen = true;
            nInputBits = status->inputs;
            nRelayBits = status->relays;
            for (int i = 0; i < regmap::kInputCount; ++i) {
                PaintStateButton(cmdDI[i], relaybits::isOn(static_cast<quint16>(nInputBits), i));
                PaintStateButton(cmdRelay[i], relaybits::isOn(static_cast<quint16>(nRelayBits), i));
            }
            lblVertion->setText(status->firmware);
            strFirmware = status->firmware;
        }
        return;
    }
    // The reader starts from what the window shows, so a block changes only
    // the fields it carries.
    params::ParameterReader reader(CollectParameterSet());
    for (const params::Field *f : reader.apply(start, values, count)) {
        ShowField(*f, reader.set());
        if (f->id == params::FieldId::AlarmMode)
            ShowMessage(msg::readSucceeded()); // the mode is the last block of a full read
    }
}

void FormMain::RememberDeviceReading(const params::DeviceReading &reading)
{
    deviceReading = reading;
    setOnDevice = reading.shown;
    RefreshLongTextHints();
}

void FormMain::ForgetDeviceReading()
{
    deviceReading.reset();
    setOnDevice.reset();
    RefreshLongTextHints();
}
