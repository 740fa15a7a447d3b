#pragma once
// What stands at a path, as the system tells it, and the two ways of touching
// a file that can never block: reading a regular file, and writing through a
// character device such as /dev/null. Each platform has its own file
// (FileKind_posix.cpp, FileKind_win.cpp); the rules built on them are in
// SafeFile.

#include <QByteArray>
#include <QString>

#include <optional>

namespace filekind {

enum class Kind {
    Missing, // nothing there, or a symbolic link to nothing
    Regular,
    Directory,
    CharacterDevice, // /dev/null, /dev/full, a terminal
    BlockDevice,
    Fifo,
    Socket,
    Unknown, // the system could not tell: see Look::systemText
};

struct Look {
    Kind kind = Kind::Missing;  // symbolic links followed
    bool link = false;          // the path itself is a symbolic link
    QString resolved;           // the path with every link followed, for a kind other than Missing
    QString linkTarget;         // for a link: what it points to, as it reads
    QString systemText;         // why the kind is Unknown
    // The path names a descriptor this program has open already, such as
    // /dev/stdout or /dev/fd/3: what it names is written as it is, at its
    // position, whatever it is (a file, a pipe, a terminal); -1 otherwise.
    int descriptor = -1;
};
Look look(const QString &path);

struct Contents {
    std::optional<QByteArray> bytes; // at most maxBytes + 1, so that a file too large is told
    std::optional<Kind> notAFile;    // what path names instead of a regular file
    bool missing = false;            // nothing there (a symbolic link to nothing too)
    QString systemText;              // why it could not be read otherwise
};
// Reads path only when it is a regular file; anything else is turned away
// before and after it is opened, without waiting for a writer or a device.
Contents readRegular(const QString &path, qint64 maxBytes);

// Writes bytes to the character device or the open descriptor the look found,
// as cp does; the system's words when it fails (/dev/full: no space left),
// empty when it worked.
QString writeThrough(const Look &at, const QByteArray &bytes);

} // namespace filekind
