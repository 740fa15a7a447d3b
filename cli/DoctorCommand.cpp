// The line doctor on one port: its verdict as a sentence, or with --json as
// data with every probe. Healthy is the only verdict that exits 0.
#include "PortCommands.h"

#include "CliText.h"
#include "Commands.h"

namespace cli {

int PortCommands::doctor()
{
    doctor::Diagnosis d;
    if (!m_session.open()) {
        d = doctor::portFailure(m_session.openFailure().value_or(
            PortOpenFailure{m_port, QString(), PortOpenFailure::Cause::Other, m_session.openError(), {}}));
    } else {
        session::DiagnoseOptions options;
        options.present = m_present;
        options.progress = progress(QStringLiteral("doctor: other speeds and addresses"));
        d = m_session.device().diagnose(options);
        m_report.progressDone(m_port);
    }
    if (d.interrupted)
        return failed(QStringLiteral("interrupted"));
    m_report.data(m_o.json ? jsonLine(doctorJson(m_port, d)) : m_port + u' ' + doctorText(d));
    return d.verdict == doctor::Verdict::Healthy ? kExitDone : kExitDevice;
}

} // namespace cli
