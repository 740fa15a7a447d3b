// Connecting, the start-up read burst, the status poll and the link time-out.
#include "FormMain.h"

#include "BusyCursor.h"
#include "Messages.h"
#include "ProblemMessages.h"
#include "ModbusLink.h"
#include "ParameterReader.h"
#include "PollPause.h"
#include "VerdictMessages.h"
#include "RegisterMap.h"
#include "WindowTimer.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QThread>

void FormMain::ToggleConnection()
{
    if (bConnected) {
        EnterDisconnectedState();
        return;
    }

    BusyCursor busy;
    RefreshPortInfo(true); // an adapter plugged in since the last look is seen
    const PortTarget target = ChosenPortTarget();
    modbus1->setTarget(target);
    if (!modbus1->OpenPort()) {
        ShowMessage(PortOpenFailureText());
        return;
    }
    bReplySeen = false;
    device.probeStatus();
    // The probe's reply, if one came, was handled inside the read; the fixed
    // pause only spaces the probe from the burst. It handles no events.
    QThread::msleep(kProbePauseMs);
    if (!bReplySeen) {
        // Why not, from what the line shows; the port stays open for the full scan.
        ShowLineVerdict(&msg::connectFailedBecause, DiagnoseLine(false));
        modbus1->ClosePort();
        return;
    }
    Timer1->setInterval(kPollIntervalMs);
    Timer1->setEnabled(true);
    cmdConnect->setText(tr("断开"));
    FitCaption(cmdConnect);
    bConnected = true;
    connectedPort = target.name;
    RememberNetworkPort(target.name);
    lblPortInfo->setText(PortInfoText()); // with the server's address, for a network port
    const quint64 departures = modbus1->departures();
    ReadAllParameters();
    // Read, but only through many retries: what troubles the line, if the doctor finds it.
    if (bConnected && modbus1->departures() - departures >= kTroubledDepartures) {
        const PollPause pause(Timer1, Timer2, bConnected);
        const doctor::Diagnosis quick = DiagnoseLine(false);
        if (quick.verdict != doctor::Verdict::Healthy)
            ShowMessage(msg::connectedButLineTroubled(lineVerdictMessage(quick)));
    }
}

void FormMain::ReadAllParameters()
{
    std::vector<regmap::Block> blocks = regmap::fullReadBlocks();
    blocks.insert(blocks.begin(), regmap::kStatusBlock);
    ReadParameterBlocks(blocks);
}

bool FormMain::ReadParameterBlocks(const std::vector<regmap::Block> &blocks)
{
    BusyCursor busy;
    // All or nothing: the blocks reach the window only once every one of them
    // is read and sure, so a window never holds part of one device's
    // configuration and part of what it showed before. A read that still
    // fails ends the connection, so that nothing is written until a new
    // connect has read everything.
    const session::Outcome<std::vector<ModbusLink::BlockValues>> read = device.readFullRead(blocks);
    if (!read) {
        // Nothing polls while the box is open; the port stays open for the
        // line doctor, whose verdict says why, unless the device answers it.
        Timer1->setEnabled(false);
        Timer2->setEnabled(false);
        // A refusal too: another kind of device refuses the controller's areas.
        const bool doctorTells = FailedOnTheLine(read.problem, true);
        const doctor::Diagnosis quick = doctorTells ? DiagnoseLine(false) : doctor::Diagnosis{};
        if (doctorTells && quick.verdict != doctor::Verdict::Healthy) {
            ShowLineVerdict(&msg::readFailedBecause, quick);
            EnterDisconnectedState();
            return false;
        }
        const QString why = readFailureMessage(read.problem);
        EnterDisconnectedState();
        ShowMessage(why);
        return false;
    }
    // The reading the writes keep to: the blocks, decoded from what the
    // window shows, as each reply below shows them.
    params::ParameterReader reading(CollectParameterSet());
    for (const ModbusLink::BlockValues &block : *read)
        reading.apply(block.start, block.values, static_cast<int>(block.values.size()));
    for (const ModbusLink::BlockValues &block : *read) {
        ApplyDeviceReply(block.start, block.values, static_cast<int>(block.values.size()));
        if (block.start == regmap::alarmTextSlot(regmap::kAlarmTexts - 1))
            ShowChannelAlarmText();
    }
    RememberDeviceReading(reading.reading());
    return true;
}

PortTarget FormMain::ChosenPortTarget() const
{
    const int entry = ChosenEntry(cmbComSel);
    const QString name = entry >= 0 ? cmbComSel->itemText(entry) : cmbComSel->currentText();
    return portTable ? ports::targetOf(*portTable, name) : PortTarget{name, QString(), PortOpenFailure::Cause::NoDevice, QString()};
}

void FormMain::PollStatus()
{
    if (!Timer2->isEnabled()) {
        Timer2->setInterval(kLinkTimeoutMs);
        Timer2->setEnabled(true);
    }
    device.probeStatus();
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
    cmdConnect->setText(tr("链接"));
    FitCaption(cmdConnect);
    bConnected = false;
    ForgetDeviceReading();
    lblPortInfo->setText(PortInfoText());
}
