#pragma once
// Command line of the simulator.

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace sim {

struct Options {
    int baud = 0;                 // 0: replies leave as soon as they are ready
    int delayMs = 0;              // extra reply delay of a slow device
    double inputsToggleSec = 0;   // 0: register 4 stays as it is
    bool silent = false;
    long stopAfter = -1;          // -1: answer forever
    std::vector<int> exceptionAddresses;
    int corruptEvery = 0;         // 0: every reply goes out intact
    struct DuplicateReply {
        long reply; // counted from 1
        int ms;     // the copy follows the reply this long after; 0: back to back
    };
    std::vector<DuplicateReply> duplicateReplies;
    // A device that answers only reads of at most 10 registers: a longer one
    // gets exception 03 (Refuse) or no answer at all (Ignore).
    enum class Strict { Off, Refuse, Ignore };
    Strict strict = Strict::Off;
    bool echo = false; // the line sends every request back before its reply, as a two-wire adapter does
    struct LateReply {
        long reply; // counted from 1, as --duplicate-reply counts
        int ms;     // after its request
    };
    std::vector<LateReply> lateReplies;
    std::vector<long> lostReplies;       // these replies (counted from 1) are acted on, never sent
    // Faults of one request, counted from 1 as --lose-reply counts:
    std::vector<long> missedRequests;  // never heard: neither acted on nor answered
    std::vector<long> corruptReplies;  // sent with a bad CRC
    std::vector<long> trailingReplies; // followed at once by bytes that belong to no frame
    std::vector<long> strayBefore;     // preceded by a whole frame nobody asked for
    long echoFrom = 0;                 // from this request on, every request is sent back before its reply
    struct Silence {
        long write; // counted from 1 among the writes
        int ms;
    };
    std::optional<Silence> silenceAtWrite; // from that write on, nothing is heard or answered for ms
    std::vector<int> dropWriteAddresses; // writes touching these are confirmed but not stored
    // A line with one fault as a technician meets it on a site (--line KIND),
    // one for each of the line doctor's verdicts.
    struct Line {
        enum class Kind {
            Clean,
            Silent,   // nothing behind the adapter
            EchoOnly, // an adapter that hears itself, and nothing behind it
            Slave,    // the controller set to another slave address
            Speed,    // the controller set to another rate
            Swapped,  // A and B swapped: a few 0x00 bytes (a break) in place of each reply
            Foreign,  // another kind of Modbus device: it refuses all but the status block
            Chatter,  // another master polls slave 7 on the same line
            Flaky,    // a share of the requests never heard
        };
        Kind kind = Kind::Clean;
        int slave = 0;    // Slave: the address it answers at
        int baud = 0;     // Speed: the rate the tool's side must be set to
        double share = 0; // Flaky: the share of requests never heard
    };
    Line line;
    QString imagePath;
    QString dumpPath;
    QString countPath; // the number of requests received, written with the dump
    QString logPath;   // every request heard, one frame in hex a line, written with the dump
    QString linkPath;
    QString tcpAddress; // serve RTU over TCP here ("127.0.0.1:5020") instead of on a pty
    bool help = false;
};

struct ParseResult {
    std::optional<Options> options; // empty on a bad command line
    QString error;
};

// args without the program name.
ParseResult parseOptions(const QStringList &args);

QString usageText(const QString &program);

} // namespace sim
