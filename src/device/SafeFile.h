#pragma once
// Replacing a file all at once: a reader sees the earlier file or the whole
// new one, never a part, and a write that fails leaves the earlier file.

#include <QByteArray>
#include <QFileDevice>
#include <QString>

namespace safefile {

// False with *error set when the file could not be written whole.
bool write(const QString &path, const QByteArray &bytes, QFileDevice::Permissions permissions, QString *error);

} // namespace safefile
