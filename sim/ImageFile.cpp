#include "ImageFile.h"

#include "RegisterMap.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace sim {

std::optional<std::vector<quint16>> loadImage(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &parseError);
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

bool saveImage(const QString &path, const std::vector<quint16> &image, QString *error)
{
    QJsonArray array;
    for (quint16 v : image)
        array.append(static_cast<int>(v));
    const QByteArray json = QJsonDocument(array).toJson(QJsonDocument::Compact) + '\n';

    const QString tmpPath = path + QStringLiteral(".tmp");
    QFile tmp(tmpPath);
    if (!tmp.open(QIODevice::WriteOnly | QIODevice::Truncate) || tmp.write(json) != json.size() || !tmp.flush()) {
        *error = QStringLiteral("cannot write %1: %2").arg(tmpPath, tmp.errorString());
        tmp.close();
        QFile::remove(tmpPath);
        return false;
    }
    tmp.close();
    // QFile::rename refuses to replace an existing file; rename(2) replaces atomically.
    if (std::rename(QFile::encodeName(tmpPath).constData(), QFile::encodeName(path).constData()) != 0) {
        *error = QStringLiteral("cannot rename %1 to %2: %3").arg(tmpPath, path, QString::fromLocal8Bit(std::strerror(errno)));
        QFile::remove(tmpPath);
        return false;
    }
    return true;
}

} // namespace sim
