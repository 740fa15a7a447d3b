#pragma once
// Runs alarmcfg-sim for a test: start it, learn its pty, look at its register
// image, and stop or kill it.

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <vector>

class SimProcess {
public:
    explicit SimProcess(const QStringList &extraArgs = {});
    ~SimProcess(); // SIGTERM and wait

    SimProcess(const SimProcess &) = delete;
    SimProcess &operator=(const SimProcess &) = delete;

    // Starts alarmcfg-sim with --dump <file in a temporary dir> plus extraArgs;
    // true once the pty path line was read.
    bool start(int timeoutMs = 5000);
    // The port the tool opens: the pty's path, or with --tcp tcp://127.0.0.1:PORT.
    QString ptyPath() const;

    // The simulator's register image, fetched with SIGUSR1; empty on failure.
    std::vector<quint16> dumpImage(int timeoutMs = 3000);
    // The requests to slave 1 it had received at the last dumpImage(), -1 on failure.
    long requestCount() const;

    void kill();      // SIGKILL now; the pty goes away
    void terminate(); // SIGTERM and wait for exit
    // Waits for the simulator to end by itself (e.g. after a signal the test sent).
    bool waitForExit(int timeoutMs = 5000);

    // Where the simulator writes its image (also at exit).
    QString dumpPath() const;
    QString countPath() const;
    qint64 pid() const;
    // Exit code after a normal exit, -1 while running or after a crash/kill.
    int exitCode() const;

    static QString binary();

private:
    QStringList m_extraArgs;
    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_ptyPath;
};
