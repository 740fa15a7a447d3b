#include "ImageFile.h"

#include "RegisterMap.h"
#include "SafeFile.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

#include <cmath>

namespace imagefile {

std::optional<std::vector<quint16>> load(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    return parse(file.readAll(), path, error);
}

std::optional<std::vector<quint16>> parse(const QByteArray &json, const QString &path, QString *error)
{
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        *error = QStringLiteral("%1 is not JSON: %2 at offset %3").arg(path, parseError.errorString()).arg(parseError.offset);
        return std::nullopt;
    }
    if (!doc.isArray()) {
        *error = QStringLiteral("%1 must hold a JSON array").arg(path);
        return std::nullopt;
    }
    const QJsonArray array = doc.array();
    if (array.size() != regmap::kImageRegisters) {
        *error = QStringLiteral("%1 holds %2 values, the device has %3 registers")
                     .arg(path)
                     .arg(array.size())
                     .arg(regmap::kImageRegisters);
        return std::nullopt;
    }
    std::vector<quint16> image;
    image.reserve(array.size());
    for (qsizetype i = 0; i < array.size(); ++i) {
        const QJsonValue v = array.at(i);
        const double d = v.isDouble() ? v.toDouble() : -1;
        if (!v.isDouble() || d != std::floor(d) || d < 0 || d > 0xFFFF) {
            *error = QStringLiteral("%1: register %2 is not an integer 0..65535").arg(path).arg(i);
            return std::nullopt;
        }
        image.push_back(static_cast<quint16>(d));
    }
    return image;
}

bool save(const QString &path, const std::vector<quint16> &image, QString *error)
{
    QJsonArray array;
    for (quint16 v : image)
        array.append(static_cast<int>(v));
    QString why;
    if (safefile::write(path, QJsonDocument(array).toJson(QJsonDocument::Compact) + '\n',
                        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther,
                        &why))
        return true;
    *error = QStringLiteral("cannot write %1: %2").arg(path, why);
    return false;
}

} // namespace imagefile
