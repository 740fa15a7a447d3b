#include "PortCommands.h"

#include "CliText.h"
#include "Commands.h"

namespace cli {

namespace {

LinkSettings linkSettings(const Options &o, const QString &port)
{
    LinkSettings settings;
    settings.baud = o.baud;
    settings.responseTimeoutMs = o.timeoutMs;
    settings.attempts = 1 + o.retries;
    settings.trace = o.trace;
    settings.traceLabel = port;
    return settings;
}

} // namespace

PortCommands::PortCommands(const Job &job)
    : m_o(job.options), m_report(job.report), m_port(job.target.name), m_file(job.file), m_backup(job.backup),
      m_read(job.read), m_present(job.present), m_session(job.target, linkSettings(job.options, job.target.name))
{
}

int PortCommands::run()
{
    // The doctor's verdict on a port that does not open is its own.
    if (m_o.command == Command::Doctor)
        return doctor();
    if (!m_session.open())
        return failed(m_session.openError());
    switch (m_o.command) {
    case Command::Status: return status();
    case Command::Read: return read();
    case Command::Write: return write(&m_file->set);
    case Command::Diff: return diff();
    case Command::Relay: return relay();
    case Command::Factory: return write(nullptr);
    case Command::Restore: return restore();
    case Command::Sheet: {
        session::Outcome<session::DeviceConfiguration> device = readWhole();
        *m_read = device.value;
        return device ? kExitDone : failed(linkFailureText(device.problem));
    }
    case Command::Ports:
    case Command::Doctor: break;
    }
    return kExitDone;
}

int PortCommands::failed(const QString &why)
{
    m_report.progressDone(m_port);
    m_report.error(m_port, why);
    return kExitDevice;
}

std::function<void(int, int)> PortCommands::progress(const QString &what)
{
    return [this, what](int done, int total) { m_report.progress(m_port, what, done, total); };
}

QString PortCommands::readFailedText(const session::LinkProblem &problem)
{
    const ModbusLink::Request &r = problem.request;
    return QStringLiteral("read of %1 registers from %2 failed: %3").arg(r.count).arg(r.start).arg(linkFailureText(problem));
}

} // namespace cli
