#include "SimProcess.h"

#include "ImageFile.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

#include <csignal>
#include <sys/prctl.h>

namespace {
constexpr int kExitWaitMs = 5000;

} // namespace

SimProcess::SimProcess(const QStringList &extraArgs)
    : m_extraArgs(extraArgs)
{
    // The simulator's diagnostics belong in the test log.
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // A test that aborts must not leave simulators behind: they hold the
    // test's output open, and the runner would wait for them until its
    // time-out.
    m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

SimProcess::~SimProcess() { terminate(); }

QString SimProcess::binary() { return QStringLiteral(ALARMCFG_SIM_PATH); }

bool SimProcess::start(int timeoutMs)
{
    if (!m_dir.isValid() || m_process.state() != QProcess::NotRunning)
        return false;
    m_ptyPath.clear();
    QStringList args{QStringLiteral("--dump"), dumpPath(), QStringLiteral("--count"), countPath()};
    args += m_extraArgs;
    m_process.start(binary(), args);

    QDeadlineTimer deadline(timeoutMs);
    if (!m_process.waitForStarted(static_cast<int>(deadline.remainingTime()))) {
        kill();
        return false;
    }
    while (!m_process.canReadLine()) {
        const qint64 left = deadline.remainingTime();
        if (left <= 0 || m_process.state() == QProcess::NotRunning)
            break;
        m_process.waitForReadyRead(static_cast<int>(left));
    }
    if (!m_process.canReadLine()) {
        kill();
        return false;
    }
    m_ptyPath = QString::fromLocal8Bit(m_process.readLine()).trimmed();
    if (!m_ptyPath.startsWith(QLatin1Char('/')) && !m_ptyPath.startsWith(QLatin1String("tcp://"))) {
        kill();
        m_ptyPath.clear();
        return false;
    }
    return true;
}

QString SimProcess::ptyPath() const { return m_ptyPath; }

QString SimProcess::dumpPath() const { return m_dir.filePath(QStringLiteral("image.json")); }

QString SimProcess::countPath() const { return m_dir.filePath(QStringLiteral("requests.txt")); }

long SimProcess::requestCount() const
{
    QFile file(countPath());
    bool ok = false;
    const long count = file.open(QIODevice::ReadOnly) ? file.readAll().trimmed().toLong(&ok) : -1;
    return ok ? count : -1;
}

qint64 SimProcess::pid() const { return m_process.processId(); }

int SimProcess::exitCode() const
{
    if (m_process.state() != QProcess::NotRunning || m_process.exitStatus() != QProcess::NormalExit)
        return -1;
    return m_process.exitCode();
}

std::vector<quint16> SimProcess::dumpImage(int timeoutMs)
{
    const qint64 id = pid();
    if (m_process.state() != QProcess::Running || id <= 0)
        return {};
    QFile::remove(dumpPath());
    if (::kill(static_cast<pid_t>(id), SIGUSR1) != 0)
        return {};
    // The simulator renames a complete file into place, so once the name
    // exists the content is whole.
    QDeadlineTimer deadline(timeoutMs);
    while (!QFile::exists(dumpPath())) {
        if (deadline.hasExpired())
            return {};
        QThread::msleep(5);
    }
    QFile file(dumpPath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QString error;
    return imagefile::parse(file.readAll(), dumpPath(), &error).value_or(std::vector<quint16>());
}

void SimProcess::kill()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.kill();
    m_process.waitForFinished(kExitWaitMs);
}

bool SimProcess::waitForExit(int timeoutMs)
{
    return m_process.state() == QProcess::NotRunning || m_process.waitForFinished(timeoutMs);
}

void SimProcess::terminate()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(kExitWaitMs))
        kill();
}
