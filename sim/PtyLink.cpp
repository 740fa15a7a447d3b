#include "PtyLink.h"

#include <QFile>

#include <cerrno>
#include <climits>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace sim {

PtyLink::~PtyLink() { remove(); }

bool PtyLink::create(const QString &linkPath, const QString &target, QString *error)
{
    const QByteArray link = QFile::encodeName(linkPath);
    const QByteArray dest = QFile::encodeName(target);
    struct stat st;
    if (::lstat(link.constData(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            *error = QStringLiteral("%1 exists and is not a symlink; not replacing it").arg(linkPath);
            return false;
        }
        if (::unlink(link.constData()) != 0 && errno != ENOENT) {
            *error = QStringLiteral("cannot remove old link %1: %2").arg(linkPath, QString::fromLocal8Bit(std::strerror(errno)));
            return false;
        }
    }
    if (::symlink(dest.constData(), link.constData()) != 0) {
        *error = QStringLiteral("cannot link %1 -> %2: %3").arg(linkPath, target, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    m_link = linkPath;
    m_target = target;
    return true;
}

void PtyLink::remove()
{
    if (m_link.isEmpty())
        return;
    // Another simulator may have taken the name over since; leave its link be.
    const QByteArray link = QFile::encodeName(m_link);
    char buf[PATH_MAX];
    const ssize_t n = ::readlink(link.constData(), buf, sizeof buf - 1);
    if (n >= 0 && QByteArray(buf, n) == QFile::encodeName(m_target))
        ::unlink(link.constData());
    m_link.clear();
}

} // namespace sim
