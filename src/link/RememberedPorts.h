#pragma once
// The network ports the window connected to, most recent first, so that its
// port box offers them again after COM1..COM7. Kept in network-ports.json
// beside the port map (ports.json), as a JSON array of the names as typed:
//
//   ["tcp://192.168.1.20:4001", "rfc2217://pumps.site:7000"]
//
// A file that cannot be read or is no such list is ignored and left as it is.

#include <QString>
#include <QStringList>

namespace ports {

constexpr int kMaxRememberedPorts = 8;

QString rememberedPortsPath();

struct RememberedPorts {
    QStringList names;
    bool usable = true; // false when the file is there but is no such list
    QString problem;    // why it is not usable
};
// A missing file is an empty, usable list.
RememberedPorts loadRememberedPorts(const QString &path);
bool saveRememberedPorts(const QString &path, const QStringList &names, QString *error);

// names with name first: another spelling of the same port gives way to it,
// and the oldest beyond kMaxRememberedPorts are forgotten.
QStringList rememberPort(const QStringList &names, const QString &name);

} // namespace ports
