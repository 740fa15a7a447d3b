#pragma once
// What alarmcfg-cli says, from any of its port threads: data on stdout,
// messages on stderr, one line each, and on a terminal a progress line.

#include <QMap>
#include <QMutex>
#include <QString>

#include <cstdio>

namespace cli {

class Report {
public:
    explicit Report(bool quiet);

    // stdout. Once a write there failed, nothing more is written.
    void data(const QString &line);
    void info(const QString &port, const QString &text);   // stderr, unless quiet
    void error(const QString &port, const QString &text);  // stderr, always
    // "COM1 write 14/22", on one line that is rewritten; only on a terminal.
    void progress(const QString &port, const QString &what, int done, int total);
    void progressDone(const QString &port);

    // Why standard output took no more data (a full disk, /dev/full, a closed
    // pipe); empty while every line went out.
    QString outputFailure() const;

private:
    void line(FILE *stream, const QString &text);
    void drawProgress();

    mutable QMutex m_mutex;
    bool m_quiet;
    bool m_showProgress;
    bool m_progressShown = false;
    QMap<QString, QString> m_progress; // by port
    QString m_outputFailure;
};

} // namespace cli
