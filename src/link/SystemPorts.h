#pragma once
// The port resolver fed from the real system: the serial ports the system
// lists, the user's port map file (Linux), and the environment. The window,
// the link and the command line all decide COM1..COM7 through lookUpPorts().
// What differs between the platforms lives in SystemPorts_linux.cpp and
// SystemPorts_win.cpp; this header is the same for both.

#include "ModbusLink.h"
#include "PortResolver.h"

namespace ports {

// The platform this program was built for, for the pure rules.
Platform thisPlatform();

// Every serial device present. No port is opened to list it.
// Linux: QSerialPortInfo (udev, or sysfs without it), with each built-in
// UART's sysfs type and the /dev/serial links.
// Windows: SetupAPI's Ports class, or the registry's SERIALCOMM map when that
// lists nothing (wine).
QList<SystemPort> listSystemPorts();

// Whether there is a device to open: on Linux a path that exists (a typed
// file or link counts), on Windows a port the system lists.
bool devicePresent(const QList<SystemPort> &present, const QString &device);
// Where a device path leads when it is a link ("/tmp/COM1" -> "/dev/pts/3");
// empty when it is no link.
QString linkTarget(const QString &device);
// typedPortDevice() for this platform.
std::optional<QString> typedDevice(const QString &text);

// The user's port map: ports.json in the configuration folder of alarmcfg
// (~/.config/alarmcfg/ports.json), the same for every program of the tool.
QString portMapPath();

struct LoadedMap {
    PortMap pins;
    bool usable = true; // false when the file exists but cannot be read or is not a port map
    QString problem;    // why it is not usable
};
// A missing file is an empty, usable map.
LoadedMap loadPortMap(const QString &path);
// Writes the whole map by the rules of SafeFile: the old file stays whole
// until the new one is complete, and a FIFO or a folder in its place is left alone.
bool savePortMap(const QString &path, const PortMap &map, QString *error);

struct PortTable {
    QList<SystemPort> present;
    std::array<Resolution, kPortCount> com; // com[n - 1] is COMn
    QStringList notes;                       // for the trace: a port map that was ignored or not saved
};

// Lists the ports, loads the map, resolves COM1..COM7 and saves new pins at
// once. A map that is not usable is left as it is, and new assignments then
// hold for this look-up only.
PortTable lookUpPorts();
// The same with the ports, the map file and the environment given.
PortTable lookUpPorts(const QList<SystemPort> &present, const QString &mapPath, const EnvLookup &env);

// n for "COMn" with n in 1..7, in any case; nothing for another name.
std::optional<int> comNumber(const QString &name);
// What the link opens for a port name: COM1..COM7 as the table resolves them
// (any case), a network port (tcp://HOST:PORT, rfc2217://HOST:PORT) as its
// server, anything else as a typed device (a path, a kernel name). The
// target keeps the name as typed, but for COMn, which is written in capitals.
PortTarget targetOf(const PortTable &table, const QString &name);
// One spelling for every name of a port, which its backups are named by:
// COMn in capitals, a network port's canonical name, anything else as typed.
QString portKey(const QString &name);

} // namespace ports
