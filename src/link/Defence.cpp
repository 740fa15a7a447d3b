#include "Defence.h"

#include <algorithm>

namespace {

QString tr(const char *text)
{
    return ModbusLink::tr(text);
}

// An operation's nesting, for the replies it must remember.
class Operation {
public:
    explicit Operation(int &depth) : m_depth(depth) { ++m_depth; }
    ~Operation() { --m_depth; }
    Operation(const Operation &) = delete;
    Operation &operator=(const Operation &) = delete;

private:
    int &m_depth;
};

} // namespace

Defence::Defence(ModbusLink &link) : m_link(link)
{
    m_clock.start();
}

void Defence::reset()
{
    m_outOfStep = false;
    m_readCounts.clear();
    m_refusedShapes.clear();
    m_checkKnown.clear();
    m_checkRound = 0;
    m_taken.clear();
}

void Defence::depart(const QString &what)
{
    ++m_departures;
    m_link.trace("DROP", what);
}

void Defence::fail(LinkFailure failure, const QString &error, int refusalCode)
{
    m_link.setFailure(failure, error, refusalCode);
}

void Defence::weigh(const LineAnswer &a)
{
    if (a.bytesBefore)
        depart(tr("%1 bytes that came after the last reply").arg(a.bytesBefore));
    if (a.echoBegan)
        depart(tr("the adapter began to send each request back"));
    if (a.echoEnded)
        depart(tr("the adapter no longer sends each request back"));
    if (a.reconnected) {
        // What was on its way when the connection dropped may yet come.
        depart(tr("the connection to the line was made again"));
        m_outOfStep = true;
    }
}

LineAnswer Defence::once(const LinkRequest &request)
{
    m_link.m_request = {request.isWrite(), request.start, request.count};
    if (m_outOfStep && !bringInStep()) {
        LineAnswer a;
        a.failure = m_link.lastFailure();
        a.error = m_link.lastError();
        a.refusalCode = m_link.refusalCode();
        return a;
    }
    if (request.function == LinkRequest::Function::Read) {
        m_readCounts.insert(request.count);
    } else {
        // What a check found there no longer holds once a write is sent.
        m_checkKnown.erase(m_checkKnown.lower_bound(request.start),
                           m_checkKnown.lower_bound(request.start + request.count));
    }
    LineAnswer a = m_link.transact(request, ModbusLink::Waiting::Discard);
    weigh(a);
    if (!a.ok() && a.failure != LinkFailure::Refused && a.failure != LinkFailure::NotOpen) {
        // A failed exchange may have left a reply on its way.
        ++m_departures;
        m_outOfStep = true;
    }
    fail(a.failure, a.error, a.refusalCode);
    return a;
}

LineAnswer Defence::exchange(const LinkRequest &request, int attempts)
{
    for (int attempt = 1;; ++attempt) {
        LineAnswer a = once(request);
        if (a.ok() && request.function == LinkRequest::Function::Read && m_link.watchesLine())
            remember(a.frame, request);
        if (a.ok() || attempt >= attempts || !m_link.isOpen() || m_link.interrupted()
            || a.failure == LinkFailure::Interrupted)
            return a;
        m_link.trace("RETRY", tr("%1, attempt %2 of %3").arg(request.describe()).arg(attempt + 1).arg(attempts));
    }
}

bool Defence::inStep()
{
    return !m_outOfStep || bringInStep();
}

bool Defence::bringInStep()
{
    if (!m_link.watchesLine()) {
        m_outOfStep = false;
        return true;
    }
    for (int attempt = 1; attempt <= kCheckAttempts; ++attempt) {
        if (const int drained = m_link.drainLine())
            depart(tr("%1 bytes while waiting for the line to fall quiet").arg(drained));
        if (m_link.interrupted()) {
            fail(LinkFailure::Interrupted, tr("interrupted"));
            return false;
        }
        switch (checkUntilAnswered(true)) {
        case Check::AnsweredFirst: m_outOfStep = false; return true;
        case Check::NoAnswer:
            // Silence proves the device gone: no point in asking again now.
            if (m_link.lastFailure() != LinkFailure::Garbled && m_link.lastFailure() != LinkFailure::Unsure)
                return false;
            break;
        case Check::OtherFirst:
        case Check::Refused: break;
        }
    }
    return false;
}

bool Defence::fence()
{
    if (!m_link.watchesLine())
        return true;
    if (m_outOfStep || !m_link.isOpen())
        return false;
    // No flush first: whatever came after the reply is the evidence.
    if (checkUntilAnswered(false) == Check::AnsweredFirst)
        return true;
    ++m_departures;
    m_outOfStep = true;
    return false;
}

std::optional<RegisterBlock> Defence::peekCheckShape(int *round) const
{
    const std::vector<RegisterBlock> &shapes = m_link.profile().checkShapes;
    const int n = static_cast<int>(shapes.size());
    // A count the tool reads too could pass a late reply for the answer: such
    // a shape is taken only when no other is left.
    for (int pass = 0; pass < 2; ++pass) {
        for (int i = 0; i < n; ++i) {
            const RegisterBlock &s = shapes[(m_checkRound + i) % n];
            if (!m_refusedShapes.count({s.start, s.count}) && (pass == 1 || !m_readCounts.count(s.count))) {
                *round = (m_checkRound + i + 1) % n;
                return s;
            }
        }
    }
    return std::nullopt;
}

std::optional<RegisterBlock> Defence::nextCheckShape()
{
    int round = m_checkRound;
    const std::optional<RegisterBlock> shape = peekCheckShape(&round);
    m_checkRound = round;
    return shape;
}

void Defence::giveUpShape(const RegisterBlock &shape, const QString &why)
{
    m_refusedShapes.insert({shape.start, shape.count});
    int round = m_checkRound;
    const std::optional<RegisterBlock> next = peekCheckShape(&round);
    m_link.trace("SYNC", next ? tr("the device %1 check read %2x%3: the checks read %4x%5 from now on")
                                    .arg(why)
                                    .arg(shape.start)
                                    .arg(shape.count)
                                    .arg(next->start)
                                    .arg(next->count)
                              : tr("the device %1 check read %2x%3, the last shape left: all of them are tried again")
                                    .arg(why)
                                    .arg(shape.start)
                                    .arg(shape.count));
    // Every shape given up: a device that was only silent for a while may
    // answer them again.
    if (!next)
        m_refusedShapes.clear();
}

Defence::Check Defence::checkUntilAnswered(bool dropOthers)
{
    const std::vector<RegisterBlock> &shapes = m_link.profile().checkShapes;
    if (shapes.empty()) {
        fail(LinkFailure::Invalid, tr("no check read is known for this device"));
        return Check::NoAnswer;
    }
    int garbled = 0;
    for (size_t tries = 0; tries < shapes.size() + kCheckAttempts; ++tries) {
        const Check c = checkRead(dropOthers, std::nullopt);
        if (c == Check::Refused)
            continue;
        if (c == Check::NoAnswer && m_link.lastFailure() == LinkFailure::Silent && !m_link.interrupted()) {
            // Silence proves nothing yet: the device may be gone, or ignore
            // this shape alone. The last shape, one of the full read's own,
            // tells them apart: answered right after, the other is given up.
            const RegisterBlock silent = m_lastShape;
            const RegisterBlock last = shapes.back();
            if (silent.start == last.start && silent.count == last.count)
                return c;
            const Check other = checkRead(dropOthers, last);
            if (other == Check::AnsweredFirst)
                giveUpShape(silent, tr("did not answer, while it answered the check read %1x%2 right after,")
                                        .arg(last.start)
                                        .arg(last.count));
            return other == Check::Refused ? Check::NoAnswer : other;
        }
        if (c == Check::NoAnswer && !m_link.interrupted() && ++garbled < kCheckAttempts)
            continue; // a garbled answer proves nothing either way
        return c;
    }
    return Check::NoAnswer;
}

bool Defence::fitsKnownContent(const RegisterBlock &shape, const QVector<quint16> &values) const
{
    for (int k = 0; k < values.size(); ++k) {
        const auto known = m_checkKnown.find(shape.start + k);
        if (known != m_checkKnown.end() && known->second != values[k])
            return false;
    }
    return true;
}

Defence::Check Defence::checkRead(bool dropOthers, std::optional<RegisterBlock> forced)
{
    const std::optional<RegisterBlock> shape = forced ? forced : nextCheckShape();
    if (!shape) {
        fail(LinkFailure::Refused, tr("the device answers none of the check reads"));
        return Check::NoAnswer;
    }
    m_lastShape = *shape;
    const LinkRequest request = LinkRequest::read(shape->start, shape->count);
    m_link.trace("SYNC", tr("check read %1x%2").arg(shape->start).arg(shape->count));
    QElapsedTimer waited;
    waited.start();
    // Replies to earlier requests may still come first; each is dropped.
    LineAnswer a = m_link.transact(request, ModbusLink::Waiting::Keep);
    for (int late = 0;; ++late) {
        weigh(a);
        if (a.ok()) {
            if (fitsKnownContent(*shape, a.values)) {
                for (int k = 0; k < a.values.size(); ++k)
                    m_checkKnown[shape->start + k] = a.values[k];
                m_link.trace("SYNC", tr("answered first, after %1 ms: the line is in step").arg(waited.elapsed()));
                return Check::AnsweredFirst;
            }
            m_link.trace("SYNC", tr("a reply of the check's length that does not hold what the check found before"));
            a.wellFormed = true;
        } else if (a.failure == LinkFailure::Refused) {
            // An exception is an answer: the device refuses this shape.
            giveUpShape(*shape, tr("refused (%1)").arg(a.error));
            fail(LinkFailure::Refused, tr("the device refused a check read"), a.refusalCode);
            return Check::Refused;
        } else if (a.frame.isEmpty()) {
            // Nothing, or bytes that never made a frame.
            if (a.failure == LinkFailure::Interrupted || a.failure == LinkFailure::NotOpen || a.lineFailed) {
                fail(a.failure, a.error);
            } else {
                fail(a.failure, a.failure == LinkFailure::Silent
                                    ? tr("the line is not quiet: no answer to a check read within %1 ms").arg(m_link.settings().responseTimeoutMs)
                                    : tr("no whole answer to a check read: %1").arg(a.error));
            }
            m_link.trace("SYNC", m_link.lastError());
            return Check::NoAnswer;
        }
        // Only this frame: what followed it may be the answer.
        depart(tr("%1 frame before a check's answer: %2").arg(a.wellFormed ? tr("late") : tr("garbled"), a.error));
        if (!dropOthers) {
            fail(a.wellFormed ? LinkFailure::Unsure : LinkFailure::Garbled,
                 a.wellFormed ? tr("another reply came before the answer to a check read")
                              : tr("a garbled frame came before the answer to a check read"));
            return a.wellFormed ? Check::OtherFirst : Check::NoAnswer;
        }
        if (late >= kMostFramesBeforeAnswer) {
            fail(LinkFailure::Unsure, tr("frames keep coming before the answer to a check read"));
            m_link.trace("SYNC", m_link.lastError());
            return Check::NoAnswer;
        }
        a = m_link.receiveAgain(request);
    }
}

void Defence::forgetOldReplies()
{
    const qint64 now = m_clock.elapsed();
    while (!m_taken.empty() && now - m_taken.front().atMs > kRememberRepliesMs)
        m_taken.pop_front();
}

bool Defence::takenBefore(const QByteArray &frame, const LinkRequest &request) const
{
    return std::any_of(m_taken.begin(), m_taken.end(),
                       [&](const Taken &t) { return t.frame == frame && !t.request.sameAs(request); });
}

void Defence::remember(const QByteArray &frame, const LinkRequest &request)
{
    if (m_operations == 0)
        forgetOldReplies();
    m_taken.push_back({frame, request, m_clock.elapsed()});
}

bool Defence::confirmBlock(ModbusLink::BlockValues &block, int count)
{
    const LinkRequest request = LinkRequest::read(block.start, count);
    const int attempts = std::max(1, m_link.settings().attempts);
    QVector<quint16> previous = block.values;
    LinkFailure why = LinkFailure::Unsure;
    QString detail;
    for (int attempt = 1; attempt <= attempts; ++attempt) {
        if (m_link.interrupted()) {
            fail(LinkFailure::Interrupted, tr("interrupted"));
            return false;
        }
        const LineAnswer again = once(request);
        if (!again.ok()) {
            why = again.failure;
            detail = again.error;
            m_link.trace("CONFIRM", tr("%1: no answer (%2), attempt %3 of %4")
                                        .arg(request.describe(), again.error)
                                        .arg(attempt)
                                        .arg(attempts));
            if (why == LinkFailure::Interrupted || why == LinkFailure::NotOpen)
                return false;
            continue;
        }
        if (!fence()) {
            why = LinkFailure::Unsure;
            m_link.trace("CONFIRM",
                         tr("%1: another frame came behind the reply, which may not be this read's (attempt %2 of %3)")
                             .arg(request.describe())
                             .arg(attempt)
                             .arg(attempts));
            continue;
        }
        if (again.values == previous) {
            m_link.trace("CONFIRM", tr("%1: the same as before").arg(request.describe()));
            block.values = again.values;
            return true;
        }
        why = LinkFailure::Unsure;
        m_link.trace("CONFIRM", tr("%1: differs from the read before, reading again (attempt %2 of %3)")
                                    .arg(request.describe())
                                    .arg(attempt)
                                    .arg(attempts));
        previous = again.values;
    }
    // A device that stopped answering, or refuses the read, says so; only
    // answers that never agreed are the line's doing.
    if (why == LinkFailure::Unsure)
        fail(why, tr("%1 never came back the same twice: the replies on the line cannot be trusted").arg(request.describe()));
    else
        fail(why, tr("%1 failed while confirming it: %2").arg(request.describe(), detail), m_link.refusalCode());
    m_link.trace("CONFIRM", m_link.lastError());
    return false;
}

bool Defence::confirmAll(std::vector<ModbusLink::BlockValues> &read, const std::vector<ModbusLink::ReadBlock> &blocks)
{
    m_link.trace("CONFIRM", tr("the replies of this read departed from one to each request: every block is read again"));
    // The replies still on their way go before the first check, and the
    // blocks are checked last to first: a run of replies shifted by one in the
    // first pass cannot be repeated the same way.
    m_outOfStep = true;
    for (size_t i = read.size(); i-- > 0;)
        if (!confirmBlock(read[i], blocks[i].count))
            return false;
    return true;
}

std::optional<std::vector<ModbusLink::BlockValues>> Defence::read(const std::vector<ModbusLink::ReadBlock> &blocks,
                                                                  const std::function<void(int, int)> &progress)
{
    Operation operation(m_operations);
    forgetOldReplies();
    const int attempts = std::max(1, m_link.settings().attempts);
    const quint64 departuresBefore = m_departures;
    const bool watching = m_link.watchesLine();
    std::vector<ModbusLink::BlockValues> read;
    read.reserve(blocks.size());
    std::vector<size_t> unproven;   // used blocks whose reply may be a copy
    bool unusedUnproven = false;    // since the last fence
    for (const ModbusLink::ReadBlock &b : blocks) {
        // A shift that began on an unused block must not reach a used one:
        // a reply still on its way behind it comes before the fence's answer.
        if (b.used && unusedUnproven) {
            unusedUnproven = false;
            if (m_departures == departuresBefore && !fence())
                m_link.trace("PROVE", tr("a frame came behind the unused blocks read before %1").arg(b.start));
        }
        const LinkRequest request = LinkRequest::read(b.start, b.count);
        const LineAnswer a = exchange(request, attempts);
        if (!a.ok())
            return std::nullopt;
        if (watching && takenBefore(a.frame, request)) {
            m_link.trace("PROVE", tr("%1 came back byte for byte as a reply taken before for another request")
                                      .arg(request.describe()));
            if (b.used)
                unproven.push_back(read.size());
            else
                unusedUnproven = true;
        }
        read.push_back({b.start, a.values});
        if (progress)
            progress(static_cast<int>(read.size()), static_cast<int>(blocks.size()));
    }
    // A reply names no request. One that came twice, late or from nowhere
    // shifts every reply after it onto the wrong request, and shows only as
    // a departure somewhere in the read, or as a frame still on its way after
    // the last reply, which the fence catches; one that stood in for a reply
    // that never came shows only as a repeated reply.
    bool sure = m_departures == departuresBefore && fence();
    if (sure && !unproven.empty()) {
        m_link.trace("PROVE", tr("%1 replies came as replies taken before: their blocks are read again")
                                  .arg(unproven.size()));
        for (auto i = unproven.rbegin(); sure && i != unproven.rend(); ++i) {
            const ModbusLink::ReadBlock &b = blocks[*i];
            const LineAnswer again = exchange(LinkRequest::read(b.start, b.count), attempts);
            if (!again.ok())
                return std::nullopt;
            if (again.values != read[*i].values) {
                depart(tr("read %1x%2 does not read back as it was taken: the reply taken was not its own")
                           .arg(b.start)
                           .arg(b.count));
                sure = false;
            }
        }
        // A reply shifted in the proofs reads as another block's, or is
        // one they all hold anyway.
        sure = sure && m_departures == departuresBefore;
    }
    if (!sure && !confirmAll(read, blocks))
        return std::nullopt;
    fail(LinkFailure::None, QString());
    return read;
}

std::optional<std::vector<ModbusLink::RegisterMismatch>> Defence::readBack(const std::vector<ModbusLink::BlockWrite> &writes,
                                                                           const std::vector<size_t> &which,
                                                                           const std::function<void(int, int)> &progress)
{
    std::vector<ModbusLink::ReadBlock> parts;
    const int maxRead = std::max(1, m_link.profile().maxReadCount);
    for (size_t i : which) {
        const ModbusLink::BlockWrite &w = writes[i];
        if (!w.readBack.empty()) {
            for (const RegisterBlock &p : w.readBack)
                parts.push_back({p.start, p.count, true});
            continue;
        }
        const int end = w.start + static_cast<int>(w.registers.size());
        for (int at = w.start; at < end; at += maxRead)
            parts.push_back({at, std::min(maxRead, end - at), true});
    }
    const std::optional<std::vector<ModbusLink::BlockValues>> got = read(parts, progress);
    if (!got)
        return std::nullopt;
    std::map<int, quint16> device;
    for (const ModbusLink::BlockValues &b : *got)
        for (int k = 0; k < b.values.size(); ++k)
            device[b.start + k] = b.values[k];
    std::vector<ModbusLink::RegisterMismatch> differ;
    for (size_t i : which) {
        const ModbusLink::BlockWrite &w = writes[i];
        for (int k = 0; k < w.registers.size(); ++k)
            if (device[w.start + k] != w.registers[k])
                differ.push_back({w.start + k, w.registers[k], device[w.start + k], static_cast<int>(i)});
    }
    return differ;
}

bool Defence::writtenAsRead(const std::vector<ModbusLink::BlockWrite> &writes, const std::vector<size_t> &which,
                            int *written)
{
    const std::optional<std::vector<ModbusLink::RegisterMismatch>> differ = readBack(writes, which, {});
    if (!differ) {
        *written = static_cast<int>(which.front());
        fail(m_link.lastFailure(), tr("the writes could not be read back: %1").arg(m_link.lastError()),
             m_link.refusalCode());
        return false;
    }
    if (differ->empty())
        return true;
    const ModbusLink::RegisterMismatch &m = differ->front();
    *written = m.write;
    fail(LinkFailure::Unsure, tr("register %1 reads back 0x%2 after it was written with 0x%3")
                                  .arg(m.address)
                                  .arg(m.read, 4, 16, QLatin1Char('0'))
                                  .arg(m.written, 4, 16, QLatin1Char('0')));
    return false;
}

ModbusLink::WriteResult Defence::write(const std::vector<ModbusLink::BlockWrite> &writes,
                                       const std::function<bool(int)> &next)
{
    Operation operation(m_operations);
    forgetOldReplies();
    const int attempts = std::max(1, m_link.settings().attempts);
    const quint64 departuresBefore = m_departures;
    ModbusLink::WriteResult result;
    std::vector<size_t> unproven; // single writes answered by their own bytes alone
    for (const ModbusLink::BlockWrite &w : writes) {
        const LinkRequest request = w.single ? LinkRequest::writeSingle(w.start, w.registers.value(0))
                                             : LinkRequest::writeBlock(w.start, w.registers);
        const LineAnswer a = exchange(request, attempts);
        if (w.single)
            emit m_link.WriteDone();
        if (!a.ok())
            return result;
        if (a.ownBytesOnly)
            unproven.push_back(static_cast<size_t>(result.confirmed));
        ++result.confirmed;
        if (next && !next(result.confirmed) && result.confirmed < static_cast<int>(writes.size())) {
            fail(LinkFailure::Interrupted, tr("interrupted"));
            return result;
        }
    }
    // A single write answered by its own bytes alone is taken only once a
    // read shows the line does not echo now: an adapter that began to echo
    // sends the check's request back before its answer.
    if (!unproven.empty() && m_departures == departuresBefore) {
        m_link.trace("PROVE", tr("%1 single writes were answered by their own bytes alone: a check read shows "
                                 "whether the line echoes now")
                                  .arg(unproven.size()));
        fence();
    }
    // A write's echo names its own request, but a run with any departure from
    // one reply to each request is not taken on its echoes alone.
    if (m_departures != departuresBefore) {
        m_link.trace("CONFIRM", tr("the echoes of this write departed from one to each request: the written registers are read back"));
        std::vector<size_t> all;
        for (size_t i = 0; i < writes.size(); ++i)
            all.push_back(i);
        int written = static_cast<int>(writes.size());
        if (!writtenAsRead(writes, all, &written)) {
            result.confirmed = std::min(result.confirmed, written);
            return result;
        }
    }
    result.ok = true;
    fail(LinkFailure::None, QString());
    return result;
}
