#include "SafeFile.h"

#include <QSaveFile>

namespace safefile {

bool write(const QString &path, const QByteArray &bytes, QFileDevice::Permissions permissions, QString *error)
{
    QSaveFile file(path);
    // Unbuffered, so that a write cut short (a full disk) is seen here: a
    // buffered QSaveFile of Qt 6.4 commits what its last flush managed.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        *error = file.errorString();
        return false;
    }
    // The new file gets its own mode, whatever mode an earlier file had.
    if (!file.setPermissions(permissions) || file.write(bytes) != bytes.size()) {
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

} // namespace safefile
