#pragma once
// Configuration files: a controller's parameter set as UTF-8 JSON, to keep a
// copy of a configuration and to put it on the next controller.
//
//   {
//     "format": "alarmcfg-config",
//     "version": 1,
//     "saved": "2026-12-07T12:00:00+08:00",        (informational, may be missing)
//     "device": { "firmware": "V1.5" },              (informational, may be missing)
//     "parameters": {
//       "phones": ["15800000000"],
//       "password": "739154",
//       "relays": [ { "on", "off", "onReply", "offReply", "actionTime" } x 2 ],
//       "allOn": "全开", "allOff": "全关",
//       "alarmTexts": { "channel1Closing", "channel2Closing", "channel1Opening", "channel2Opening" },
//       "alarmMode": "closing" | "opening" | "both" | "none",
//       "powerLossMemory": false, "phoneAlarm": false
//     }
//   }

#include "ParameterSet.h"
#include "Problem.h"
#include "SafeFile.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>
#include <vector>

namespace config {

constexpr qint64 kMaxFileBytes = 1024 * 1024;
extern const char *const kFormat; // "alarmcfg-config"
constexpr int kVersion = 1;

struct Configuration {
    params::ParameterSet set;
    QString firmware; // empty when the file names no device
};

struct ParseResult {
    std::optional<Configuration> configuration; // only when there is no problem at all
    std::vector<params::Problem> problems;      // every one found, each naming its field
};

// Pretty-printed, keys in the order above, a newline at the end. An empty
// firmware leaves "device" out; an invalid saved time leaves "saved" out.
QByteArray serialize(const params::ParameterSet &set, const QString &firmware, const QDateTime &saved);

// Checks everything, the write's checks included, before it gives a set.
ParseResult parse(const QByteArray &bytes);

// The same for a regular file on disk; a file over kMaxFileBytes is not read
// whole, and anything else (a FIFO, a device, a folder) not at all.
ParseResult readFile(const QString &path);

// Saves by the rules of SafeFile: a regular file is replaced atomically,
// readable by its owner only (the file holds the command password); a
// character device is written through; anything else is refused. False with
// *failure set when the file could not be written; an earlier file at path is
// then left as it was.
bool writeFile(const QString &path, const QByteArray &bytes, safefile::Failure *failure);
// The same with the failure in English.
bool writeFile(const QString &path, const QByteArray &bytes, QString *error);

} // namespace config
