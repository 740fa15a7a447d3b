// SerialLine::create(): the line for any port name. Which kind of line a port
// needs is known when it is opened: a network line for a tcp:// or rfc2217://
// name, the platform's serial line for anything else.
#include "NetworkPort.h"
#include "Rfc2217Line.h"
#include "SerialLine.h"
#include "TcpLine.h"

namespace {

std::unique_ptr<SerialLine> lineFor(const QString &device)
{
    const std::optional<ports::NetworkPort> port = ports::parseNetworkPort(device);
    if (!port)
        return SerialLine::createSerial();
    if (port->kind == ports::NetworkPort::Kind::Rfc2217)
        return std::make_unique<Rfc2217Line>();
    return std::make_unique<TcpLine>();
}

class PortLine : public SerialLine {
public:
    bool open(const QString &device, int baud, PortOpenFailure *failure) override
    {
        m_line = lineFor(device); // a new line for each connection
        return m_line->open(device, baud, failure);
    }
    void close() override
    {
        if (m_line)
            m_line->close();
    }
    bool isOpen() const override { return m_line && m_line->isOpen(); }
    QString openedDevice() const override { return m_line ? m_line->openedDevice() : QString(); }
    int discardInput() override { return m_line ? m_line->discardInput() : 0; }
    bool send(const QByteArray &bytes, QString *error) override
    {
        if (m_line)
            return m_line->send(bytes, error);
        *error = QStringLiteral("port not open");
        return false;
    }
    QByteArray receive(int maxBytes, std::chrono::microseconds timeout, QString *error) override
    {
        if (m_line)
            return m_line->receive(maxBytes, timeout, error);
        *error = QStringLiteral("port not open");
        return QByteArray();
    }
    bool streamed() const override { return m_line && m_line->streamed(); }
    std::chrono::microseconds roundTrip() const override { return m_line ? m_line->roundTrip() : std::chrono::microseconds::zero(); }
    quint64 reconnections() const override { return m_line ? m_line->reconnections() : 0; }
    QString peerAddress() const override { return m_line ? m_line->peerAddress() : QString(); }
    bool canSetFormat() const override { return m_line && m_line->canSetFormat(); }
    bool setFormat(const LineFormat &format, QString *error) override
    {
        if (m_line)
            return m_line->setFormat(format, error);
        *error = QStringLiteral("port not open");
        return false;
    }
    std::optional<LineErrors> errorCounts() override { return m_line ? m_line->errorCounts() : std::nullopt; }

private:
    std::unique_ptr<SerialLine> m_line;
};

} // namespace

std::unique_ptr<SerialLine> SerialLine::create()
{
    return std::make_unique<PortLine>();
}
