// The commands that write a controller: write and factory (a backup first,
// then the write plan), relay, and restore.
#include "PortCommands.h"

#include "CliText.h"
#include "Commands.h"
#include "Console.h"
#include "RegisterMap.h"

#include <algorithm>

namespace cli {

QString PortCommands::restoreCommand(const QString &backup) const
{
    // The command that puts the backup back, with the line settings of this run.
    QStringList words = {QStringLiteral("alarmcfg-cli"), QStringLiteral("restore"), backup, QStringLiteral("-p"), m_port};
    if (m_o.baud != LinkSettings::kDefaultBaud)
        words << QStringLiteral("-b") << QString::number(m_o.baud);
    if (m_o.timeoutMs != LinkSettings::kDefaultResponseTimeoutMs)
        words << QStringLiteral("--timeout") << QString::number(m_o.timeoutMs);
    if (m_o.retries != LinkSettings::kDefaultAttempts - 1)
        words << QStringLiteral("--retries") << QString::number(m_o.retries);
    std::transform(words.begin(), words.end(), words.begin(), commandWord);
    return words.join(u' ');
}

// set: the file's; nullptr for the factory configuration on the device's own.
int PortCommands::write(const params::ParameterSet *set)
{
    session::WriteOptions options;
    options.backUp = !m_o.noBackup;
    options.port = m_port;
    options.readProgress = progress(QStringLiteral("read"));
    options.backedUp = [this](const QString &path) {
        m_report.progressDone(m_port);
        m_report.info(m_port, QStringLiteral("backup saved to %1").arg(path));
    };
    options.afterWrite = [this](const params::PlannedWrite &, int confirmed, int total) {
        m_report.progress(m_port, QStringLiteral("write"), confirmed, total);
    };
    // Between two writes, never inside one.
    bool stoppedBetween = false;
    options.stop = [&] { return stoppedBetween = interrupted(); };
    const session::WriteResult r = set ? m_session.device().write(*set, options) : m_session.device().writeFactory(options);
    m_report.progressDone(m_port);

    const QString backup = r.backupPath.value_or(QString());
    auto undo = [&] {
        return r.backupPath ? QStringLiteral("; backup %1; put it back with: %2").arg(backup, restoreCommand(backup))
                            : QStringLiteral("; no backup was made");
    };
    switch (r.stage) {
    case session::WriteResult::Stage::NotRead:
        return failed(QStringLiteral("%1nothing written: %2").arg(m_o.noBackup ? QString() : QStringLiteral("no backup, "),
                                                                   linkFailureText(r.problem)));
    case session::WriteResult::Stage::NoBackup:
        return failed(QStringLiteral("no backup, nothing written: %1").arg(r.backupError));
    case session::WriteResult::Stage::Refused:
        for (const params::Problem &p : r.problems)
            m_report.error(m_port, QStringLiteral("%1 refused, nothing written: %2")
                                       .arg(set ? QStringLiteral("the set") : QStringLiteral("factory set"), problemText(p)));
        return exitStatusFor(failure::classify(r.problems.front()));
    case session::WriteResult::Stage::Stopped: {
        if (stoppedBetween)
            return failed(QStringLiteral("interrupted: the device confirmed %1 of %2 writes%3").arg(r.confirmed).arg(r.total()).arg(undo()));
        const params::PlannedWrite *w = r.failedWrite();
        // The device did not answer within the grace an interrupt leaves a write in flight.
        if (w && interrupted())
            return failed(QStringLiteral("interrupted: the device confirmed %1 of %2 writes; write %3 (%4) was sent, "
                                         "its answer not awaited%5")
                              .arg(r.confirmed)
                              .arg(r.total())
                              .arg(w->start)
                              .arg(w->field, undo()));
        if (w)
            return failed(QStringLiteral("write %1 (%2) failed: %3; the device confirmed %4 of %5 writes%6")
                              .arg(w->start)
                              .arg(w->field, linkFailureText(r.problem))
                              .arg(r.confirmed)
                              .arg(r.total())
                              .arg(undo()));
        return failed(QStringLiteral("%1; the device confirmed %2 of %3 writes%4")
                          .arg(linkFailureText(r.problem))
                          .arg(r.confirmed)
                          .arg(r.total())
                          .arg(undo()));
    }
    case session::WriteResult::Stage::Done: break;
    }
    if (!m_o.verify) {
        m_report.info(m_port, QStringLiteral("%1 writes confirmed").arg(r.total()));
        return kExitDone;
    }
    return verify(r.writes, undo());
}

int PortCommands::verify(const std::vector<params::PlannedWrite> &writes, const QString &undo)
{
    const session::Outcome<std::vector<session::Mismatch>> mismatches =
        m_session.device().compare(writes, progress(QStringLiteral("verify")));
    m_report.progressDone(m_port);
    if (!mismatches)
        return failed(QStringLiteral("verify failed: %1").arg(linkFailureText(mismatches.problem)));
    // One line for each field, with its first wrong register.
    for (size_t i = 0; i < mismatches->size();) {
        const session::Mismatch &first = (*mismatches)[i];
        size_t end = i;
        while (end < mismatches->size() && (*mismatches)[end].field == first.field)
            ++end;
        m_report.error(m_port, QStringLiteral("verify: %1 does not hold what was written: %2 of its registers differ, "
                                              "register %3 holds %4 for %5")
                                   .arg(first.field)
                                   .arg(end - i)
                                   .arg(first.address)
                                   .arg(QStringLiteral("0x") + registerHex(first.read), QStringLiteral("0x") + registerHex(first.written)));
        i = end;
    }
    if (!mismatches->empty()) {
        m_report.error(m_port, QStringLiteral("verify: %1 registers differ from what was written%2").arg(mismatches->size()).arg(undo));
        return kExitDifferent;
    }
    m_report.info(m_port, QStringLiteral("%1 writes confirmed and read back the same").arg(writes.size()));
    return kExitDone;
}

int PortCommands::relay()
{
    // Register 5 read afresh, then switched by the window's rule.
    const session::Outcome<quint16> value = m_session.device().switchRelay(m_o.relay, m_o.relayOn);
    if (!value) {
        const ModbusLink::Request &r = value.problem.request;
        return failed(r.write ? QStringLiteral("write of register %1 failed: %2").arg(r.start).arg(linkFailureText(value.problem))
                              : readFailedText(value.problem));
    }
    m_report.info(m_port, QStringLiteral("Q%1 %2").arg(m_o.relay).arg(m_o.relayOn ? "on" : "off"));
    return kExitDone;
}

int PortCommands::restore()
{
    if (!m_backup->port.isEmpty() && m_backup->port != m_port)
        m_report.info(m_port, QStringLiteral("the backup was taken on %1").arg(m_backup->port));
    session::RestoreOptions options;
    options.force = m_o.force;
    options.readProgress = progress(QStringLiteral("read"));
    options.writeProgress = progress(QStringLiteral("restore"));
    options.verifyProgress = progress(QStringLiteral("verify"));
    bool stoppedBetween = false;
    options.stop = [&] { return stoppedBetween = interrupted(); };
    const session::RestoreResult r = m_session.device().restore(*m_backup, options);
    m_report.progressDone(m_port);
    const int total = static_cast<int>(r.writes.size());
    switch (r.stage) {
    case session::RestoreResult::Stage::NotRead:
        return failed(QStringLiteral("nothing written: reading the device failed: %1").arg(linkFailureText(r.problem)));
    case session::RestoreResult::Stage::OtherFirmware:
        m_report.error(m_port, m_backup->firmware.isEmpty()
                                   ? QStringLiteral("nothing written: the backup names no firmware, the device runs %1; "
                                                    "registers may mean other things on other firmware. --force puts it "
                                                    "back all the same")
                                         .arg(r.deviceFirmware)
                                   : QStringLiteral("nothing written: the backup is of firmware %1, the device runs %2; "
                                                    "registers may mean other things there. --force puts it back all the same")
                                         .arg(m_backup->firmware, r.deviceFirmware));
        return kExitUsage;
    case session::RestoreResult::Stage::Stopped: {
        if (stoppedBetween)
            return failed(QStringLiteral("interrupted: the device confirmed %1 of %2 writes of the backup; "
                                         "run the same restore again to finish").arg(r.written).arg(total));
        const params::PlannedWrite &w = r.writes[std::min(r.written, total - 1)];
        return failed(QStringLiteral("write %1 (%2) failed: %3; the device confirmed %4 of %5 writes of the "
                                     "backup; run the same restore again to finish")
                          .arg(w.start)
                          .arg(w.field, linkFailureText(r.problem))
                          .arg(r.written)
                          .arg(total));
    }
    case session::RestoreResult::Stage::NotReadBack:
        return failed(QStringLiteral("the backup was written, but reading it back failed: %1").arg(linkFailureText(r.problem)));
    case session::RestoreResult::Stage::Differs:
        for (const session::Mismatch &m : r.mismatches)
            m_report.error(m_port, QStringLiteral("restore: register %1 holds 0x%2, the backup 0x%3")
                                       .arg(m.address)
                                       .arg(registerHex(m.read), registerHex(m.written)));
        return kExitDifferent;
    case session::RestoreResult::Stage::Done: break;
    }
    m_report.info(m_port, QStringLiteral("backup restored: %1 of %2 blocks written, all %3 registers read back the same")
                              .arg(total)
                              .arg(r.blocks)
                              .arg(r.registers));
    return kExitDone;
}

} // namespace cli
