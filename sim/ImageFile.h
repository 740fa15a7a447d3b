#pragma once
// The register image on disk: a JSON array of 1100 integers 0..65535,
// register 0 first.

#include <QString>
#include <QtGlobal>

#include <optional>
#include <vector>

namespace sim {

// The image in FILE, or nothing with *error set.
std::optional<std::vector<quint16>> loadImage(const QString &path, QString *error);

// Replaces PATH at once, so a reader sees the old file or the whole new one,
// never a part.
bool saveImage(const QString &path, const std::vector<quint16> &image, QString *error);

// The request count as one decimal line, replaced the same way.
bool saveCount(const QString &path, long count, QString *error);

} // namespace sim
