#include "ProblemMessages.h"

#include "FailureClass.h"
#include "Messages.h"
#include "FieldTable.h"
#include "VisibleText.h"

#include <QStringList>

QString problemMessage(const params::Problem &p)
{
    using params::Problem;
    switch (p.kind) {
    case Problem::PasswordTooLong: return msg::passwordTooLong();
    case Problem::HoldsPasswordSeparator: return msg::holdsPasswordSeparator(params::fieldCaption(p.field));
    case Problem::CommandTooLong: return msg::commandTooLong();
    case Problem::SlotTextTooLong: return msg::slotTextTooLong();
    case Problem::PhoneNotANumber: return msg::phoneNotANumber(p.index + 1, p.detail);
    case Problem::Unsendable: return msg::unsendableCharacter(visible::characters(p.detail));
    case Problem::ActionTimeOutOfRange: return msg::actionTimeOutOfRange();
    case Problem::CannotRead: return msg::fileCannotBeRead(p.detail);
    case Problem::TooLarge: return msg::fileTooLarge();
    case Problem::NotJson: return msg::fileNotJson(p.detail);
    case Problem::NotAnObject: return msg::fileNotAnObject();
    case Problem::WrongFormat: return msg::fileWrongFormat(p.detail);
    case Problem::VersionMissing: return msg::fileVersionMissing();
    case Problem::VersionTooNew: return msg::fileVersionTooNew(p.detail);
    case Problem::UnknownKey: return msg::fileUnknownKey();
    case Problem::MissingKey: return msg::fileMissingKey();
    case Problem::WrongType: return msg::fileWrongType(p.detail);
    case Problem::TooManyPhones: return msg::fileTooManyPhones(p.detail);
    case Problem::NotAFile: return msg::fileNotRegular(fileKindName(static_cast<filekind::Kind>(p.index)));
    case Problem::DuplicateKey: return msg::fileDuplicateKey();
    }
    return p.detail;
}

QString fileKindName(filekind::Kind kind)
{
    using filekind::Kind;
    switch (kind) {
    case Kind::Directory: return msg::fileKindFolder();
    case Kind::CharacterDevice: return msg::fileKindCharacterDevice();
    case Kind::BlockDevice: return msg::fileKindBlockDevice();
    case Kind::Fifo: return msg::fileKindFifo();
    case Kind::Socket: return msg::fileKindSocket();
    case Kind::Missing:
    case Kind::Regular:
    case Kind::Unknown: break;
    }
    return msg::fileKindUnknown();
}

QString saveFailureMessage(const safefile::Failure &failure)
{
    switch (failure.cause) {
    case safefile::Failure::Cause::NotAFile: return msg::saveNotRegular(fileKindName(failure.kind));
    case safefile::Failure::Cause::DanglingLink: return msg::saveDanglingLink(failure.linkTarget);
    case safefile::Failure::Cause::System: break;
    }
    return failure.systemText;
}

QString fileProblemLines(const std::vector<params::Problem> &problems)
{
    QStringList lines;
    for (const params::Problem &p : problems) {
        // A field of the window is named as the window names it, next to its path in the file.
        const QString caption = params::fieldCaption(p.field);
        if (p.field.isEmpty())
            lines << problemMessage(p);
        else if (caption != p.field)
            lines << msg::fileProblemOfField(caption, p.field, problemMessage(p));
        else
            lines << msg::fileProblemAt(p.field, problemMessage(p));
    }
    return lines.join(u'\n');
}

namespace {

QString refusedRequest(const session::LinkProblem &p)
{
    return msg::requestRefused(p.request.start, p.request.count, msg::exceptionName(p.refusalCode));
}

// What the operator can do when the line gave back nothing to believe.
QString lineAdvice(failure::Remedy remedy)
{
    return remedy == failure::Remedy::CheckOtherMasters ? msg::adviceCheckOtherMasters() : msg::adviceCheckWiring();
}

// Bytes that were no whole reply, or answers that could not be matched:
// what came back, then what to do.
QString untrusted(const failure::Class &c)
{
    return (c.did == failure::DeviceDid::Garbled ? msg::noWholeReply() : msg::answersUnmatched()) + lineAdvice(c.remedy);
}

} // namespace

QString readFailureMessage(const session::LinkProblem &p)
{
    const failure::Class c = failure::classify(p);
    switch (c.did) {
    case failure::DeviceDid::Refused: return msg::readRefused(refusedRequest(p));
    case failure::DeviceDid::Garbled:
    case failure::DeviceDid::Unmatched: return msg::readFailedBecause(untrusted(c));
    default: return msg::readFailed();
    }
}

QString writeFailureMessage(const session::LinkProblem &p, int confirmed, int total)
{
    const failure::Class c = failure::classify(p);
    QString cause;
    switch (c.did) {
    case failure::DeviceDid::Refused: cause = msg::writeRefused(refusedRequest(p)); break;
    case failure::DeviceDid::Garbled:
    case failure::DeviceDid::Unmatched: cause = msg::writeFailedBecause(untrusted(c)); break;
    default: cause = msg::writeFailed(); break;
    }
    return cause + u'\n' + msg::writesConfirmed(confirmed, total);
}

QString linkProblemLine(const session::LinkProblem &p)
{
    const failure::Class c = failure::classify(p);
    switch (c.did) {
    case failure::DeviceDid::Refused: return msg::deviceRefused(refusedRequest(p));
    case failure::DeviceDid::Garbled:
    case failure::DeviceDid::Unmatched: return untrusted(c);
    default: return msg::deviceSilent();
    }
}
