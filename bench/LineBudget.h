#pragma once
// What the serial line allows: every exchange costs the wire time of its
// request and reply (10 bits a byte) plus 3.5 characters of silence before
// each of the two frames.

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
    double wireSeconds(int baud) const { return (m_bytes + 7.0 * m_exchanges) * 10.0 / baud; }

protected:
    bool readBlock(quint8 slave, int start, int count, QVector<quint16> &values) override;
    bool writeSingle(quint8 slave, int address, quint16 value) override;
    bool writeBlock(quint8 slave, int start, const QVector<quint16> &values) override;

private:
    void count(int requestBytes, int replyBytes);
    int m_exchanges = 0;
    long m_bytes = 0;
};
