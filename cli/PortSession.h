#pragma once
// One controller on one port, used from one thread: its own RTU link, each
// exchange tried as often as the command line says, and the device session
// that does the work. An interrupt ends any wait on the line at once, but
// for the answer to a write in flight, which gets kWriteGraceMs more.

#include "DeviceSession.h"
#include "RtuLink.h"

#include <QElapsedTimer>
#include <QString>

namespace cli {

class PortSession {
public:
    PortSession(const PortTarget &target, const LinkSettings &settings);
    static constexpr int kWriteGraceMs = 500;

    bool open();
    session::DeviceSession &device() { return m_device; }
    // Why the port did not open, saying who failed.
    QString openError() const { return m_openError; }
    // The same as the link tells it; nothing when it cannot.
    std::optional<PortOpenFailure> openFailure() const { return m_link.openFailure(); }

private:
    bool stopWaiting();

    RtuLink m_link;
    session::DeviceSession m_device{m_link};
    QString m_openError;
    QElapsedTimer m_interruptSeen; // when a write in flight first saw the interrupt
};

} // namespace cli
