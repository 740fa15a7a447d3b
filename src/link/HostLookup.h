#pragma once
// A server's name looked up within a time limit of the tool's own: the
// system's resolver may wait far longer than an operator should (seconds for
// each name server it tries). The look-up runs on a thread of its own, left
// to finish by itself when it takes too long. The system's call is in one
// file for each platform (HostLookup_posix.cpp, HostLookup_win.cpp).

#include <QHostAddress>
#include <QList>
#include <QString>

#include <chrono>

namespace hostlookup {

struct Result {
    enum class Failure { None, NotFound, TimedOut, Other };
    QList<QHostAddress> addresses; // in the order the system gives them
    Failure failure = Failure::None;
    QString text; // the system's words for a failure
};

// An address stands for itself at once; a name is looked up for at most within.
Result lookUp(const QString &host, std::chrono::milliseconds within);

// The platform's resolver, waited for as long as it takes.
Result resolve(const QString &host);

} // namespace hostlookup
