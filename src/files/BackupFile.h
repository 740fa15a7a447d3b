#pragma once
// Backups: what a controller held before a write, register for register, so
// that `alarmcfg-cli restore` can put it back exactly, whatever the device
// held, even texts and values the write's checks would refuse.
//
//   {
//     "format": "alarmcfg-backup",
//     "version": 1,
//     "saved": "2026-12-08T10:15:02.347+08:00",
//     "port": "COM3",
//     "firmware": "V1.5",
//     "registers": [ {"start": 10, "values": [ 20 integers ]}, ... ],
//     "configuration": { the same registers decoded, as a configuration file holds them }
//   }
//
// The registers are the backup; "configuration" is there for a person to read.

#include "ParameterSet.h"
#include "Problem.h"
#include "WritePlan.h"
#include "RegisterMap.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVector>

#include <map>
#include <optional>
#include <vector>

namespace backup {

extern const char *const kFormat; // "alarmcfg-backup"
constexpr int kVersion = 1;

struct Backup {
    QString port;
    QString firmware;
    QDateTime saved;
    std::map<int, QVector<quint16>> blocks; // start address -> registers, exactly the blocks of backupBlocks()
    params::ParameterSet set;               // the registers decoded (parse() fills it; serialize() decodes them itself)
};

// Every block a write can touch, each text slot whole: the relay texts, the
// all-on and all-off commands, the phone slots, the alarm texts, the action
// times with 902..907, the option flags and the alarm mode.
std::vector<regmap::Block> backupBlocks();

QByteArray serialize(const Backup &b);

struct ParseResult {
    std::optional<Backup> backup; // only when there is no problem
    QStringList problems;
    // readFile: why the file itself was not read (CannotRead, TooLarge,
    // NotAFile), for each program to word; no other problem comes with it.
    std::optional<params::Problem> unread;
};
// Checks the envelope (JSON, format, version, keys), then that every block is
// there with its count and nothing else, before anything is believed; a bad
// value is named by its register. The decoded configuration, where there is
// one, must say what the registers say: the registers are what is put back,
// and an edit there would be lost.
ParseResult parse(const QByteArray &bytes);
// The same for a file on disk, as config::readFile reads one: a file over
// config::kMaxFileBytes is not read whole, and anything but a regular file
// (a FIFO, a device, a folder) not at all.
ParseResult readFile(const QString &path);

// Why bytes are no UTF-8 text (UTF-16 as Notepad saves it, another code
// page), or empty. A UTF-8 byte order mark is fine.
QString encodingProblem(const QByteArray &bytes);

// The backup's blocks as writes, in address order: every register exactly
// as it was read, with no check, since it is what the device held.
std::vector<params::PlannedWrite> restoreWrites(const Backup &b);

// Where backups are kept: ~/.local/share/alarmcfg/backups, on Windows
// %LOCALAPPDATA%\alarmcfg\backups.
QString defaultFolder();

// The port as part of a file name: letters and digits stay, every other
// character becomes "_" and its code, so two ports never share a name.
QString portFilePart(const QString &port);

// Saves b in dir under a name of its own, made of the time to the
// millisecond and the port, with a counter when that name is taken: a
// backup never replaces another file. portName is the port as the name
// gives it, one spelling for all of a port's (b.port when empty). The path,
// or nothing with *error set.
std::optional<QString> saveNew(const QString &dir, const Backup &b, QString *error, const QString &portName = QString());

} // namespace backup
