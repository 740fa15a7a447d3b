#pragma once
// What the serial line allows: every frame costs its wire time (10 bits a
// byte) plus the frame gap before it, and behind a network port each request
// its round trip. The link is counted on its line, so
// that every frame that crosses it counts: the requests and their replies,
// the check reads and the reads that prove a repeated reply, echoes and
// dropped frames too.

#include "ModbusRtu.h"
#include "RtuLink.h"
#include "SerialLine.h"

#include <memory>

// The platform's line, counting what crosses it.
class CountingLine : public SerialLine {
public:
    explicit CountingLine(std::unique_ptr<SerialLine> line) : m_line(std::move(line)) {}

    bool open(const QString &device, int baud, PortOpenFailure *failure) override { return m_line->open(device, baud, failure); }
    void close() override { m_line->close(); }
    bool isOpen() const override { return m_line->isOpen(); }
    QString openedDevice() const override { return m_line->openedDevice(); }
    int discardInput() override;
    bool send(const QByteArray &bytes, QString *error) override;
    QByteArray receive(int maxBytes, std::chrono::microseconds timeout, QString *error) override;
    bool streamed() const override { return m_line->streamed(); }
    std::chrono::microseconds roundTrip() const override { return m_line->roundTrip(); }
    quint64 reconnections() const override { return m_line->reconnections(); }
    QString peerAddress() const override { return m_line->peerAddress(); }

    int requests = 0; // frames sent
    long bytes = 0;   // sent and received

private:
    std::unique_ptr<SerialLine> m_line;
};

// Seconds a frame of this many bytes needs at baud, with the gap before it.
double frameSeconds(long bytes, int baud);

class CountingRtuLink : public RtuLink {
public:
    CountingRtuLink() : CountingRtuLink(new CountingLine(SerialLine::create())) {}

    void reset()
    {
        m_counter->requests = 0;
        m_counter->bytes = 0;
    }
    // Requests sent since reset(), each answered by one frame on a clean line.
    int exchanges() const { return m_counter->requests; }
    // Seconds the frames since reset() need at this baud rate: their bytes,
    // and the frame gap before each request and each reply; through a
    // network, one round trip, as measured on connecting, for each request.
    double wireSeconds(int baud) const
    {
        return static_cast<double>(m_counter->bytes) * rtu::kBitsPerCharacter / baud
               + 2.0 * m_counter->requests * rtu::frameGap(baud).count() / 1e6
               + m_counter->requests * roundTripSeconds();
    }
    double roundTripSeconds() const { return m_counter->roundTrip().count() / 1e6; }

private:
    explicit CountingRtuLink(CountingLine *line) : RtuLink(std::unique_ptr<SerialLine>(line)), m_counter(line) {}
    CountingLine *m_counter; // owned by the link
};
