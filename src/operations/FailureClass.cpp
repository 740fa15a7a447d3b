#include "FailureClass.h"

#include "DeviceSession.h"
#include "SerialLine.h"

#include <algorithm>

namespace failure {

namespace {

// A program that probes newly plugged serial ports among those that hold
// one: "ModemManager (pid 612)".
bool modemProbeAmong(const QStringList &holders)
{
    return std::any_of(holders.begin(), holders.end(), [](const QString &h) {
        return h.startsWith(QLatin1String("ModemManager")) || h.startsWith(QLatin1String("brltty"));
    });
}

} // namespace

Class classify(const params::Problem &problem)
{
    using params::Problem;
    switch (problem.kind) {
    case Problem::PasswordTooLong:
    case Problem::HoldsPasswordSeparator:
    case Problem::CommandTooLong:
    case Problem::SlotTextTooLong:
    case Problem::PhoneNotANumber:
    case Problem::Unsendable:
    case Problem::ActionTimeOutOfRange: return {Who::Entry, DeviceDid::NotAsked, Remedy::EditEntry};
    case Problem::CannotRead:
    case Problem::TooLarge:
    case Problem::NotJson:
    case Problem::NotAnObject:
    case Problem::WrongFormat:
    case Problem::VersionMissing:
    case Problem::VersionTooNew:
    case Problem::UnknownKey:
    case Problem::MissingKey:
    case Problem::WrongType:
    case Problem::TooManyPhones:
    case Problem::NotAFile:
    case Problem::DuplicateKey: break;
    }
    return {Who::File, DeviceDid::NotAsked, Remedy::FixFile};
}

Class classify(LinkFailure kind)
{
    switch (kind) {
    case LinkFailure::Silent: return {Who::Connection, DeviceDid::Nothing, Remedy::CheckConnection};
    case LinkFailure::Refused: return {Who::Device, DeviceDid::Refused, Remedy::None};
    case LinkFailure::Garbled: return {Who::Line, DeviceDid::Garbled, Remedy::CheckWiring};
    case LinkFailure::Unsure: return {Who::Line, DeviceDid::Unmatched, Remedy::CheckOtherMasters};
    case LinkFailure::Interrupted: return {Who::Operator, DeviceDid::NotAsked, Remedy::None};
    // The port closed under the link: an adapter pulled out, a device gone.
    case LinkFailure::NotOpen: return {Who::Port, DeviceDid::Port, Remedy::CheckConnection};
    case LinkFailure::Invalid:
    case LinkFailure::None: break;
    }
    return {Who::Program, DeviceDid::NotAsked, Remedy::None};
}

Class classify(const session::LinkProblem &problem)
{
    return classify(problem.kind);
}

Class classify(const PortOpenFailure &failure)
{
    using Cause = PortOpenFailure::Cause;
    Class c{Who::Port, DeviceDid::Port, Remedy::None};
    switch (failure.cause) {
    case Cause::LockedByAlarmcfg: c.remedy = Remedy::DisconnectOtherCopy; return c;
    case Cause::MarkedExclusive:
        c.remedy = modemProbeAmong(failure.holders) ? Remedy::KeepModemProbesAway : Remedy::ClearLeftBehindMark;
        return c;
    case Cause::Busy:
        // A program named as the holder: close it there.
        if (!failure.holders.isEmpty()) {
            c.remedy = Remedy::CloseOtherProgram;
            return c;
        }
        break;
    case Cause::NotADevice:
    case Cause::NoDevice:
    case Cause::NoPermission:
    case Cause::NoDriver:
    case Cause::Other: break;
    // A network port's causes say what to do themselves.
    case Cause::NoSuchHost:
    case Cause::Refused:
    case Cause::Unreachable:
    case Cause::TimedOut:
    case Cause::ServerBusy: return c;
    }
    switch (SerialLine::adviceFor(failure.cause)) {
    case OpenAdvice::None: break;
    case OpenAdvice::JoinDialoutGroup: c.remedy = Remedy::JoinDialoutGroup; break;
    case OpenAdvice::CloseOtherProgram: c.remedy = Remedy::CloseOtherProgram; break;
    case OpenAdvice::InstallAdapterDriver: c.remedy = Remedy::InstallAdapterDriver; break;
    }
    return c;
}

} // namespace failure
