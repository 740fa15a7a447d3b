#pragma once
// A stable name for the pseudo-terminal, whose own path changes every run.

#include <QString>

namespace sim {

class PtyLink {
public:
    PtyLink() = default;
    ~PtyLink(); // removes the link if it still points at our terminal
    PtyLink(const PtyLink &) = delete;
    PtyLink &operator=(const PtyLink &) = delete;

    // Makes linkPath point at target, replacing an older symlink (but never a
    // regular file or directory).
    bool create(const QString &linkPath, const QString &target, QString *error);
    void remove();

private:
    QString m_link;
    QString m_target;
};

} // namespace sim
