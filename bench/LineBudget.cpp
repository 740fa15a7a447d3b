#include "LineBudget.h"

int CountingLine::discardInput()
{
    const int dropped = m_line->discardInput();
    bytes += dropped;
    return dropped;
}

bool CountingLine::send(const QByteArray &frame, QString *error)
{
    ++requests;
    bytes += frame.size();
    return m_line->send(frame, error);
}

QByteArray CountingLine::receive(int maxBytes, std::chrono::microseconds timeout, QString *error)
{
    const QByteArray got = m_line->receive(maxBytes, timeout, error);
    bytes += got.size();
    return got;
}

double frameSeconds(long bytes, int baud)
{
    return static_cast<double>(bytes) * rtu::kBitsPerCharacter / baud + rtu::frameGap(baud).count() / 1e6;
}
