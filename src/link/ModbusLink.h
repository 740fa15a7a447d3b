#pragma once
// The Modbus master link through which every request reaches the controller:
// the port, single exchanges, and the exact read and the confirmed write of
// several blocks, which its defence (Defence.h) makes exact or failed. The
// link knows nothing of the controller's registers: its user gives it the
// device's profile (the slave, the largest read and write, the check reads).
// A transport (RtuLink on a serial line, a test's fake) carries each request
// and reports what the line showed; the defence decides what to believe.

#include "LinkSettings.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class Defence;

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

// The shape of the characters on a serial line: its rate and parity, with
// 8 data bits and 1 stop bit always. The tool talks 8N1; the line doctor
// tries the others.
enum class Parity { None, Even, Odd };
struct LineFormat {
    int baud = 0;
    Parity parity = Parity::None;
    bool operator==(const LineFormat &o) const { return baud == o.baud && parity == o.parity; }
    QString text() const; // "9600 8N1", "19200 8E1"
};

// What a serial line's driver counted since the line opened: characters with
// a bad stop bit, a bad parity bit, and breaks (the line held low longer than
// a character).
struct LineErrors {
    quint64 framing = 0;
    quint64 parity = 0;
    quint64 breaks = 0;
    LineErrors since(const LineErrors &before) const
    {
        return {framing - before.framing, parity - before.parity, breaks - before.breaks};
    }
    bool any() const { return framing || parity || breaks; }
};

// Bytes as they came off the line: when, in microseconds from the start of
// the listening or from the request sent.
struct HeardBytes {
    qint64 atUs = 0;
    QByteArray bytes;
};

// One request sent once, by itself, and everything that came back within its
// wait: what the line doctor judges, with no defence between.
struct RawExchange {
    QByteArray sent;                // the frame, CRC included
    std::vector<HeardBytes> heard;
    qint64 waitedUs = 0;
    QString lineError;              // the line failed: the send was refused, the adapter went away
    bool interrupted = false;
};

// A run of registers.
struct RegisterBlock {
    int start = 0;
    int count = 0;
};

// What the link knows of the device it talks to: given by its user, who
// knows the register map.
struct DeviceProfile {
    quint8 slave = 0;
    int maxReadCount = 0;  // registers in one read the device is known to answer
    int maxWriteCount = 0; // registers in one write
    // The check reads, in the order they are tried (see Defence.h): reads
    // the device is known to answer, their counts unused by its other reads,
    // but for the last, one of the full read's own shapes.
    std::vector<RegisterBlock> checkShapes;
};

// One request as the link sends it.
struct LinkRequest {
    enum class Function { Read, WriteSingle, WriteBlock };
    Function function = Function::Read;
    int start = 0;
    int count = 0;
    QVector<quint16> values; // the registers a write sends

    static LinkRequest read(int start, int count) { return {Function::Read, start, count, {}}; }
    static LinkRequest writeSingle(int address, quint16 value) { return {Function::WriteSingle, address, 1, {value}}; }
    static LinkRequest writeBlock(int start, const QVector<quint16> &values)
    {
        return {Function::WriteBlock, start, static_cast<int>(values.size()), values};
    }
    bool isWrite() const { return function != Function::Read; }
    bool sameAs(const LinkRequest &o) const { return function == o.function && start == o.start && count == o.count; }
    QString describe() const; // "read 710x10", "write 5=1", "write 10x20"
};

// What came back for one request, as the transport saw it: the answer, and
// the evidence of anything besides it. The transport reports; the defence decides.
struct LineAnswer {
    LinkFailure failure = LinkFailure::None; // None: a whole reply that fits the request
    QString error;                           // the line's own words for a failure
    int refusalCode = 0;                     // a refusal's exception code
    QVector<quint16> values;                 // a read's registers
    QByteArray frame;                        // the frame that came, CRC included
    bool wellFormed = false;                 // the frame is whole, with a good CRC, though it may not fit
    int bytesBefore = 0;                     // bytes that waited on the line before the request went out
    bool echoBegan = false;                  // the adapter began to send each request back
    bool echoEnded = false;                  // the adapter stopped sending each request back
    bool reconnected = false;                // the line's connection was made again since the last request
    bool lineFailed = false;                 // the line itself failed (error says how): nothing was waited for
    // A single write answered by nothing but its own bytes, on a line not
    // known to echo: an echo would look the same.
    bool ownBytesOnly = false;
    bool ok() const { return failure == LinkFailure::None; }
};

class ModbusLink : public QObject {
    Q_OBJECT
public:
    explicit ModbusLink(QObject *parent = nullptr);
    ~ModbusLink() override;

    // Applied at the next OpenPort.
    void setTarget(const PortTarget &target) { m_target = target; }
    const PortTarget &target() const { return m_target; }
    void setSettings(const LinkSettings &settings) { m_settings = settings; }
    const LinkSettings &settings() const { return m_settings; }
    void setProfile(const DeviceProfile &profile) { m_profile = profile; }
    const DeviceProfile &profile() const { return m_profile; }

    // Asked while the link waits on the line: true ends the wait at once and
    // the exchange fails. For a command line's Ctrl-C.
    void setInterruptCheck(std::function<bool()> check) { m_interruptCheck = std::move(check); }
    bool interrupted() const { return m_interruptCheck && m_interruptCheck(); }

    // Opens the target's port; a new connection: nothing is known of the line.
    bool OpenPort();
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

    // Single exchanges, proven by nothing but their own checks. Each returns
    // true only when the device answered correctly; the reason of a failure
    // stays in lastError() and lastFailure().
    bool ReadRegisters(int start, int count, Retry retry = Retry::Once);
    bool WriteRegister(int address, quint16 value, Retry retry = Retry::Once);
    bool WriteRegisters(int start, const QVector<quint16> &values, int count, Retry retry = Retry::AsSet);

    struct BlockValues {
        int start;
        QVector<quint16> values;
    };
    struct ReadBlock {
        int start;
        int count;
        // Whether the caller uses what it holds. A block nobody uses needs no
        // proof of its own, only that no reply was shifted onto one that is used.
        bool used = true;
    };
    // A read of several blocks that is exact or fails: see Defence::read.
    // Emits no ReplyReceived: the caller gets every block, in order, only
    // when all of them are sure. progress(done, total) after each read of
    // the first pass.
    std::optional<std::vector<BlockValues>> ReadBlocks(const std::vector<ReadBlock> &blocks,
                                                       const std::function<void(int, int)> &progress = {});

    struct BlockWrite {
        int start;
        QVector<quint16> registers;
        bool single; // one register with function 06, else a block with function 16
        // The reads that read the block back, when the writes must be; empty:
        // the written registers in reads of the device's largest count.
        std::vector<RegisterBlock> readBack;
    };
    struct WriteResult {
        bool ok = false;
        int confirmed = 0; // writes the device confirmed, from the first on
    };
    // Writes the blocks in order, each tried as settings() say, stopping at
    // the first the device does not confirm, or when next(confirmed) says
    // false: see Defence::write.
    WriteResult WriteBlocks(const std::vector<BlockWrite> &writes, const std::function<bool(int)> &next = {});

    // A register read back that does not hold what was written.
    struct RegisterMismatch {
        int address;
        quint16 written;
        quint16 read;
        int write; // the index of the write that wrote it
    };
    // Reads back what the writes put into the device, exactly (each in its
    // readBack reads), and names every register that differs; nothing when
    // the read failed.
    std::optional<std::vector<RegisterMismatch>> ReadBack(const std::vector<BlockWrite> &writes,
                                                          const std::function<void(int, int)> &progress = {});

    // The line doctor's access, lower than the exact reads: none of it goes
    // through the defence, none of it writes, and after a probe or a change
    // of format the defence takes the line as out of step.
    // Everything that comes within ms while nothing is sent.
    std::vector<HeardBytes> Listen(int ms);
    // A read of count registers from start, sent once to slave; every byte
    // that came back within waitMs, ending early once a whole frame from that
    // slave has come (past an adapter's echo of the request) and the frame
    // gap after it has passed.
    RawExchange ProbeRead(quint8 slave, int start, int count, int waitMs);
    // Sets the open line's rate and parity; false when this line cannot (a
    // raw TCP port: the server's serial line is set at the server).
    bool SetLineFormat(const LineFormat &format);
    // How often the line departed from one reply for each request since the
    // link was made (see Defence.h): a line that needs many retries shows here.
    quint64 departures() const;
    // Whether SetLineFormat can work on the open line.
    bool CanSetLineFormat() const { return canSetLineFormat(); }
    // The line's error counts since it opened; nothing where the platform
    // or the line has none (a pseudo-terminal, a network port).
    std::optional<LineErrors> LineErrorCounts() { return lineErrors(); }

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
    friend class Defence;
    // Whether the frames before and after the next request must go first
    // (Discard: what waits is dropped, and reported) or stay to be read as
    // frames of their own (Keep: the fence's evidence).
    enum class Waiting { Discard, Keep };

    // The transport. Opens the target's device; on failure says why with setOpenFailure().
    virtual bool openDevice() = 0;
    // Sends the request once and gives the first answer that came.
    virtual LineAnswer transact(const LinkRequest &request, Waiting waiting) = 0;
    // The next frame that came for the request last sent, after one that
    // was not its answer.
    virtual LineAnswer receiveAgain(const LinkRequest &request);
    // Waits until the line has been quiet a while; the bytes that came meanwhile.
    virtual int drainLine() { return 0; }
    // Whether the transport sees a line of its own, where replies can be
    // late, doubled or stray. A transport without one answers each request
    // itself, and its answers need no proof.
    virtual bool watchesLine() const { return false; }
    // A line for the trace (RETRY, SYNC, CONFIRM, DROP, PROVE). A transport
    // without a trace ignores it.
    virtual void trace(const char *kind, const QString &text)
    {
        Q_UNUSED(kind)
        Q_UNUSED(text)
    }

    // The line doctor's transport; a link without a line of its own hears
    // nothing, sends nothing raw and sets no format.
    virtual std::vector<HeardBytes> listenLine(int ms)
    {
        Q_UNUSED(ms)
        return {};
    }
    // request: the frame without its CRC.
    virtual RawExchange probeLine(const QByteArray &request, int waitMs);
    virtual bool canSetLineFormat() const { return false; }
    virtual bool setLineFormat(const LineFormat &format)
    {
        Q_UNUSED(format)
        return false;
    }
    virtual std::optional<LineErrors> lineErrors() { return std::nullopt; }

    void setFailure(LinkFailure failure, const QString &error, int refusalCode = 0);
    void setOpenFailure(std::optional<PortOpenFailure> failure) { m_openFailure = std::move(failure); }

private:
    bool checkRange(int start, int count, int maxCount);
    int attemptsFor(Retry retry) const { return retry == Retry::Once ? 1 : std::max(1, m_settings.attempts); }

    PortTarget m_target;
    LinkSettings m_settings;
    DeviceProfile m_profile;
    std::function<bool()> m_interruptCheck;
    QString m_lastError;
    LinkFailure m_lastFailure = LinkFailure::None;
    int m_refusalCode = 0;
    Request m_request;
    std::optional<PortOpenFailure> m_openFailure;
    std::unique_ptr<Defence> m_defence;
};
