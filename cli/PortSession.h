#pragma once
// One controller on one port, used from one thread: its own RTU link, the
// reads and writes the commands are made of, each exchange tried as often
// as the command line says.

#include "ConfigFile.h"
#include "DeviceReading.h"
#include "RtuLink.h"
#include "WritePlan.h"

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
    // The link opens target with settings; an interrupt ends any wait on the line.
    PortSession(const PortTarget &target, const LinkSettings &settings);

    bool open();
    // Why the port did not open, or why the last exchange failed.
    QString lastError() const { return m_error; }

    // A read of at most 125 registers, or nothing when it failed.
    std::optional<QVector<quint16>> read(int start, int count);
    bool write(const params::PlannedWrite &w);
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

    RtuLink m_link;
    QString m_error;
};

} // namespace cli
