#pragma once
// Saving the tool's files (configurations, backups, the port map) by one rule:
// - a regular file is replaced all at once: a reader sees the earlier file or
//   the whole new one, never a part, and a write that fails leaves the
//   earlier file; a symbolic link is followed, its target replaced and the
//   link kept;
// - a character device (/dev/null, /dev/full) is written through, as cp does,
//   and never replaced; so is a descriptor the program has open (/dev/stdout,
//   whatever stands behind it);
// - anything else (a FIFO, a socket, a folder) and a link to nothing are left
//   as they are and refused: a link to nothing is not followed, so a save
//   never makes a file at a place the path does not show.
// Reading them is filekind::readRegular: a regular file or nothing.

#include "FileKind.h"

#include <QByteArray>
#include <QFileDevice>
#include <QString>

#include <optional>

namespace safefile {

struct Failure {
    enum class Cause {
        System,       // see systemText
        NotAFile,     // kind stands at the path, links followed
        DanglingLink, // the path is a symbolic link to linkTarget, which does not exist
    };
    Cause cause = Cause::System;
    filekind::Kind kind = filekind::Kind::Unknown;
    QString linkTarget;
    QString systemText;

    // In English, for the trace and the command line.
    QString text() const;
};

// False with *failure set when the file could not be written whole.
bool write(const QString &path, const QByteArray &bytes, QFileDevice::Permissions permissions, Failure *failure);
// The same with the failure as text().
bool write(const QString &path, const QByteArray &bytes, QFileDevice::Permissions permissions, QString *error);

// True when a save to path writes through a device or an open descriptor
// (/dev/null, /dev/stdout) instead of replacing a file.
bool writesThrough(const QString &path);

// Makes the folder and those above it; false with the reason in English when
// it cannot, such as the name being taken by a file.
bool makeFolder(const QString &path, QString *error);

// "a FIFO (named pipe)": a kind in English words.
QString kindName(filekind::Kind kind);

// A small file of the tool's own settings: its bytes; nothing with *problem
// empty when there is none; nothing with *problem saying why when something
// is there that is not a regular file or cannot be read.
std::optional<QByteArray> readSettings(const QString &path, qint64 maxBytes, QString *problem);

} // namespace safefile
