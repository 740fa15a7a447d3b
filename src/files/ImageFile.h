#pragma once
// A controller's registers on disk: a JSON array of 1100 integers 0..65535,
// register 0 first. The simulator loads and dumps it, the tests build and
// compare devices with it.

#include <QString>
#include <QtGlobal>

#include <optional>
#include <vector>

namespace imagefile {

// The image in FILE, or nothing with *error set.
std::optional<std::vector<quint16>> load(const QString &path, QString *error);

// The image in JSON text, or nothing with *error set (naming the file as source).
std::optional<std::vector<quint16>> parse(const QByteArray &json, const QString &source, QString *error);

// Replaces PATH at once, so a reader sees the old file or the whole new one,
// never a part.
bool save(const QString &path, const std::vector<quint16> &image, QString *error);

} // namespace imagefile
