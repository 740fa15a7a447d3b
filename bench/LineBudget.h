#pragma once
// What the serial line allows: every exchange costs the wire time of its
// request and reply (10 bits a byte) plus the frame gap before each of the
// two frames.

#include "ModbusRtu.h"
#include "RtuLink.h"

class CountingRtuLink : public RtuLink {
public:
    void reset()
    {
        m_exchanges = 0;
        m_bytes = 0;
    }
    int exchanges() const { return m_exchanges; }
    // Seconds the frames exchanged since reset() need at this baud rate.
    double wireSeconds(int baud) const
    {
        return static_cast<double>(m_bytes) * rtu::kBitsPerCharacter / baud + 2.0 * m_exchanges * rtu::frameGap(baud).count() / 1e6;
    }

protected:
    bool readBlock(quint8 slave, int start, int count, QVector<quint16> &values) override;
    bool writeSingle(quint8 slave, int address, quint16 value) override;
    bool writeBlock(quint8 slave, int start, const QVector<quint16> &values) override;

private:
    void count(int requestBytes, int replyBytes);
    int m_exchanges = 0;
    long m_bytes = 0;
};
