// From the bytes each probe brought back to one verdict: the line doctor's
// rules, in one place and pure, so that recorded probes test them.
#include "LineDiagnosis.h"

#include "BlockDecoding.h"
#include "RegisterMap.h"
#include "ReplyFrame.h"

#include <algorithm>
#include <map>
#include <numeric>

namespace doctor {

namespace {

struct Named {
    Verdict verdict;
    const char *code;
};
constexpr Named kCodes[] = {
    {Verdict::Healthy, "healthy"},
    {Verdict::Port, "port"},
    {Verdict::NoAnswer, "no-answer"},
    {Verdict::EchoOnly, "echo-only"},
    {Verdict::LinesSwapped, "lines-swapped"},
    {Verdict::OtherSpeed, "other-speed"},
    {Verdict::OtherAddress, "other-address"},
    {Verdict::NotThisDevice, "not-this-device"},
    {Verdict::AnotherMaster, "another-master"},
    {Verdict::Intermittent, "intermittent"},
    {Verdict::SlowReply, "slow-reply"},
};

// The length of the Modbus frame that starts at bytes[i] when one of a
// layout this line may carry does, with a good CRC: a read or write request
// or reply, or an exception; 0 when none does.
int wholeFrameAt(const QByteArray &bytes, qsizetype i)
{
    const qsizetype left = bytes.size() - i;
    if (left < 5)
        return 0;
    const auto at = [&](qsizetype k) { return static_cast<quint8>(bytes[i + k]); };
    const quint8 slave = at(0), function = at(1);
    if (slave > doctor::kLastSlave)
        return 0;
    std::vector<int> lengths;
    switch (function) {
    case 1: case 2: case 3: case 4:
        lengths = {8, 5 + at(2)}; // the request, the reply with its byte count
        break;
    case 5: case 6: lengths = {8}; break;
    case 15: case 16:
        lengths = {8}; // the reply
        if (left >= 7)
            lengths.push_back(9 + at(6)); // the request with its byte count
        break;
    default:
        if ((function & rtu::kExceptionFlag) && (function & 0x7F) >= 1 && (function & 0x7F) <= 16)
            lengths = {5};
        break;
    }
    for (const int length : lengths) {
        if (length > left || length < 5)
            continue;
        const QByteArray candidate = bytes.mid(i, length);
        if (frame::withCrc(candidate.chopped(rtu::kCrcBytes)) == candidate)
            return length;
    }
    return 0;
}

QByteArray inverted(const QByteArray &bytes)
{
    QByteArray out = bytes;
    for (char &c : out)
        c = static_cast<char>(~c);
    return out;
}

// When byte k of everything heard came, in milliseconds.
double timeOfByte(const std::vector<HeardBytes> &heard, qsizetype k)
{
    for (const HeardBytes &h : heard) {
        if (k < h.bytes.size())
            return h.atUs / 1000.0;
        k -= h.bytes.size();
    }
    return heard.empty() ? 0 : heard.back().atUs / 1000.0;
}

bool isScanned(Scan scan)
{
    return scan == Scan::Done || scan == Scan::Skipped || scan == Scan::Found;
}

} // namespace

QString verdictCode(Verdict verdict)
{
    for (const Named &n : kCodes)
        if (n.verdict == verdict)
            return QLatin1String(n.code);
    return QString();
}

std::optional<Verdict> verdictFromCode(const QString &code)
{
    for (const Named &n : kCodes)
        if (code == QLatin1String(n.code))
            return n.verdict;
    return std::nullopt;
}

std::vector<Verdict> allVerdicts()
{
    std::vector<Verdict> all;
    for (const Named &n : kCodes)
        all.push_back(n.verdict);
    return all;
}

QString probeKindName(Probe::Kind kind)
{
    switch (kind) {
    case Probe::Kind::Listen: return QStringLiteral("listen");
    case Probe::Kind::Status: return QStringLiteral("status");
    case Probe::Kind::Area: return QStringLiteral("area");
    case Probe::Kind::Repeat: return QStringLiteral("repeat");
    case Probe::Kind::Speed: return QStringLiteral("speed");
    case Probe::Kind::Address: return QStringLiteral("address");
    }
    return QString();
}

QString scanName(Scan scan)
{
    switch (scan) {
    case Scan::NotRun: return QStringLiteral("not-run");
    case Scan::Done: return QStringLiteral("done");
    case Scan::Found: return QStringLiteral("found");
    case Scan::Skipped: return QStringLiteral("skipped");
    case Scan::Stopped: return QStringLiteral("stopped");
    }
    return QString();
}

Reading interpret(const Probe &p)
{
    Reading r;
    QByteArray came;
    for (const HeardBytes &h : p.heard)
        came += h.bytes;
    qsizetype offset = 0;
    if (!p.sent.isEmpty() && came.startsWith(p.sent)) {
        r.echo = true;
        offset = p.sent.size();
    }
    const QByteArray rest = came.mid(offset);
    if (rest.isEmpty()) {
        r.kind = r.echo ? Reading::Kind::Echo : Reading::Kind::Nothing;
        return r;
    }
    if (!p.sent.isEmpty() && rest == inverted(p.sent)) {
        r.kind = Reading::Kind::Inverted;
        return r;
    }
    // The bytes in order: the answer where it stands, other whole frames,
    // and what is left byte by byte.
    const QByteArray request = p.sent.isEmpty() ? QByteArray() : p.sent.chopped(rtu::kCrcBytes);
    bool answered = false;
    for (qsizetype i = 0; i < rest.size();) {
        if (!answered && !request.isEmpty() && rest[i] == request[0]) {
            const int length = frame::replyLength(rest.mid(i));
            if (length > 0 && i + length <= rest.size()) {
                const QByteArray reply = rest.mid(i, length);
                QVector<quint16> values;
                if (frame::checkReply(request, reply, &values).isEmpty()) {
                    r.kind = Reading::Kind::Reply;
                    r.values = values;
                } else if (frame::isExceptionReply(request, reply)) {
                    r.kind = Reading::Kind::Refusal;
                    r.refusalCode = static_cast<quint8>(reply[2]);
                }
                if (r.kind == Reading::Kind::Reply || r.kind == Reading::Kind::Refusal) {
                    answered = true;
                    r.replyMs = timeOfByte(p.heard, offset + i + length - 1);
                    r.late = p.answerWithinMs > 0 && r.replyMs > p.answerWithinMs;
                    i += length;
                    continue;
                }
            }
        }
        if (const int length = wholeFrameAt(rest, i)) {
            ++r.frames;
            r.frameSlaves.push_back(static_cast<quint8>(rest[i]));
            i += length;
            continue;
        }
        (rest[i] == 0 ? r.zeroBytes : r.otherBytes) += 1;
        ++i;
    }
    if (answered)
        return r;
    if (r.frames > 0)
        r.kind = Reading::Kind::Frames;
    else if (r.zeroBytes > 0 && r.otherBytes == 0)
        r.kind = Reading::Kind::Break;
    else
        r.kind = Reading::Kind::Garbled;
    return r;
}

bool statusLayoutFits(const QVector<quint16> &status)
{
    if (status.size() < regmap::kStatusBlock.count)
        return false;
    const quint16 bits = (1u << regmap::kInputCount) - 1;
    const quint16 version = status[regmap::kVersionOffset];
    return (status[regmap::kInputsOffset] & ~bits) == 0 && (status[regmap::kRelaysOffset] & ~bits) == 0 && version > 0
           && version <= 0xFF;
}

std::vector<LineFormat> scanFormats(const LineFormat &tried)
{
    std::vector<LineFormat> formats;
    for (const int baud : {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200})
        for (const Parity parity : {Parity::None, Parity::Even, Parity::Odd})
            if (!(LineFormat{baud, parity} == tried))
                formats.push_back({baud, parity});
    return formats;
}

Diagnosis judge(const std::vector<Probe> &probes, const LineFormat &tried, Scan speedScan, Scan addressScan)
{
    Diagnosis d;
    d.probes = probes;
    Evidence &e = d.evidence;
    e.tried = tried;
    e.addressFormat = tried;
    e.speedScan = speedScan;
    e.addressScan = addressScan;
    // An area counts as answered once any of its reads was; else as
    // refused with the last refusal, or unanswered.
    struct AreaSeen {
        bool answered = false;
        int refusal = 0;
    };
    std::map<std::pair<int, int>, AreaSeen> areas;
    std::vector<double> replyTimes;
    for (const Probe &p : probes) {
        if (p.errors)
            e.lineErrors = LineErrors{(e.lineErrors ? e.lineErrors->framing : 0) + p.errors->framing,
                                      (e.lineErrors ? e.lineErrors->parity : 0) + p.errors->parity,
                                      (e.lineErrors ? e.lineErrors->breaks : 0) + p.errors->breaks};
        const Reading r = interpret(p);
        if (p.kind == Probe::Kind::Listen) {
            e.listenMs += static_cast<int>(p.waitedUs / 1000);
            e.framesHeard += r.frames;
            for (const int slave : r.frameSlaves)
                if (std::find(e.slavesHeard.begin(), e.slavesHeard.end(), slave) == e.slavesHeard.end())
                    e.slavesHeard.push_back(slave);
            for (const HeardBytes &h : p.heard)
                e.bytesHeard += static_cast<int>(h.bytes.size());
            continue;
        }
        e.echo = e.echo || r.echo;
        e.breakBytes += r.zeroBytes;
        e.inverted = e.inverted || r.kind == Reading::Kind::Inverted;
        e.garbledBytes += r.otherBytes;
        switch (p.kind) {
        case Probe::Kind::Listen: break;
        case Probe::Kind::Status:
            e.timeoutMs = std::max(e.timeoutMs, p.answerWithinMs);
            if (r.late) {
                e.lateReplyMs = std::max(e.lateReplyMs, r.replyMs);
            } else if (r.kind == Reading::Kind::Reply) {
                e.answered = true;
                e.firmware = blocks::decodeStatus(r.values, static_cast<int>(r.values.size()))->firmware;
                e.otherLayout = !statusLayoutFits(r.values);
            } else if (r.kind == Reading::Kind::Refusal) {
                e.answered = true; // by a device that refuses the status block
                areas[{p.start, p.count}].refusal = r.refusalCode;
            }
            break;
        case Probe::Kind::Area: {
            AreaSeen &area = areas[{p.start, p.count}];
            area.answered = area.answered || r.kind == Reading::Kind::Reply;
            if (r.kind == Reading::Kind::Refusal)
                area.refusal = r.refusalCode;
            break;
        }
        case Probe::Kind::Repeat:
            ++e.statusReads;
            if (r.kind == Reading::Kind::Reply) {
                ++e.statusAnswered;
                replyTimes.push_back(r.replyMs);
            }
            break;
        case Probe::Kind::Speed:
            ++e.speedsTried;
            if (r.answered() && !e.answeredFormat)
                e.answeredFormat = p.format;
            break;
        case Probe::Kind::Address:
            ++e.addressesTried;
            e.addressFormat = p.format;
            if (r.answered() && !e.answeredSlave)
                e.answeredSlave = p.slave;
            break;
        }
    }
    bool areasProbed = false;
    for (const auto &[shape, area] : areas) {
        areasProbed = areasProbed || shape.first != regmap::kStatusBlock.start;
        if (!area.answered)
            e.refused.push_back({shape.first, shape.second, area.refusal});
    }
    if (!replyTimes.empty()) {
        e.replyMs = std::accumulate(replyTimes.begin(), replyTimes.end(), 0.0) / static_cast<double>(replyTimes.size());
        e.slowestMs = *std::max_element(replyTimes.begin(), replyTimes.end());
    }

    const bool scanned = isScanned(speedScan) && isScanned(addressScan);
    const bool strayBytes = e.breakBytes > 0 || e.inverted || e.garbledBytes > 0;
    if (e.framesHeard > 0) {
        d.verdict = Verdict::AnotherMaster;
        d.settled = true;
    } else if (!e.answered && e.lateReplyMs > 0) {
        d.verdict = Verdict::SlowReply;
        d.settled = true;
    } else if (e.answered) {
        // A refusal, or a status block this controller never holds, tells
        // another device at once; an area that only went unanswered does so
        // once the status reads show the line loses nothing.
        const bool refusal = e.otherLayout || std::any_of(e.refused.begin(), e.refused.end(),
                                                          [](const Refused &r) { return r.code != 0; });
        if (refusal) {
            d.verdict = Verdict::NotThisDevice;
            d.settled = true;
        } else if (e.statusAnswered < e.statusReads) {
            d.verdict = Verdict::Intermittent;
            d.settled = true;
        } else {
            d.verdict = e.refused.empty() ? Verdict::Healthy : Verdict::NotThisDevice;
            d.settled = areasProbed && e.statusReads > 0;
        }
    } else if (e.answeredFormat) {
        d.verdict = Verdict::OtherSpeed;
        d.settled = true;
    } else if (e.answeredSlave) {
        d.verdict = Verdict::OtherAddress;
        d.settled = true;
    } else if (e.echo && !strayBytes) {
        // The adapter hears itself; nothing behind it answers.
        d.verdict = Verdict::EchoOnly;
        d.settled = true;
    } else {
        d.verdict = strayBytes ? Verdict::LinesSwapped : Verdict::NoAnswer;
        d.settled = scanned;
    }
    return d;
}

Diagnosis portFailure(const PortOpenFailure &failure)
{
    Diagnosis d;
    d.verdict = Verdict::Port;
    d.settled = true;
    d.openFailure = failure;
    return d;
}

void notePorts(Diagnosis &d, const QList<ports::SystemPort> &present)
{
    QDateTime newest;
    for (const ports::SystemPort &p : present) {
        if (p.kind == ports::SystemPort::Kind::PhantomUart)
            continue;
        d.ports << p.device;
        if (p.appeared.isValid() && (!newest.isValid() || p.appeared > newest)) {
            newest = p.appeared;
            d.newestPort = p.device;
        }
    }
}

} // namespace doctor
