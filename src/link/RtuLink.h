#pragma once
// The link on a real serial line: Modbus RTU master on libmodbus.

#include "ModbusLink.h"
#include "PortClaim.h"

#include <QElapsedTimer>

#include <optional>

struct _modbus;

class RtuLink : public ModbusLink {
    Q_OBJECT
public:
    static constexpr int kDefaultBaud = 9600;
    static constexpr int kResponseTimeoutMs = 500; // one request, no retries
    static constexpr int kQuietMs = 200;            // silence that ends the drain after a failure
    static constexpr int kDrainLimitMs = 1000;

    explicit RtuLink(QObject *parent = nullptr);
    ~RtuLink() override;

    bool OpenPort() override;
    void ClosePort() override;
    bool isOpen() const override { return m_ctx != nullptr; }

    // The baud rate: $ALARMCFG_BAUD when set, else 9600; 0 when the variable is not a rate.
    static int configuredBaud();

protected:
    bool readBlock(quint8 slave, int start, int count, QVector<quint16> &values) override;
    bool writeSingle(quint8 slave, int address, quint16 value) override;
    bool writeBlock(quint8 slave, int start, const QVector<quint16> &values) override;

private:
    // The device to open, by the port resolver or the typed text; traces the decision.
    std::optional<QString> choosePortDevice();
    bool refuseOpen(const PortOpenFailure &failure);

    bool transact(const QByteArray &request, QVector<quint16> *values);
    bool fail(const QString &error);
    void drainLine();
    void trace(const char *direction, const QString &text) const;

    _modbus *m_ctx = nullptr;
    PortClaim m_claim; // held from before modbus_connect until the port closes
    bool m_dirty = false;
    bool m_trace = false;
    QElapsedTimer m_requestTimer;
};
