#include "Report.h"

#include <QStringList>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace cli {

Report::Report(bool quiet) : m_quiet(quiet), m_showProgress(!quiet && ::isatty(STDERR_FILENO)) {}

void Report::line(FILE *stream, const QString &text)
{
    if (m_progressShown) {
        std::fputs("\r\033[K", stderr); // the progress line makes way
        m_progressShown = false;
    }
    std::fprintf(stream, "%s\n", text.toUtf8().constData());
    std::fflush(stream);
    drawProgress();
}

void Report::data(const QString &text)
{
    QMutexLocker lock(&m_mutex);
    if (!m_outputFailure.isEmpty())
        return;
    if (m_progressShown) {
        std::fputs("\r\033[K", stderr);
        m_progressShown = false;
    }
    // Flushed at once and checked: a line that did not go out is a failure
    // of the command, not something to find at exit.
    const QByteArray bytes = text.toUtf8() + '\n';
    errno = 0;
    if (std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout) != static_cast<size_t>(bytes.size())
        || std::fflush(stdout) != 0)
        m_outputFailure = QString::fromLocal8Bit(std::strerror(errno != 0 ? errno : EIO));
    drawProgress();
}

QString Report::outputFailure() const
{
    QMutexLocker lock(&m_mutex);
    return m_outputFailure;
}

void Report::info(const QString &port, const QString &text)
{
    QMutexLocker lock(&m_mutex);
    if (!m_quiet)
        line(stderr, port.isEmpty() ? text : port + QStringLiteral(": ") + text);
}

void Report::error(const QString &port, const QString &text)
{
    QMutexLocker lock(&m_mutex);
    line(stderr, port.isEmpty() ? text : port + QStringLiteral(": ") + text);
}

void Report::progress(const QString &port, const QString &what, int done, int total)
{
    if (!m_showProgress)
        return;
    QMutexLocker lock(&m_mutex);
    m_progress[port] = QStringLiteral("%1 %2 %3/%4").arg(port, what).arg(done).arg(total);
    drawProgress();
}

void Report::progressDone(const QString &port)
{
    if (!m_showProgress)
        return;
    QMutexLocker lock(&m_mutex);
    m_progress.remove(port);
    std::fputs("\r\033[K", stderr);
    m_progressShown = false;
    drawProgress();
}

void Report::drawProgress()
{
    if (!m_showProgress || m_progress.isEmpty())
        return;
    const QStringList parts = m_progress.values();
    std::fprintf(stderr, "\r\033[K%s", parts.join(QStringLiteral("   ")).toUtf8().constData());
    std::fflush(stderr);
    m_progressShown = true;
}

} // namespace cli
