#pragma once
// The Modbus master link through which every request reaches the controller.
// Replies are delivered on the caller's thread before the read returns, so a
// handler of ReplyReceived runs nested inside the call that asked for it and
// may itself issue further requests.

#include <QObject>
#include <QString>
#include <QVector>

#include <functional>
#include <optional>

// Why a port did not open, for a message that says what to do.
struct PortOpenFailure {
    enum class Cause {
        NotADevice,   // typed text that names no device, or a file that is not a serial line
        NoDevice,     // nothing behind the COM number, or the path does not exist (unplugged)
        NoPermission, // the user may not open it
        Busy,         // another program holds it
        Other,        // see systemText
    };
    QString port;   // "COM3", or the text typed in its place
    QString device; // the path that was tried; empty when nothing stands behind the port
    Cause cause = Cause::Other;
    QString systemText; // the system's own words
};

class ModbusLink : public QObject {
    Q_OBJECT
public:
    explicit ModbusLink(QObject *parent = nullptr) : QObject(parent) {}

    // Port 1..7 stands for COM1..COM7. With 0 (no entry chosen) the typed
    // text names the device: a path, or a kernel name such as ttyUSB1.
    void setPortNumber(int port) { m_portNumber = port; }
    int portNumber() const { return m_portNumber; }
    void setTypedPort(const QString &text) { m_typedPort = text; }
    QString typedPort() const { return m_typedPort; }

    virtual bool OpenPort() = 0;
    virtual void ClosePort() = 0;
    virtual bool isOpen() const = 0;
    // Why the last OpenPort failed; nothing when it opened or the link cannot tell.
    std::optional<PortOpenFailure> openFailure() const { return m_openFailure; }

    // Each returns true only when the device answered correctly; the reason of
    // a failure stays in lastError(). An exchange that fails is sent again
    // until attempts are used up: holding registers take the same values
    // twice without harm, and a read changes nothing on the device.
    bool ReadRegisters(quint8 slave, int start, int count, int attempts = 1);
    bool WriteRegister(quint8 slave, int address, quint16 value, int attempts = 1);
    bool WriteRegisters(quint8 slave, int start, const QVector<quint16> &values, int count, int attempts = 1);

    QString lastError() const { return m_lastError; }

signals:
    // One per answered read: element k of values is the register at start + k.
    void ReplyReceived(int start, const QVector<quint16> &values, int count);
    // After every single-register write, answered or not.
    void WriteDone();

protected:
    // The transport: exchange one request, true when answered correctly.
    virtual bool readBlock(quint8 slave, int start, int count, QVector<quint16> &values) = 0;
    virtual bool writeSingle(quint8 slave, int address, quint16 value) = 0;
    virtual bool writeBlock(quint8 slave, int start, const QVector<quint16> &values) = 0;

    void setLastError(const QString &error) { m_lastError = error; }
    void setOpenFailure(std::optional<PortOpenFailure> failure) { m_openFailure = std::move(failure); }
    // Before each further attempt of a failed exchange, e.g. "read 710x10".
    virtual void retrying(const QString &request, int attempt, int attempts)
    {
        Q_UNUSED(request)
        Q_UNUSED(attempt)
        Q_UNUSED(attempts)
    }

private:
    bool checkRange(int start, int count, int maxCount);
    bool exchange(const QString &request, int attempts, const std::function<bool()> &once);

    int m_portNumber = 0;
    QString m_typedPort;
    QString m_lastError;
    std::optional<PortOpenFailure> m_openFailure;
};
