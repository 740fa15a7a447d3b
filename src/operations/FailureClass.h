#pragma once
// Why something failed, classified once for both programs: who failed, what
// the device did, and what the operator can do about it. The window
// (ProblemMessages.cpp, PortInfo.cpp) and the command line (CliText.cpp)
// only word a class, each in its own language. The link's own words stay in
// its error (LinkProblem::error) and in the trace: a class never carries them.

#include "ModbusLink.h"
#include "Problem.h"

namespace session {
struct LinkProblem;
}

namespace failure {

// Whom the message blames.
enum class Who {
    Entry,      // a value of the set that the device cannot take: the write's checks
    File,       // a file: it cannot be read, or holds no configuration
    Port,       // the port: the system, a driver or another program keeps it from us
    Connection, // nothing came back: the cable, the adapter, the port chosen, the device's power
    Line,       // bytes came back, but nothing that can be believed: the wiring, noise, another master
    Device,     // the device answered, and refused
    Operator,   // the operator stopped it
    Program,    // a request this program never sends
};

// What the device did, as far as the line tells.
enum class DeviceDid {
    NotAsked,  // nothing was asked of it (a check, a file), or the wait was stopped
    Port,      // the port itself failed: it did not open, or is no longer open
    Nothing,   // nothing came back
    Refused,   // it answered with a refusal (a Modbus exception)
    Garbled,   // bytes came that were no whole reply to the request
    Unmatched, // answers came that could not be matched to their requests
};

// What the operator can do about it, beyond what the cause says.
enum class Remedy {
    None,
    EditEntry,            // correct the value the problem names
    FixFile,              // correct the file, or choose another
    CheckConnection,      // the cable, the port chosen and the device's power
    CheckWiring,          // A and B the right way round, noise on the line, the RS-485 adapter
    CheckOtherMasters,    // another master on the line, or an adapter that repeats frames
    JoinDialoutGroup,     // Linux: serial devices belong to the dialout group
    CloseOtherProgram,    // Windows: a port is one program's at a time
    InstallAdapterDriver, // Windows: USB serial chips need their vendor's driver
    DisconnectOtherCopy,  // another copy of this tool holds the port: disconnect it there
    KeepModemProbesAway,  // ModemManager or brltty opened a newly plugged port
    ClearLeftBehindMark,  // a program that ended left the exclusive mark: close the others, or replug
};

struct Class {
    Who who = Who::Program;
    DeviceDid did = DeviceDid::NotAsked;
    Remedy remedy = Remedy::None;
    friend bool operator==(const Class &a, const Class &b)
    {
        return a.who == b.who && a.did == b.did && a.remedy == b.remedy;
    }
};

Class classify(const params::Problem &problem);
Class classify(const session::LinkProblem &problem);
Class classify(LinkFailure kind);
// The platform's advice (SerialLine::adviceFor) is part of the class, and
// so is the rule that tells a port opened by a modem probe (ModemManager,
// brltty) from one whose exclusive mark a program that ended left behind.
Class classify(const PortOpenFailure &failure);

} // namespace failure
