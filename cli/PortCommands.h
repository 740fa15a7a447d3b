#pragma once
// The commands that talk to a controller, run for one port on that port's
// thread: reading ones (ReadCommands.cpp: status, read, diff), writing ones
// (WriteCommands.cpp: write, factory, relay, restore) and the line doctor
// (DoctorCommand.cpp), all through the port's device session.

#include "BackupFile.h"
#include "CliOptions.h"
#include "ConfigFile.h"
#include "PortSession.h"
#include "Report.h"

#include <functional>

namespace cli {

// Everything a port's thread needs.
struct Job {
    const Options &options;
    Report &report;
    PortTarget target;
    const config::Configuration *file; // write and diff: the file, checked already
    const backup::Backup *backup;      // restore: the backup, checked already
    std::optional<session::DeviceConfiguration> *read = nullptr; // sheet: where the configuration read goes
    QList<ports::SystemPort> present = {}; // doctor: the system's serial ports
};

class PortCommands {
public:
    explicit PortCommands(const Job &job);
    // The command of the options on this port: its exit status.
    int run();

private:
    int failed(const QString &why);
    std::function<void(int, int)> progress(const QString &what);
    // "read of 7 registers from 0 failed: ..." for the read that just failed.
    QString readFailedText(const session::LinkProblem &problem);

    // ReadCommands.cpp
    int status();
    void watchLine(const QString &line);
    int read();
    int diff();
    session::Outcome<session::DeviceConfiguration> readWhole();

    // WriteCommands.cpp
    int write(const params::ParameterSet *set);
    int relay();
    int restore();
    QString restoreCommand(const QString &backup) const;
    int verify(const std::vector<params::PlannedWrite> &writes, const QString &undo);

    // DoctorCommand.cpp
    int doctor();

    const Options &m_o;
    Report &m_report;
    QString m_port;
    const config::Configuration *m_file;
    const backup::Backup *m_backup;
    std::optional<session::DeviceConfiguration> *m_read;
    QList<ports::SystemPort> m_present;
    PortSession m_session;
};

} // namespace cli
