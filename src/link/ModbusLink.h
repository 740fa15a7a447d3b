#pragma once
// The Modbus master link through which every request reaches the controller.
// Replies are delivered on the caller's thread before the read returns, so a
// handler of ReplyReceived runs nested inside the call that asked for it and
// may itself issue further requests.

#include "LinkSettings.h"
#include "RegisterMap.h"

#include <QObject>
#include <QString>
#include <QVector>

#include <functional>
#include <optional>
#include <vector>

// Why a port did not open, for a message that says what to do.
struct PortOpenFailure {
    enum class Cause {
        NotADevice,     // typed text that names no device, or a file that is not a serial line
        NoDevice,       // nothing behind the COM number, or the path does not exist (unplugged)
        NoPermission,   // the user may not open it
        Busy,           // another program has it open and will not share it
        LockedByAlarmcfg, // another copy of this tool is connected to it
        MarkedExclusive,  // the line is marked for one program's use; see holders
        NoDriver,       // the system knows the port but no driver runs it
        // A port behind a serial device server (tcp://, rfc2217://):
        NoSuchHost,     // the server's name is not known
        Refused,        // nothing listens at that port of the server
        Unreachable,    // no route to the server
        TimedOut,       // no answer to the connect, or to the name's look-up, in time
        ServerBusy,     // the server serves one client at a time and turned this one away
        Other,          // see systemText
    };
    QString port;   // "COM3", or the text typed in its place
    QString device; // the path that was tried, or the server ("127.0.0.1:4001"); empty when nothing stands behind the port
    Cause cause = Cause::Other;
    QString systemText; // the system's own words
    // The programs that hold the device, where the system can tell: "alarmcfg-cli
    // (pid 812)". Empty when nobody has it open or it cannot be known.
    QStringList holders;
};

// What the link opens: the name the operator chose and the device behind it.
struct PortTarget {
    QString name;   // "COM3", or the text typed in its place
    QString device; // what to open; empty when nothing stands behind the name
    // Why there is no device, when device is empty.
    PortOpenFailure::Cause missing = PortOpenFailure::Cause::NoDevice;
    QString how; // for the trace: which rule chose the device
};

// Why a request or an operation failed, as far as the line tells: who failed
// decides what the operator is told to do.
enum class LinkFailure {
    None,
    Silent,      // nothing at all came back: the cable, the port or the device's power
    Refused,     // the device answered with an exception: it refused the request
    Garbled,     // bytes came, but no whole answer that fits the request
    Unsure,      // answers came, but which request they answer could not be proven
    Interrupted, // the operator stopped it
    NotOpen,     // the port is not open
    Invalid,     // a request the link never sends: a count or an address out of range
};

class ModbusLink : public QObject {
    Q_OBJECT
public:
    explicit ModbusLink(QObject *parent = nullptr) : QObject(parent) {}

    // Applied at the next OpenPort.
    void setTarget(const PortTarget &target) { m_target = target; }
    const PortTarget &target() const { return m_target; }
    void setSettings(const LinkSettings &settings) { m_settings = settings; }
    const LinkSettings &settings() const { return m_settings; }

    // Asked while the link waits on the line: true ends the wait at once and
    // the exchange fails. For a command line's Ctrl-C.
    void setInterruptCheck(std::function<bool()> check) { m_interruptCheck = std::move(check); }
    bool interrupted() const { return m_interruptCheck && m_interruptCheck(); }

    virtual bool OpenPort() = 0;
    virtual void ClosePort() = 0;
    virtual bool isOpen() const = 0;
    // Why the last OpenPort failed; nothing when it opened or the link cannot tell.
    std::optional<PortOpenFailure> openFailure() const { return m_openFailure; }
    // Where an open network port leads: the server's address and port as
    // connected to. Empty for a serial port.
    virtual QString peerAddress() const { return QString(); }

    // Once: a single exchange (the connect probe, the status poll). AsSet: a
    // failed exchange is sent again until settings().attempts are used up:
    // holding registers take the same values twice without harm, and a read
    // changes nothing on the device.
    enum class Retry { Once, AsSet };

    // Each returns true only when the device answered correctly; the reason of
    // a failure stays in lastError() and lastFailure().
    bool ReadRegisters(quint8 slave, int start, int count, Retry retry = Retry::Once);
    bool WriteRegister(quint8 slave, int address, quint16 value, Retry retry = Retry::Once);
    bool WriteRegisters(quint8 slave, int start, const QVector<quint16> &values, int count, Retry retry = Retry::AsSet);

    struct BlockValues {
        int start;
        QVector<quint16> values;
    };
    // A read of several blocks that is exact or fails. Every block is tried as
    // settings() say, and the read ends with a fence: a check whose answer must
    // come first, so that nothing is left on its way behind the last reply.
    // Any departure from one reply to each request anywhere in the read (bytes
    // waiting before a request or following a reply, a time-out, a garbled or
    // unfitting reply, a frame before the fence's answer) taints all of it:
    // then every block is read again, each behind a fence, and believed only
    // when two reads agree. Emits no ReplyReceived: the caller gets every
    // block, in order, only when all of them are sure. progress(done, total)
    // after each read of the first pass.
    std::optional<std::vector<BlockValues>> ReadBlocks(const std::vector<regmap::Block> &blocks,
                                                       const std::function<void(int, int)> &progress = {});

    struct BlockWrite {
        int start;
        QVector<quint16> registers;
        bool single; // one register with function 06, else a block with function 16
    };
    struct WriteResult {
        bool ok = false;
        int confirmed = 0; // writes the device confirmed, from the first on
    };
    // Writes the blocks in order, each tried as settings() say, stopping at
    // the first the device does not confirm, or when next(confirmed) says
    // false. A write's echo names its own request, but an operation with any
    // departure from one reply to each request is not taken on its echoes
    // alone: the written registers are read back with ReadBlocks and must hold
    // what was written.
    WriteResult WriteBlocks(const std::vector<BlockWrite> &writes, const std::function<bool(int)> &next = {});

    // The request the last failure concerns.
    struct Request {
        bool write = false;
        int start = 0;
        int count = 0;
    };
    Request lastRequest() const { return m_request; }
    QString lastError() const { return m_lastError; }
    LinkFailure lastFailure() const { return m_lastFailure; }
    // For a refusal: the exception code the device answered with, else 0.
    int refusalCode() const { return m_refusalCode; }

signals:
    // One per answered ReadRegisters: element k of values is the register at start + k.
    void ReplyReceived(int start, const QVector<quint16> &values, int count);
    // After every single-register write, answered or not.
    void WriteDone();

protected:
    // The transport: exchange one request once, true when answered correctly.
    // A failure says why with setFailure().
    virtual bool readBlock(quint8 slave, int start, int count, QVector<quint16> &values) = 0;
    virtual bool writeSingle(quint8 slave, int address, quint16 value) = 0;
    virtual bool writeBlock(quint8 slave, int start, const QVector<quint16> &values) = 0;

    void setLastError(const QString &error) { m_lastError = error; }
    void setFailure(LinkFailure failure, const QString &error, int refusalCode = 0);
    void setOpenFailure(std::optional<PortOpenFailure> failure) { m_openFailure = std::move(failure); }
    // Every departure from one reply to each request the line has seen since
    // the port opened; a link that cannot see its line counts none.
    virtual quint64 departures() const { return 0; }
    // The line may hold replies on their way: the next exchange first makes
    // sure it is quiet. A link without a line of its own has nothing to do.
    virtual void distrustLine() {}
    // A check whose answer must be the first frame to come: true when it was,
    // so that the reply taken last was its request's own and nothing follows
    // it. A link that cannot tell says true.
    virtual bool fence() { return true; }
    // A line for the trace: RETRY before each further attempt, CONFIRM for the
    // reads that check a block. A link without a trace ignores it.
    virtual void note(const char *kind, const QString &text)
    {
        Q_UNUSED(kind)
        Q_UNUSED(text)
    }

private:
    bool checkRange(int start, int count, int maxCount);
    // Tries once() up to attempts times; each failed attempt counts as a departure.
    bool exchange(const QString &request, int attempts, const std::function<bool()> &once);
    bool confirmBlock(BlockValues &block, int count);
    // Reads back what the writes before `written` put into the device.
    bool confirmWrites(const std::vector<BlockWrite> &writes, int *written);
    bool writeOne(const BlockWrite &w);
    int attemptsFor(Retry retry) const { return retry == Retry::Once ? 1 : std::max(1, m_settings.attempts); }
    quint64 departuresSoFar() const { return departures() + m_failedAttempts; }

    PortTarget m_target;
    LinkSettings m_settings;
    std::function<bool()> m_interruptCheck;
    QString m_lastError;
    LinkFailure m_lastFailure = LinkFailure::None;
    int m_refusalCode = 0;
    Request m_request;
    quint64 m_failedAttempts = 0;
    std::optional<PortOpenFailure> m_openFailure;
};
