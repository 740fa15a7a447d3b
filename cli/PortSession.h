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

struct LinkSettings {
    int baud;
    int timeoutMs;
    int attempts; // 1 + --retries
    bool trace;
};

struct Target {
    QString name;   // as given: "COM1", or a device path
    QString device; // what to open
};

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
    PortSession(const Target &target, const LinkSettings &settings);

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
    Target m_target;
    LinkSettings m_settings;
    RtuLink m_link;
    QVector<quint16> m_reply;
    QString m_error;
};

} // namespace cli
