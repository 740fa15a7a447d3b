#pragma once
// The one JSON writer of the files this tool saves: keys in the order they
// are given (QJsonObject sorts them), two spaces an indent, a newline at the
// end, and strings escaped by Qt's own rules.

#include <QByteArray>
#include <QString>

namespace json {

// A string as JSON writes it, quotes included.
QByteArray string(const QString &text);
QByteArray boolean(bool b);

class Writer {
public:
    // A member that holds an object ('{') or an array ('['), closed by close().
    void open(const QString &key, char bracket);
    void close(char bracket);
    // A member with its value as JSON text; a null key for an array's element.
    // A value of several lines keeps its own indents, under this member's.
    void member(const QString &key, const QByteArray &value);
    // The whole document.
    QByteArray text() const { return "{" + m_out + "\n}\n"; }

private:
    QByteArray indent() const { return QByteArray(2 * (m_depth + 1), ' '); }
    QByteArray m_out;
    int m_depth = 0;
    bool m_first = true;
};

} // namespace json
