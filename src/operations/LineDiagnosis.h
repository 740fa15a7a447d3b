#pragma once
// The line doctor's findings as data: what each probe sent and what came back
// (bytes and times), what the bytes mean, and the one verdict drawn from them.
// How the probes are run is LineDoctor.cpp's (DeviceSession::diagnose); how
// bytes become a verdict is LineVerdict.cpp's, pure code tested with recorded
// probes. The window and alarmcfg-cli only word a diagnosis.

#include "ModbusLink.h"
#include "PortResolver.h"

#include <QString>
#include <QVector>

#include <optional>
#include <vector>

namespace doctor {

// The causes, each with a stable code (verdictCode) for scripts and the manual.
enum class Verdict {
    Healthy,       // the controller answers every area, and every status read
    Port,          // the port did not open
    NoAnswer,      // nothing came back at any speed or address tried
    EchoOnly,      // only the tool's own requests came back
    LinesSwapped,  // a break, 0x00 bytes or bytes that are no frame, and no reply anywhere
    OtherSpeed,    // the controller answers at another rate or parity
    OtherAddress,  // a device answers at another slave address
    NotThisDevice, // a device answers as slave 1 but refuses the controller's areas or holds another layout
    AnotherMaster, // frames the tool did not ask for pass while it is silent
    Intermittent,  // it answers, but loses a share of the requests
    SlowReply,     // it answers, but later than the tool waits for a reply
};
QString verdictCode(Verdict verdict); // "healthy", "no-answer", ...
std::optional<Verdict> verdictFromCode(const QString &code);
// Every verdict, in the order above.
std::vector<Verdict> allVerdicts();

// One probe as it went: what was sent, at which format and to whom, and
// everything that came back with its time.
struct Probe {
    enum class Kind {
        Listen,  // nothing sent: what passes on the line
        Status,  // the status block, slave 1, at the format the tool uses
        Area,    // one read in another of the controller's areas
        Repeat,  // the status block again, for the share answered and the time
        Speed,   // the status block at another format
        Address, // one register from another slave
    };
    Kind kind = Kind::Listen;
    LineFormat format;
    quint8 slave = 0;  // 0 for listening
    int start = 0;
    int count = 0;
    QByteArray sent;   // the frame with its CRC; empty for listening
    std::vector<HeardBytes> heard;
    qint64 waitedUs = 0;
    // An answer counts only within this time; one after it is late. 0: any
    // answer within the wait counts.
    int answerWithinMs = 0;
    std::optional<LineErrors> errors; // counted during the probe, where the line counts
};
QString probeKindName(Probe::Kind kind); // "listen", "status", ...

// What the bytes that came back for one probe are.
struct Reading {
    enum class Kind {
        Nothing,  // not a byte
        Echo,     // the request itself, byte for byte, and nothing after it
        Reply,    // the answer of the slave asked, with the registers asked for
        Refusal,  // the slave asked answered with a Modbus exception
        Break,    // 0x00 bytes only: the line held low, as a break
        Inverted, // the request with every bit inverted
        Frames,   // whole frames, none of them the answer: another master's traffic
        Garbled,  // bytes that are none of these
    };
    Kind kind = Kind::Nothing;
    bool echo = false;           // the request came back first
    bool late = false;           // the answer came after the probe's answerWithinMs
    QVector<quint16> values;     // a reply's registers
    int refusalCode = 0;
    double replyMs = 0;          // when the answer's last byte came
    int frames = 0;              // whole frames that are not the answer
    std::vector<int> frameSlaves;
    int zeroBytes = 0;           // 0x00 bytes where no frame was
    int otherBytes = 0;          // other bytes where no frame was
    // An answer in time.
    bool answered() const { return (kind == Kind::Reply || kind == Kind::Refusal) && !late; }
};
Reading interpret(const Probe &probe);

// How far a scan went.
enum class Scan {
    NotRun,  // not needed, or only the quick probes were asked for
    Done,    // every step tried, nothing answered
    Found,   // stopped at the step that answered
    Skipped, // the line cannot do it: a tcp:// port's speed is set at the server
    Stopped, // the time limit or the operator ended it first
};
QString scanName(Scan scan); // "not-run", "done", ...

// A read of one of the controller's areas that did not come back as a reply.
struct Refused {
    int start = 0;
    int count = 0;
    int code = 0; // the Modbus exception; 0 when no answer came at all
};

// What the probes found, as the verdict's words need it.
struct Evidence {
    LineFormat tried;          // the format the tool uses, tried first with slave 1
    // Listening first, with nothing sent.
    int listenMs = 0;
    int framesHeard = 0;       // whole frames that passed meanwhile
    std::vector<int> slavesHeard;
    int bytesHeard = 0;
    // The probes at the format tried and the scans, all together.
    bool echo = false;         // requests came back byte for byte
    int breakBytes = 0;        // 0x00 bytes where a reply belonged
    bool inverted = false;     // requests came back inverted
    int garbledBytes = 0;      // other bytes that were no frame
    // Slave 1 at the format tried.
    bool answered = false;
    int timeoutMs = 0;         // how long the tool waits for a reply
    double lateReplyMs = 0;    // an answer that came after that, this long after its request
    QString firmware;          // "V1.5", from the status block
    bool otherLayout = false;  // the status block holds what this controller never holds
    std::vector<Refused> refused;
    int statusReads = 0;       // of the repeated status reads
    int statusAnswered = 0;
    double replyMs = 0;        // their mean time from request to the reply's last byte
    double slowestMs = 0;
    // The scans.
    Scan speedScan = Scan::NotRun;
    int speedsTried = 0;
    std::optional<LineFormat> answeredFormat; // other-speed
    Scan addressScan = Scan::NotRun;
    LineFormat addressFormat;  // the format the addresses were tried at
    int addressesTried = 0;
    int answeredSlave = 0;     // other-address
    std::optional<LineErrors> lineErrors; // over every probe, where the line counts
};

// The doctor's result.
struct Diagnosis {
    Verdict verdict = Verdict::NoAnswer;
    // The probes prove the verdict; false when only the quick probes ran and
    // the scans could still find the controller at another speed or address.
    bool settled = false;
    bool interrupted = false;
    Evidence evidence;
    std::vector<Probe> probes;
    std::optional<PortOpenFailure> openFailure; // port
    qint64 ms = 0;
    // no-answer: the serial ports the system has, and the newest of them.
    QStringList ports;
    QString newestPort;
};

// The verdict the probes so far support. The scans, where they ran, are
// part of the evidence; settled says whether the probes prove it.
Diagnosis judge(const std::vector<Probe> &probes, const LineFormat &tried, Scan speedScan, Scan addressScan);
// A port that did not open.
Diagnosis portFailure(const PortOpenFailure &failure);
// The present serial ports as the no-answer verdict names them, newest last known.
void notePorts(Diagnosis &d, const QList<ports::SystemPort> &present);

// What counts as a status block of this controller: two inputs and two
// relays as bits, a firmware version of one byte.
bool statusLayoutFits(const QVector<quint16> &status);

// The formats the speed scan tries, in order: 1200 to 115200 baud, each with
// parity none, even and odd; the format tried first is left out.
std::vector<LineFormat> scanFormats(const LineFormat &tried);
// The addresses the address scan tries.
constexpr int kFirstOtherSlave = 2;
constexpr int kLastSlave = 247;

} // namespace doctor
