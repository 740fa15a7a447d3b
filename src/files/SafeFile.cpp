#include "SafeFile.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <filesystem>
#include <system_error>

namespace safefile {

namespace {

// Until every byte is written: a write cut short (a file size limit) says
// nothing, the write after it says why.
bool writeAll(QSaveFile &file, const QByteArray &bytes)
{
    qint64 done = 0;
    while (done < bytes.size()) {
        const qint64 n = file.write(bytes.constData() + done, bytes.size() - done);
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

bool replace(const QString &path, const QByteArray &bytes, QFileDevice::Permissions permissions, QString *error)
{
    QSaveFile file(path);
    // Unbuffered, so that a write cut short (a full disk) is seen here: a
    // buffered QSaveFile of Qt 6.4 commits what its last flush managed.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        *error = file.errorString();
        return false;
    }
    // The new file gets its own mode, whatever mode an earlier file had.
    if (!file.setPermissions(permissions) || !writeAll(file, bytes)) {
        *error = file.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}

} // namespace

QString kindName(filekind::Kind kind)
{
    using filekind::Kind;
    switch (kind) {
    case Kind::Missing: return QStringLiteral("nothing");
    case Kind::Regular: return QStringLiteral("a regular file");
    case Kind::Directory: return QStringLiteral("a folder");
    case Kind::CharacterDevice: return QStringLiteral("a character device");
    case Kind::BlockDevice: return QStringLiteral("a block device");
    case Kind::Fifo: return QStringLiteral("a FIFO (named pipe)");
    case Kind::Socket: return QStringLiteral("a socket");
    case Kind::Unknown: break;
    }
    return QStringLiteral("of a kind the system does not tell");
}

QString Failure::text() const
{
    switch (cause) {
    case Cause::System: return systemText;
    case Cause::NotAFile:
        return QStringLiteral("it is %1, not a regular file or a character device; left as it is").arg(kindName(kind));
    case Cause::DanglingLink:
        return QStringLiteral("it is a symbolic link to %1, which does not exist; not followed").arg(linkTarget);
    }
    return systemText;
}

bool write(const QString &path, const QByteArray &bytes, QFileDevice::Permissions permissions, Failure *failure)
{
    using filekind::Kind;
    *failure = Failure();
    const filekind::Look at = filekind::look(path);
    if (at.descriptor >= 0) {
        failure->systemText = filekind::writeThrough(at, bytes);
        return failure->systemText.isEmpty();
    }
    switch (at.kind) {
    case Kind::Missing:
        if (at.link) {
            failure->cause = Failure::Cause::DanglingLink;
            failure->linkTarget = at.linkTarget;
            return false;
        }
        return replace(path, bytes, permissions, &failure->systemText);
    case Kind::Regular:
        // The target, so that the link stays a link.
        return replace(at.link ? at.resolved : path, bytes, permissions, &failure->systemText);
    case Kind::CharacterDevice:
        failure->systemText = filekind::writeThrough(at, bytes);
        return failure->systemText.isEmpty();
    case Kind::Unknown:
        failure->systemText = at.systemText;
        return false;
    case Kind::Directory:
    case Kind::BlockDevice:
    case Kind::Fifo:
    case Kind::Socket:
        break;
    }
    failure->cause = Failure::Cause::NotAFile;
    failure->kind = at.kind;
    return false;
}

bool write(const QString &path, const QByteArray &bytes, QFileDevice::Permissions permissions, QString *error)
{
    Failure failure;
    if (write(path, bytes, permissions, &failure))
        return true;
    *error = failure.text();
    return false;
}

bool writesThrough(const QString &path)
{
    const filekind::Look at = filekind::look(path);
    return at.descriptor >= 0 || at.kind == filekind::Kind::CharacterDevice;
}

bool makeFolder(const QString &path, QString *error)
{
    std::error_code made;
    std::filesystem::create_directories(QFileInfo(path).filesystemAbsoluteFilePath(), made);
    if (!made)
        return true;
    // The system's words name no file: the first name on the way that is
    // there tells which one is in the way.
    for (QFileInfo step(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));; step = QFileInfo(step.path())) {
        const filekind::Look at = filekind::look(step.filePath());
        if (at.kind == filekind::Kind::Missing && at.link) {
            *error = QStringLiteral("%1 is a symbolic link to %2, which does not exist").arg(step.filePath(), at.linkTarget);
            return false;
        }
        if (at.kind == filekind::Kind::Directory) {
            *error = QStringLiteral("cannot make a folder in %1: %2").arg(step.filePath(), QString::fromStdString(made.message()));
            return false;
        }
        if (at.kind != filekind::Kind::Missing) {
            *error = at.kind == filekind::Kind::Unknown
                         ? QStringLiteral("%1: %2").arg(step.filePath(), at.systemText)
                         : QStringLiteral("%1 is %2, not a folder").arg(step.filePath(), kindName(at.kind));
            return false;
        }
        if (step.isRoot())
            break;
    }
    *error = QStringLiteral("cannot make the folder %1: %2").arg(path, QString::fromStdString(made.message()));
    return false;
}

std::optional<QByteArray> readSettings(const QString &path, qint64 maxBytes, QString *problem)
{
    problem->clear();
    // Only a regular file is read: a FIFO in its place would hang every program of the tool.
    const filekind::Contents file = filekind::readRegular(path, maxBytes);
    if (file.missing)
        return std::nullopt;
    if (!file.bytes)
        *problem = file.notAFile ? QStringLiteral("it is %1, not a regular file").arg(kindName(*file.notAFile))
                                 : file.systemText;
    return file.bytes;
}

} // namespace safefile
