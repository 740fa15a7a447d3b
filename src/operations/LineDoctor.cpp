// The line doctor's probes, in their order, each stage run only while the
// cause is not yet known (LineVerdict.cpp judges): listening, slave 1 at the
// tool's format, the controller's other areas, the status read again and
// again; then, when nothing answered, the other formats and the other slave
// addresses. Only reads, each sent once; the line's format is put back.
#include "DeviceSession.h"

#include "RegisterMap.h"

#include <QElapsedTimer>

namespace session {

namespace {

using doctor::Probe;

constexpr int kListenMs = 500;
constexpr int kStatusReads = 20;
// The scans wait this long for an answer beyond the time the request and
// the reply take on the wire: a controller answers within a few tens of
// milliseconds, and the whole scan must stay under a minute.
constexpr int kSpeedWaitMs = 150;
constexpr int kAddressWaitMs = 100;
// The first status read listens this much longer than the time-out, for a
// device that answers late: a late reply caught there is told from silence,
// and can pass for no later request's answer.
constexpr int kLateMs = 500;
constexpr int kScanBudgetMs = 55'000;
// The address scan reads one register: the shortest reply there is.
constexpr regmap::Block kAddressRead{regmap::kStatusBlock.start, 1};

// How long bytes take on the wire at a format, rounded up.
int wireMs(const LineFormat &format, int bytes)
{
    const int bits = format.parity == Parity::None ? 10 : 11;
    return (bytes * bits * 1000 + format.baud - 1) / format.baud;
}

// The bytes a read of count registers and its reply make, request first.
int exchangeBytes(int count)
{
    return 8 + 5 + 2 * count;
}

// One block of each of the controller's areas besides the status block: a
// relay text slot, the action times, the alarm mode.
std::vector<regmap::Block> otherAreas()
{
    return {{regmap::relayTextSlot(0, regmap::RelayText::OnCommand), regmap::kTextReadCount},
            regmap::kActionTimes,
            {regmap::kAlarmMode, 1}};
}

} // namespace

doctor::Diagnosis DeviceSession::diagnose(const DiagnoseOptions &options)
{
    QElapsedTimer took;
    took.start();
    const LineFormat tried{m_link.settings().baud, Parity::None};
    LineFormat current = tried;
    std::vector<Probe> probes;
    doctor::Scan speedScan = doctor::Scan::NotRun, addressScan = doctor::Scan::NotRun;
    QString lineFailure;

    auto judged = [&] { return doctor::judge(probes, tried, speedScan, addressScan); };
    auto stopped = [&] { return m_link.interrupted() || !lineFailure.isEmpty(); };
    auto read = [&](Probe::Kind kind, quint8 slave, const regmap::Block &block, int waitMs, int answerWithinMs = 0) {
        Probe p;
        p.answerWithinMs = answerWithinMs;
        p.kind = kind;
        p.format = current;
        p.slave = slave;
        p.start = block.start;
        p.count = block.count;
        const std::optional<LineErrors> before = m_link.LineErrorCounts();
        const RawExchange x = m_link.ProbeRead(slave, block.start, block.count, waitMs);
        const std::optional<LineErrors> after = m_link.LineErrorCounts();
        p.sent = x.sent;
        p.heard = x.heard;
        p.waitedUs = x.waitedUs;
        if (before && after)
            p.errors = after->since(*before);
        if (!x.lineError.isEmpty())
            lineFailure = x.lineError;
        probes.push_back(p);
        return doctor::interpret(p).answered();
    };
    auto finish = [&] {
        if (!(current == tried))
            m_link.SetLineFormat(tried);
        doctor::Diagnosis d = judged();
        if (!lineFailure.isEmpty()) {
            // The port itself failed under the probes: an adapter pulled out.
            d = doctor::portFailure({m_link.target().name, m_link.target().device, PortOpenFailure::Cause::Other, lineFailure, {}});
            d.probes = probes;
        }
        d.interrupted = m_link.interrupted();
        // Which serial port may be the right one, unless the port is a network one.
        if ((d.verdict == doctor::Verdict::NoAnswer || d.verdict == doctor::Verdict::LinesSwapped)
            && m_link.peerAddress().isEmpty())
            doctor::notePorts(d, options.present);
        d.ms = took.elapsed();
        return d;
    };

    // Listening first: another master's frames pass while the tool is silent.
    {
        Probe listen;
        listen.format = current;
        const std::optional<LineErrors> before = m_link.LineErrorCounts();
        QElapsedTimer listening;
        listening.start();
        listen.heard = m_link.Listen(kListenMs);
        listen.waitedUs = listening.nsecsElapsed() / 1000;
        const std::optional<LineErrors> after = m_link.LineErrorCounts();
        if (before && after)
            listen.errors = after->since(*before);
        probes.push_back(listen);
    }
    if (judged().settled || stopped())
        return finish();

    // Slave 1 at the tool's own format, as often as a read is tried.
    const int attempts = std::max(1, m_link.settings().attempts);
    const int timeoutMs = m_link.settings().responseTimeoutMs;
    for (int attempt = 0; attempt < attempts && !stopped(); ++attempt) {
        if (read(Probe::Kind::Status, regmap::kSlave, regmap::kStatusBlock, timeoutMs + (attempt == 0 ? kLateMs : 0), timeoutMs))
            break;
        if (judged().settled)
            break; // a late reply: asking again would only take it for the next one's answer
    }
    doctor::Diagnosis sofar = judged();
    if (sofar.settled || stopped())
        return finish();

    if (sofar.evidence.answered) {
        // Another kind of Modbus device may answer the status block: each of
        // the controller's areas must answer too.
        for (const regmap::Block &area : otherAreas())
            for (int attempt = 0; attempt < attempts && !stopped(); ++attempt)
                if (read(Probe::Kind::Area, regmap::kSlave, area, timeoutMs))
                    break;
        if (judged().settled || stopped())
            return finish();
        for (int i = 0; i < kStatusReads && !stopped(); ++i)
            read(Probe::Kind::Repeat, regmap::kSlave, regmap::kStatusBlock, timeoutMs);
        return finish();
    }
    if (!options.scan)
        return finish();

    // The other formats, slave 1 at each, while the time allows.
    const std::vector<LineFormat> formats = doctor::scanFormats(tried);
    const int steps = static_cast<int>(formats.size()) + doctor::kLastSlave - doctor::kFirstOtherSlave + 1;
    int done = 0;
    auto stepDone = [&] {
        if (options.progress)
            options.progress(++done, steps);
    };
    auto outOfTime = [&] { return took.elapsed() >= kScanBudgetMs; };
    speedScan = m_link.CanSetLineFormat() ? doctor::Scan::Done : doctor::Scan::Skipped;
    for (const LineFormat &format : speedScan == doctor::Scan::Done ? formats : std::vector<LineFormat>()) {
        if (stopped() || outOfTime()) {
            speedScan = doctor::Scan::Stopped;
            break;
        }
        // A rate the port cannot take is passed over.
        if (m_link.SetLineFormat(format)) {
            current = format;
            if (read(Probe::Kind::Speed, regmap::kSlave, regmap::kStatusBlock,
                     kSpeedWaitMs + wireMs(format, exchangeBytes(regmap::kStatusBlock.count)))) {
                speedScan = doctor::Scan::Found;
                break;
            }
        }
        stepDone();
    }
    if (judged().settled || stopped())
        return finish();

    // The other addresses, at the format where whole frames came back, if
    // any did, else at the tool's own.
    LineFormat at = tried;
    for (const Probe &p : probes)
        if (p.kind == Probe::Kind::Speed && doctor::interpret(p).frames > 0) {
            at = p.format;
            break;
        }
    if (!(at == current) && m_link.SetLineFormat(at))
        current = at;
    done = static_cast<int>(formats.size());
    addressScan = doctor::Scan::Done;
    for (int slave = doctor::kFirstOtherSlave; slave <= doctor::kLastSlave; ++slave) {
        if (stopped() || outOfTime()) {
            addressScan = doctor::Scan::Stopped;
            break;
        }
        if (read(Probe::Kind::Address, static_cast<quint8>(slave), kAddressRead,
                 kAddressWaitMs + wireMs(current, exchangeBytes(kAddressRead.count)))) {
            addressScan = doctor::Scan::Found;
            break;
        }
        stepDone();
    }
    return finish();
}

} // namespace session
