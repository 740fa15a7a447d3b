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
        Other,          // see systemText
    };
    QString port;   // "COM3", or the text typed in its place
    QString device; // the path that was tried; empty when nothing stands behind the port
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

    // Once: a single exchange (the connect probe, the status poll). AsSet: a
    // failed exchange is sent again until settings().attempts are used up:
    // holding registers take the same values twice without harm, and a read
    // changes nothing on the device.
    enum class Retry { Once, AsSet };

    // Each returns true only when the device answered correctly; the reason of
    // a failure stays in lastError().
    bool ReadRegisters(quint8 slave, int start, int count, Retry retry = Retry::Once);
    bool WriteRegister(quint8 slave, int address, quint16 value, Retry retry = Retry::Once);
    bool WriteRegisters(quint8 slave, int start, const QVector<quint16> &values, int count, Retry retry = Retry::AsSet);

    struct BlockValues {
        int start;
        QVector<quint16> values;
    };
    // A read of several blocks that is exact or fails: every block is tried as
    // settings() say, and once any exchange has failed, each block read from
    // then on is read again and must come back the same, so that a late reply
    // to one request can never stand in for another's. Emits no ReplyReceived:
    // the caller gets every block, in order, only when all of them are sure.
    // progress(done, total) after each read of the first pass.
    std::optional<std::vector<BlockValues>> ReadBlocks(const std::vector<regmap::Block> &blocks,
                                                       const std::function<void(int, int)> &progress = {});

    QString lastError() const { return m_lastError; }

signals:
    // One per answered ReadRegisters: element k of values is the register at start + k.
    void ReplyReceived(int start, const QVector<quint16> &values, int count);
    // After every single-register write, answered or not.
    void WriteDone();

protected:
    // The transport: exchange one request once, true when answered correctly.
    virtual bool readBlock(quint8 slave, int start, int count, QVector<quint16> &values) = 0;
    virtual bool writeSingle(quint8 slave, int address, quint16 value) = 0;
    virtual bool writeBlock(quint8 slave, int start, const QVector<quint16> &values) = 0;

    void setLastError(const QString &error) { m_lastError = error; }
    void setOpenFailure(std::optional<PortOpenFailure> failure) { m_openFailure = std::move(failure); }
    // The line may hold replies on their way: the next exchange first makes
    // sure it is quiet. A link without a line of its own has nothing to do.
    virtual void distrustLine() {}
    // Right after a read: true when nothing else was on its way, so that the
    // reply just taken was that read's own. A link that cannot tell says true.
    virtual bool nothingFollowed() { return true; }
    // A line for the trace: RETRY before each further attempt, CONFIRM for the
    // reads that check a block. A link without a trace ignores it.
    virtual void note(const char *kind, const QString &text)
    {
        Q_UNUSED(kind)
        Q_UNUSED(text)
    }

private:
    bool checkRange(int start, int count, int maxCount);
    // Tries once() up to attempts times; *failures counts the attempts that failed.
    bool exchange(const QString &request, int attempts, const std::function<bool()> &once, int *failures = nullptr);
    bool confirmBlock(BlockValues &block, int count);
    int attemptsFor(Retry retry) const { return retry == Retry::Once ? 1 : std::max(1, m_settings.attempts); }

    PortTarget m_target;
    LinkSettings m_settings;
    std::function<bool()> m_interruptCheck;
    QString m_lastError;
    std::optional<PortOpenFailure> m_openFailure;
};
