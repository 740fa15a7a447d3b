#include "PortSession.h"

#include "CliText.h"
#include "Console.h"

namespace cli {

PortSession::PortSession(const PortTarget &target, const LinkSettings &settings)
{
    m_link.setSettings(settings);
    m_link.setTarget(target);
    m_link.setInterruptCheck([this] { return stopWaiting(); });
}

bool PortSession::stopWaiting()
{
    if (!interrupted())
        return false;
    if (!m_link.lastRequest().write)
        return true;
    // A device that answers does so well within the grace: its answer makes
    // the count of confirmed writes right. A silent one is not waited for.
    if (!m_interruptSeen.isValid())
        m_interruptSeen.start();
    return m_interruptSeen.elapsed() >= kWriteGraceMs;
}

bool PortSession::open()
{
    if (m_link.OpenPort())
        return true;
    m_openError = m_link.openFailure() ? openFailureText(*m_link.openFailure()) : m_link.lastError();
    return false;
}

} // namespace cli
