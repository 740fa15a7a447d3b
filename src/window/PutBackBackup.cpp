// Putting the device back from the backup a write saved before it began,
// through the same restore as alarmcfg-cli restore.
#include "FormMain.h"

#include "BackupFile.h"
#include "BusyCursor.h"
#include "Messages.h"
#include "ModbusLink.h"
#include "PollPause.h"
#include "ProblemMessages.h"

void FormMain::PutBackBackup(const QString &path)
{
    const backup::ParseResult parsed = backup::readFile(path);
    if (!parsed.backup) {
        ShowMessage(msg::backupUnreadable(path, parsed.unread ? problemMessage(*parsed.unread) : parsed.problems.join(u'\n')));
        return;
    }
    const QString command = msg::restoreCommand(path, connectedPort);
    const PollPause pause(Timer1, Timer2, bConnected);
    for (;;) {
        // A port closed meanwhile (an adapter pulled out and put back) is
        // opened again; one that will not open is told apart from a silent device.
        if (!modbus1->isOpen() && !modbus1->OpenPort()) {
            if (!ShowMessage(msg::putBackFailed(PortOpenFailureText(), 0, 0, command), msg::putBackButton()))
                return;
            continue;
        }
        session::RestoreResult result;
        {
            BusyCursor busy;
            result = device.restore(*parsed.backup, {});
        }
        switch (result.stage) {
        case session::RestoreResult::Stage::Done: ShowMessage(msg::putBackDone(result.registers)); return;
        case session::RestoreResult::Stage::OtherFirmware:
            ShowMessage(msg::putBackOtherFirmware(parsed.backup->firmware, result.deviceFirmware, command));
            return;
        case session::RestoreResult::Stage::Differs:
            ShowMessage(msg::putBackDiffers(static_cast<int>(result.mismatches.size()), command));
            return;
        case session::RestoreResult::Stage::NotRead:
        case session::RestoreResult::Stage::Stopped:
        case session::RestoreResult::Stage::NotReadBack:
            // The line may come back: the same button tries again.
            if (!ShowMessage(msg::putBackFailed(linkProblemLine(result.problem), result.written,
                                                static_cast<int>(result.writes.size()), command),
                             msg::putBackButton()))
                return;
        }
    }
}
