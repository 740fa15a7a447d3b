#include "ProblemMessages.h"

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

QString refusedRequest(const ModbusLink &link)
{
    const ModbusLink::Request r = link.lastRequest();
    return msg::requestRefused(r.start, r.count, msg::exceptionName(link.refusalCode()));
}

} // namespace

QString readFailureMessage(const ModbusLink &link)
{
    switch (link.lastFailure()) {
    case LinkFailure::Refused: return msg::readRefused(refusedRequest(link));
    case LinkFailure::Garbled:
    case LinkFailure::Unsure: return msg::readUntrusted();
    default: return msg::readFailed();
    }
}

QString writeFailureMessage(const ModbusLink &link, int confirmed, int total)
{
    QString cause;
    switch (link.lastFailure()) {
    case LinkFailure::Refused: cause = msg::writeRefused(refusedRequest(link)); break;
    case LinkFailure::Garbled:
    case LinkFailure::Unsure: cause = msg::writeUntrusted(); break;
    default: cause = msg::writeFailed(); break;
    }
    return cause + u'\n' + msg::writesConfirmed(confirmed, total);
}

QString linkProblemLine(const ModbusLink &link)
{
    switch (link.lastFailure()) {
    case LinkFailure::Refused: return msg::deviceRefused(refusedRequest(link));
    case LinkFailure::Garbled:
    case LinkFailure::Unsure: return msg::deviceUntrusted();
    default: return msg::deviceSilent();
    }
}
