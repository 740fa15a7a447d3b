#include "JsonWriter.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace json {

QByteArray string(const QString &text)
{
    // Qt's own escaping: the array brackets around the one value are dropped.
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

QByteArray boolean(bool b)
{
    return b ? "true" : "false";
}

void Writer::open(const QString &key, char bracket)
{
    member(key, QByteArray(1, bracket));
    ++m_depth;
    m_first = true;
}

void Writer::close(char bracket)
{
    --m_depth;
    m_out += '\n' + indent() + bracket;
    m_first = false;
}

void Writer::member(const QString &key, const QByteArray &value)
{
    if (!m_first)
        m_out += ',';
    m_out += '\n' + indent();
    if (!key.isNull())
        m_out += string(key) + ": ";
    QByteArray indented = value;
    m_out += indented.replace("\n", "\n" + indent());
    m_first = false;
}

} // namespace json
