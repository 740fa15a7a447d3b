#pragma once
// One controller on one port, used from one thread: its own RTU link, the
// reads and writes the commands are made of, each exchange tried as often
// as the command line says.

#include "ConfigFile.h"
#include "DeviceReading.h"
#include "RtuLink.h"
#include "WritePlan.h"

#include <QElapsedTimer>
#include <QString>
#include <QVector>

#include <functional>
#include <optional>

namespace cli {


// A whole configuration as read, and the registers it was read from.
struct DeviceConfiguration {
    config::Configuration configuration;
    params::DeviceReading reading;
};

// A register read back that is not what was written.
struct Mismatch {
    int address;
    quint16 written;
    quint16 read;
    QString field;
};

class PortSession {
public:
    // The link opens target with settings. An interrupt ends any wait on the
    // line at once, but for the answer to a write in flight, which gets
    // kWriteGraceMs more.
    PortSession(const PortTarget &target, const LinkSettings &settings);
    static constexpr int kWriteGraceMs = 500;

    bool open();
    // Why the port did not open, or why the last exchange failed.
    QString lastError() const { return m_error; }

    // A read of at most 10 registers, or nothing when it failed.
    std::optional<QVector<quint16>> read(int start, int count);
    // The writes in order, until one is not confirmed or next(confirmed)
    // says false; a write with any departure on the line is read back.
    ModbusLink::WriteResult write(const std::vector<params::PlannedWrite> &writes, const std::function<bool(int)> &next);
    bool writeRegister(int address, quint16 value);

    // The whole configuration, every text slot read whole; progress(done, total) after each read.
    std::optional<DeviceConfiguration> readConfiguration(const std::function<void(int, int)> &progress);
    // Reads back what the writes put into the device, in reads of at most 10
    // registers. Nothing when a read failed.
    std::optional<std::vector<Mismatch>> verify(const std::vector<params::PlannedWrite> &writes,
                                                const std::function<void(int, int)> &progress);

private:
    std::optional<QVector<quint16>> readBlocks(const std::vector<regmap::Block> &blocks,
                                               const std::function<void(int, int)> &progress);

    bool stopWaiting();

    struct Writing {
        explicit Writing(bool &flag) : m_flag(flag) { m_flag = true; }
        ~Writing() { m_flag = false; }
        bool &m_flag;
    };

    RtuLink m_link;
    QString m_error;
    bool m_writing = false;
    QElapsedTimer m_interruptSeen; // when a write in flight first saw the interrupt
};

} // namespace cli
