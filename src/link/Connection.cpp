// Connecting, the start-up read burst, the status poll and the link time-out.
#include "FormMain.h"

#include "BusyCursor.h"
#include "Messages.h"
#include "ModbusLink.h"
#include "RegisterMap.h"
#include "WindowTimer.h"

#include <QComboBox>
#include <QPushButton>
#include <QThread>

void FormMain::ToggleConnection()
{
    if (bConnected) {
        EnterDisconnectedState();
        return;
    }

    BusyCursor busy;
    const int entry = ChosenEntry(cmbComSel);
    modbus1->setPortNumber(entry + 1);
    modbus1->setTypedPort(entry < 0 ? cmbComSel->currentText() : QString());
    RefreshPortInfo(true); // an adapter plugged in since the last look is seen
    if (!modbus1->OpenPort()) {
        ShowMessage(PortOpenFailureText());
        return;
    }
    bReplySeen = false;
    modbus1->ReadRegisters(regmap::kSlave, regmap::kStatusBlock.start, regmap::kStatusBlock.count);
    // A fixed pause that handles no events: the device may still be starting.
    QThread::msleep(kProbePauseMs);
    if (!bReplySeen) {
        ShowMessage(msg::probeUnanswered());
        modbus1->ClosePort();
        return;
    }
    Timer1->setInterval(kPollIntervalMs);
    Timer1->setEnabled(true);
    cmdConnect->setText(QStringLiteral("断开"));
    bConnected = true;
    ReadAllParameters();
}

void FormMain::ReadAllParameters()
{
    BusyCursor busy;
    if (!modbus1->ReadRegisters(regmap::kSlave, regmap::kStatusBlock.start, regmap::kStatusBlock.count,
                                kExchangeAttempts)) {
        EnterDisconnectedState();
        ShowMessage(msg::readFailed());
        return;
    }
    ReadParameterBlocks();
}

bool FormMain::ReadParameterBlocks()
{
    for (const regmap::Block &block : regmap::fullReadBlocks()) {
        // All or nothing: a window that holds only part of the device's
        // configuration must not write it back, so a read that still fails
        // after its retries ends the connection. It also stops a dead line
        // from freezing the window for one time-out per block.
        if (!modbus1->ReadRegisters(regmap::kSlave, block.start, block.count, kExchangeAttempts)) {
            EnterDisconnectedState();
            ShowMessage(msg::readFailed());
            return false;
        }
        if (block.start == regmap::alarmTextSlot(regmap::kAlarmTexts - 1))
            ShowChannelAlarmText();
    }
    RememberDeviceReading();
    return true;
}

void FormMain::PollStatus()
{
    if (!Timer2->isEnabled()) {
        Timer2->setInterval(kLinkTimeoutMs);
        Timer2->setEnabled(true);
    }
    modbus1->ReadRegisters(regmap::kSlave, regmap::kStatusBlock.start, regmap::kStatusBlock.count);
}

void FormMain::ResumeStatusPoll()
{
    // Only a live connection polls; a write that completes after a disconnect
    // must not start polling a closed port.
    if (bConnected)
        Timer1->setEnabled(true);
}

void FormMain::HandleLinkTimeout()
{
    EnterDisconnectedState();
    ShowMessage(msg::linkTimedOut());
}

void FormMain::EnterDisconnectedState()
{
    Timer2->setEnabled(false); // a time-out armed before the disconnect has nothing left to end
    modbus1->ClosePort();
    Timer1->setEnabled(false);
    cmdConnect->setText(QStringLiteral("链接"));
    bConnected = false;
    ForgetDeviceReading();
}
