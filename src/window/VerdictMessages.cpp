#include "VerdictMessages.h"

#include "Messages.h"

#include <QStringList>

#include <algorithm>

namespace {

// The serial ports the system has, for a technician who may have chosen the wrong one.
QString portsLine(const doctor::Diagnosis &d)
{
    if (d.ports.isEmpty())
        return QString();
    return msg::verdictPorts(d.ports.join(msg::listSeparator()))
           + (d.newestPort.isEmpty() ? QString() : msg::verdictNewestPort(d.newestPort));
}

// What nothing answered, as far as the scans went.
QString nothingAnswered(const doctor::Diagnosis &d)
{
    const doctor::Evidence &e = d.evidence;
    if (!d.settled)
        return msg::verdictNothingAt(e.tried.text()) + (d.interrupted ? msg::verdictScanStopped() : QString());
    if (e.speedScan == doctor::Scan::Skipped)
        return msg::verdictNothingAtAnyAddress(e.tried.text());
    return msg::verdictNothingAnywhere();
}

QString notThisDevice(const doctor::Evidence &e)
{
    QStringList what;
    if (e.otherLayout)
        what << msg::verdictOtherLayout();
    QStringList requests;
    for (const doctor::Refused &r : e.refused)
        requests << (r.code ? msg::requestRefused(r.start, r.count, msg::exceptionName(r.code))
                            : msg::requestUnanswered(r.start, r.count));
    if (!requests.isEmpty())
        what << msg::verdictRefusedRegisters(requests.join(msg::listSeparator()));
    return msg::verdictNotThisDevice(what.join(msg::portDetailSeparator()));
}

} // namespace

QString lineVerdictMessage(const doctor::Diagnosis &d)
{
    const doctor::Evidence &e = d.evidence;
    QString words;
    switch (d.verdict) {
    case doctor::Verdict::Healthy:
        words = msg::verdictHealthy(e.firmware, e.statusAnswered, e.statusReads, qRound(e.replyMs));
        break;
    case doctor::Verdict::Port: words = msg::verdictPortFailed(d.openFailure ? d.openFailure->systemText : QString()); break;
    case doctor::Verdict::NoAnswer: words = nothingAnswered(d) + msg::adviceNoAnswer() + portsLine(d); break;
    case doctor::Verdict::EchoOnly: words = msg::verdictEchoOnly(); break;
    case doctor::Verdict::LinesSwapped:
        words = d.settled && e.speedScan != doctor::Scan::Skipped ? msg::verdictLinesSwapped()
                                                                   : msg::verdictLinesSwappedAt(e.tried.text());
        break;
    case doctor::Verdict::OtherSpeed:
        words = e.answeredFormat->parity == Parity::None
                    ? msg::verdictOtherSpeed(e.answeredFormat->text(), e.tried.text(), e.answeredFormat->baud)
                    : msg::verdictOtherParity(e.answeredFormat->text(), e.tried.baud);
        break;
    case doctor::Verdict::OtherAddress: words = msg::verdictOtherAddress(e.answeredSlave, e.addressFormat.text()); break;
    case doctor::Verdict::NotThisDevice: words = notThisDevice(e); break;
    case doctor::Verdict::AnotherMaster: {
        QStringList slaves;
        for (const int s : e.slavesHeard)
            slaves << QString::number(s);
        const double seconds = std::max(1, e.listenMs) / 1000.0;
        words = msg::verdictAnotherMaster(e.framesHeard, QString::number(seconds, 'f', 1), qRound(e.framesHeard / seconds),
                                          slaves.join(msg::listSeparator()));
        break;
    }
    case doctor::Verdict::Intermittent: {
        const int lost = e.statusReads - e.statusAnswered;
        words = msg::verdictIntermittent(lost, e.statusReads, qRound(100.0 * lost / std::max(1, e.statusReads)));
        break;
    }
    case doctor::Verdict::SlowReply: words = msg::verdictSlowReply(qRound(e.lateReplyMs), e.timeoutMs); break;
    }
    return words;
}
