// What a path names on Windows: the file type of a handle opened for no
// access at all, which neither reads nor waits.
#include "FileKind.h"

#include <QFileInfo>

#include <algorithm>
#include <string>

#include <windows.h>

namespace filekind {

namespace {

QString systemText(DWORD error)
{
    return qt_error_string(static_cast<int>(error));
}

std::wstring wide(const QString &path)
{
    return QFileInfo(path).absoluteFilePath().replace(u'/', u'\\').toStdWString();
}

bool isPipeName(const QString &path)
{
    // Opening a pipe, even to look, takes one of its instances.
    return path.startsWith(QLatin1String("\\\\.\\pipe\\"), Qt::CaseInsensitive)
           || path.startsWith(QLatin1String("//./pipe/"), Qt::CaseInsensitive);
}

class Handle {
public:
    explicit Handle(HANDLE h) : m_h(h) {}
    ~Handle()
    {
        if (m_h != INVALID_HANDLE_VALUE)
            CloseHandle(m_h);
    }
    Handle(const Handle &) = delete;
    Handle &operator=(const Handle &) = delete;
    HANDLE get() const { return m_h; }
    bool valid() const { return m_h != INVALID_HANDLE_VALUE; }

private:
    HANDLE m_h;
};

Kind kindOf(HANDLE h)
{
    switch (GetFileType(h)) {
    case FILE_TYPE_CHAR: return Kind::CharacterDevice;
    case FILE_TYPE_PIPE: return Kind::Fifo;
    case FILE_TYPE_DISK: {
        BY_HANDLE_FILE_INFORMATION info{};
        if (!GetFileInformationByHandle(h, &info))
            return Kind::Unknown;
        return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? Kind::Directory : Kind::Regular;
    }
    default: return Kind::Unknown;
    }
}

} // namespace

Look look(const QString &path)
{
    Look l;
    if (isPipeName(path)) {
        l.kind = Kind::Fifo;
        l.resolved = path;
        return l;
    }
    const std::wstring name = wide(path);
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        l.link = true;
        l.linkTarget = QFileInfo(path).symLinkTarget();
    }
    // No access asked: the handle only tells the type. Links are followed.
    Handle h(CreateFileW(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!h.valid()) {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
            l.kind = Kind::Unknown;
            l.systemText = systemText(error);
        }
        return l;
    }
    l.kind = kindOf(h.get());
    const QString canonical = QFileInfo(path).canonicalFilePath();
    l.resolved = canonical.isEmpty() ? path : canonical;
    return l;
}

Contents readRegular(const QString &path, qint64 maxBytes)
{
    Contents c;
    const Look l = look(path);
    if (l.kind == Kind::Missing) {
        c.missing = true;
        c.systemText = systemText(ERROR_FILE_NOT_FOUND);
        return c;
    }
    if (l.kind == Kind::Unknown) {
        c.systemText = l.systemText;
        return c;
    }
    if (l.kind != Kind::Regular) {
        c.notAFile = l.kind;
        return c;
    }
    Handle h(CreateFileW(wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h.valid()) {
        c.systemText = systemText(GetLastError());
        return c;
    }
    const Kind kind = kindOf(h.get());
    if (kind != Kind::Regular) {
        c.notAFile = kind;
        return c;
    }
    QByteArray bytes;
    const qint64 limit = maxBytes + 1;
    char buffer[65536];
    while (bytes.size() < limit) {
        const DWORD want = static_cast<DWORD>(std::min<qint64>(sizeof buffer, limit - bytes.size()));
        DWORD got = 0;
        if (!ReadFile(h.get(), buffer, want, &got, nullptr)) {
            c.systemText = systemText(GetLastError());
            return c;
        }
        if (got == 0)
            break;
        bytes.append(buffer, static_cast<qsizetype>(got));
    }
    c.bytes = bytes;
    return c;
}

QString writeThrough(const Look &at, const QByteArray &bytes)
{
    const QString &path = at.resolved;
    // A device name such as NUL is opened as it is written, not as a path.
    const bool device = !path.contains(u'/') && !path.contains(u'\\');
    const std::wstring name = device ? path.toStdWString() : wide(path);
    Handle h(CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h.valid())
        return systemText(GetLastError());
    if (GetFileType(h.get()) != FILE_TYPE_CHAR)
        return systemText(ERROR_BAD_DEVICE);
    qsizetype done = 0;
    while (done < bytes.size()) {
        DWORD wrote = 0;
        const DWORD want = static_cast<DWORD>(std::min<qsizetype>(bytes.size() - done, 1 << 20));
        if (!WriteFile(h.get(), bytes.constData() + done, want, &wrote, nullptr))
            return systemText(GetLastError());
        if (wrote == 0)
            return systemText(ERROR_WRITE_FAULT);
        done += wrote;
    }
    return QString();
}

} // namespace filekind
