#pragma once
// Everything that talks to a controller, in one place for the window and the
// command line alike: the exact reads, the write of a parameter set with its
// backup first, switching a relay, the factory configuration and putting a
// backup back. Neither program frames a request or plans a write itself.
// One file for each operation: ReadDevice.cpp, WriteDevice.cpp,
// SwitchRelay.cpp, RestoreBackup.cpp, and the line doctor, LineDoctor.cpp.

#include "BackupFile.h"
#include "ConfigFile.h"
#include "DeviceReading.h"
#include "LineDiagnosis.h"
#include "ModbusLink.h"
#include "RegisterMap.h"
#include "WritePlan.h"

#include <QString>
#include <QVector>

#include <functional>
#include <optional>
#include <vector>

namespace session {

// A whole configuration as read, and the registers it was read from.
struct DeviceConfiguration {
    config::Configuration configuration;
    params::DeviceReading reading;
};

// What a failed exchange leaves for the operator's message: who failed, and
// for a refusal what the device refused.
struct LinkProblem {
    LinkFailure kind = LinkFailure::None;
    QString error; // the link's own words
    ModbusLink::Request request;
    int refusalCode = 0;
};

// What an exchange gave, or why it gave nothing: each result carries its
// own failure, so that nobody asks the link afterwards.
template <typename T>
struct Outcome {
    std::optional<T> value;
    LinkProblem problem; // who failed, and which request, when there is no value

    explicit operator bool() const { return value.has_value(); }
    bool has_value() const { return value.has_value(); }
    const T &operator*() const { return *value; }
    T &operator*() { return *value; }
    const T *operator->() const { return &*value; }
    T *operator->() { return &*value; }
};

// A register read back that is not what was written.
struct Mismatch {
    int address;
    quint16 written;
    quint16 read;
    QString field;
};

using Progress = std::function<void(int done, int total)>;

struct WriteOptions {
    bool backUp = true;
    QString port;         // names the backup
    QString backupFolder; // empty: backup::defaultFolder()
    // The reading whose unchanged fields go back as read: the window's own
    // full read. Nothing: the device as the write reads it first.
    const params::DeviceReading *plannedAgainst = nullptr;
    Progress readProgress;
    // Once the backup is saved, before anything is written: its path.
    std::function<void(const QString &path)> backedUp;
    // After each write the device confirmed.
    std::function<void(const params::PlannedWrite &w, int confirmed, int total)> afterWrite;
    // Asked before the first write and between two: true stops the run there.
    std::function<bool()> stop;
};

struct WriteResult {
    enum class Stage {
        Done,
        NotRead,  // the read before the write failed: nothing written
        NoBackup, // the backup could not be saved: nothing written
        Refused,  // the set fails its checks against the device: nothing written
        Stopped,  // a write was not confirmed, or the caller stopped: `confirmed` are on the device
    };
    Stage stage = Stage::NotRead;
    int confirmed = 0;
    std::vector<params::PlannedWrite> writes; // the plan, once there is one
    std::optional<QString> backupPath;        // as the system writes paths
    QString backupError;
    std::vector<params::Problem> problems;
    LinkProblem problem;
    std::optional<DeviceConfiguration> before; // the device as read before the write
    bool ok() const { return stage == Stage::Done; }
    int total() const { return static_cast<int>(writes.size()); }
    // The write that failed, for a message; nullptr unless Stopped before the end.
    const params::PlannedWrite *failedWrite() const
    {
        return stage == Stage::Stopped && confirmed < total() ? &writes[confirmed] : nullptr;
    }
};

struct RestoreOptions {
    bool force = false; // a backup of other firmware than the device's is put back all the same
    Progress readProgress, writeProgress, verifyProgress;
    std::function<bool()> stop; // asked between two writes
};

struct RestoreResult {
    enum class Stage {
        Done,
        NotRead,         // the device could not be read: nothing written
        OtherFirmware,   // the backup is of other firmware: nothing written
        Stopped,         // a write failed or was stopped: `written` of `toWrite` are on the device
        NotReadBack,     // everything written, but reading it back failed
        Differs,         // read back, some registers are not the backup's
    };
    Stage stage = Stage::NotRead;
    QString deviceFirmware;
    int written = 0;
    std::vector<params::PlannedWrite> writes; // the blocks that differed, as written
    int blocks = 0;    // the backup's blocks
    int registers = 0; // the backup's registers, all read back at the end
    std::vector<Mismatch> mismatches;
    LinkProblem problem;
    bool ok() const { return stage == Stage::Done; }
};

struct DiagnoseOptions {
    // False: the quick probes only (listening, slave 1 at the tool's format,
    // the controller's areas, the repeated status reads); a cause that needs
    // the scans is then not settled.
    bool scan = true;
    // The system's serial ports, for a no-answer verdict to name.
    QList<ports::SystemPort> present;
    // During the scans: the steps done of all of both scans.
    Progress progress;
};

// The session is used from the thread that made its link, and only from it:
// the link waits on its line in the caller's thread, and its replies, events
// and failures belong to the exchange that thread is running. Each port of
// alarmcfg-cli has its own link and session on its own thread; the window's
// are on the window's thread, where a message box's event loop may run a
// poll nested inside another operation, which the link takes as one more
// exchange.
class DeviceSession {
public:
    // Tells the link what it needs to know of the controller.
    explicit DeviceSession(ModbusLink &link);

    ModbusLink &link() { return m_link; }

    // The connect probe and the status poll: one read of the status block,
    // once, its reply handed to ReplyReceived. False when it did not come.
    bool probeStatus();
    // The window's full read: the status block and the burst of the original
    // read, exactly; the device's own text slots in it are read but not used.
    Outcome<std::vector<ModbusLink::BlockValues>> readFullRead(const std::vector<regmap::Block> &blocks,
                                                               const Progress &progress = {});
    // Reads the blocks exactly (see ModbusLink::ReadBlocks), or nothing.
    Outcome<std::vector<ModbusLink::BlockValues>> readBlocks(const std::vector<regmap::Block> &blocks,
                                                             const Progress &progress = {});
    // A read of 1 to 10 registers, exact, or nothing.
    Outcome<QVector<quint16>> read(int start, int count);
    // The whole configuration, every text slot read whole, and the status block.
    Outcome<DeviceConfiguration> readConfiguration(const Progress &progress = {});
    // Reads back the registers the writes name; the ones that differ, or nothing.
    Outcome<std::vector<Mismatch>> compare(const std::vector<params::PlannedWrite> &writes, const Progress &progress = {});

    // Reads the device whole, saves the backup (unless asked not to), checks
    // the set against the device and sends its writes in order, each
    // confirmed before the next.
    WriteResult write(const params::ParameterSet &set, const WriteOptions &options);
    // The same for the device's own set with the factory table put in: the
    // fields outside it keep the device's values.
    WriteResult writeFactory(const WriteOptions &options);

    // Switches relay on or off by the one rule (RelayBits), from the bits the
    // caller shows, or from register 5 read afresh. The relay register as
    // the device confirmed it, or nothing when it did not.
    Outcome<quint16> switchRelay(int relay, bool on, std::optional<quint16> shown = std::nullopt);

    // Puts a backup back: reads the device, writes the blocks that differ
    // (each text slot up to its last differing register), reads every
    // register back.
    RestoreResult restore(const backup::Backup &b, const RestoreOptions &options);

    // The line doctor, on the open port: listens, reads the status block at
    // the tool's format as slave 1 and one block of each of the controller's
    // other areas, reads the status 20 times more; only when nothing answers,
    // tries the other formats and then the other slave addresses. Every probe
    // is a read, each sent once; the line's format is put back. Stops at once
    // on the link's interrupt check.
    doctor::Diagnosis diagnose(const DiagnoseOptions &options = {});

private:
    // Why the last exchange failed on the line.
    LinkProblem lastProblem() const;
    template <typename T>
    Outcome<T> outcome(std::optional<T> value) const
    {
        LinkProblem problem = value ? LinkProblem{} : lastProblem();
        return {std::move(value), std::move(problem)};
    }
    // The planned writes as the link sends them, each with the reads that
    // read it back in the full read's shapes.
    static std::vector<ModbusLink::BlockWrite> linkWrites(const std::vector<params::PlannedWrite> &writes);
    WriteResult writeAfterRead(const params::ParameterSet &set, const WriteOptions &options, DeviceConfiguration before);

    ModbusLink &m_link;
};

} // namespace session
