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
    static constexpr int kResponseTimeoutMs = 500; // for each attempt of a request
    // After a failure the line is drained until it has been quiet this long
    // (at most kDrainLimitMs); a retry waits for that before it goes out.
    static constexpr int kQuietMs = 200;
    static constexpr int kDrainLimitMs = 1000;
    // A reply ends with 3.5 characters of silence (10 bits a character on
    // 8N1); above 19200 baud RTU fixes the gap at 1750 microseconds.
    static constexpr double kFrameGapCharacters = 3.5;
    static constexpr int kFixedFrameGapUs = 1750;
    static constexpr int kFixedFrameGapAboveBaud = 19200;

    // The silence that must follow a reply before the next request, in microseconds.
    static int frameGapUs(int baud);

    explicit RtuLink(QObject *parent = nullptr);
    ~RtuLink() override;

    bool OpenPort() override;
    void ClosePort() override;
    bool isOpen() const override { return m_ctx != nullptr; }

    // The baud rate: $ALARMCFG_BAUD when set, else 9600; 0 when the variable is not a rate.
    static int configuredBaud();

    // Settings for the next OpenPort, for a caller that has its own (the
    // command line): the baud rate instead of configuredBaud(), the time
    // each attempt waits for its reply, and the frame trace with a label
    // that tells several links apart.
    void setBaud(int baud) { m_chosenBaud = baud; }
    void setResponseTimeoutMs(int ms) { m_responseTimeoutMs = ms; }
    void setTrace(bool on, const QString &label = QString());

protected:
    bool readBlock(quint8 slave, int start, int count, QVector<quint16> &values) override;
    bool writeSingle(quint8 slave, int address, quint16 value) override;
    bool writeBlock(quint8 slave, int start, const QVector<quint16> &values) override;
    void retrying(const QString &request, int attempt, int attempts) override;

private:
    // The device to open, by the port resolver or the typed text; traces the decision.
    std::optional<QString> choosePortDevice();
    bool refuseOpen(const PortOpenFailure &failure);

    bool transact(const QByteArray &request, QVector<quint16> *values);
    bool fail(const QString &error);
    void discardWaitingInput();
    int bytesArrivingWithin(int microseconds) const;
    void drainLine();
    void trace(const char *direction, const QString &text) const;

    _modbus *m_ctx = nullptr;
    PortClaim m_claim; // held from before modbus_connect until the port closes
    int m_baud = kDefaultBaud;
    std::optional<int> m_chosenBaud;
    int m_responseTimeoutMs = kResponseTimeoutMs;
    bool m_trace = false;
    QString m_traceLabel;
    QElapsedTimer m_requestTimer;
};
