#include "Trace.h"

#include <QDateTime>
#include <QFile>

#include <cstdio>
#include <mutex>

namespace trace {

namespace {

QByteArray setting()
{
    return qgetenv("ALARMCFG_TRACE");
}

bool toStderr(const QByteArray &value)
{
    return value == "1";
}

} // namespace

bool enabledByEnvironment()
{
    const QByteArray value = setting();
    return !value.isEmpty() && value != "0";
}

void line(const QString &label, const char *kind, const QString &text)
{
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss.zzz"));
    const QString prefix = label.isEmpty() ? QString() : label + u' ';
    const QByteArray out = QStringLiteral("[%1] %2%3 %4\n")
                               .arg(stamp, prefix, QString::fromLatin1(kind).leftJustified(5), text)
                               .toUtf8();
    static std::mutex mutex;
    const std::lock_guard<std::mutex> lock(mutex);
    const QByteArray value = setting();
    if (value.isEmpty() || value == "0" || toStderr(value)) {
        std::fwrite(out.constData(), 1, static_cast<size_t>(out.size()), stderr);
        return;
    }
    // Opened for each line: the file may be read, moved or removed meanwhile.
    QFile file(QFile::decodeName(value));
    if (file.open(QIODevice::WriteOnly | QIODevice::Append))
        file.write(out);
}

} // namespace trace
