#include "ParameterReader.h"

#include "BlockDecoding.h"

#include <algorithm>

namespace params {

std::vector<const Field *> ParameterReader::apply(int start, const QVector<quint16> &values, int count)
{
    // A count larger than the values carried is not trusted.
    const QVector<quint16> read = values.mid(0, std::clamp<int>(count, 0, static_cast<int>(values.size())));
    m_blocks[start] = read;
    if (start == regmap::kStatusBlock.start) {
        if (const std::optional<blocks::Status> status = blocks::decodeStatus(read, static_cast<int>(read.size())))
            m_firmware = status->firmware;
        return {};
    }
    std::vector<const Field *> decoded;
    for (const Field &f : fieldTable())
        if (f.read(m_set, start, read))
            decoded.push_back(&f);
    return decoded;
}

} // namespace params
