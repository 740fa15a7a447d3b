#pragma once
// How the link talks on its line: the rate, how long it waits for each reply,
// how often a failed exchange is tried, and whether every frame is traced.

#include <QString>

struct LinkSettings {
    static constexpr int kDefaultBaud = 9600;
    static constexpr int kDefaultResponseTimeoutMs = 500; // for each attempt of a request
    static constexpr int kDefaultAttempts = 3;

    int baud = kDefaultBaud;
    int responseTimeoutMs = kDefaultResponseTimeoutMs;
    int attempts = kDefaultAttempts; // of each exchange of a full read and of a write
    bool trace = false;
    QString traceLabel; // tells the lines of several links apart: the port's name

    // The settings every RtuLink starts with: $ALARMCFG_BAUD when set (0 when
    // it is not a rate, which the link refuses to open with), $ALARMCFG_TRACE
    // for the trace. The window keeps them; alarmcfg-cli puts its options
    // (--baud, --timeout, --retries, --trace) in their place.
    static LinkSettings fromEnvironment();
};
