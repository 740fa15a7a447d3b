#pragma once
// Which serial device stands behind COM1..COM7, decided from what is given:
// the environment, the system's serial ports and the saved port map. Pure
// logic: no I/O, so that every rule is tested without hardware, the rules of
// either platform on any. SystemPorts.h feeds it from the real system.
//
// The rules, in order, for each COMn on Linux:
//   1. $ALARMCFG_COM<n> when set;
//   2. a saved pin (an adapter named by its stable /dev/serial link);
//   3. the built-in UART /dev/ttyS<n-1>, when the kernel says it has hardware;
//   4. a USB serial adapter without a pin takes the lowest COMn the rules
//      above left free, and that pin is saved. Pins never move.
// On Windows the system numbers its ports itself: COMn is $ALARMCFG_COM<n>
// when set, else Windows's own COMn, whether or not it is present now.

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <map>
#include <optional>

constexpr int kFirstPort = 1;
constexpr int kLastPort = 7;
constexpr int kPortCount = kLastPort - kFirstPort + 1;

namespace ports {

// One serial device of the system, as the lister found it.
struct SystemPort {
    enum class Kind {
        BuiltInUart, // ttyS<k> with hardware behind it
        PhantomUart, // ttyS<k> the kernel made although no UART answers (sysfs type 0)
        UsbAdapter,
        Other,       // e.g. a PCI card or a Bluetooth port: reachable by typing its name
    };
    QString name;   // kernel name, e.g. ttyUSB0; on Windows the port name, COM3
    QString device; // e.g. /dev/ttyUSB0, \\.\COM3
    Kind kind = Kind::Other;
    QString byId;   // /dev/serial/by-id/... when udev made one
    QString byPath; // /dev/serial/by-path/... when udev made one
    QString description, manufacturer, serialNumber; // from udev, possibly empty
    std::optional<quint16> vendorId, productId;
    QDateTime appeared; // when the system made its device, where it tells (Linux)

    QString usbId() const; // "0403:6001", empty without both identifiers
};

// A saved pin: the adapter behind one COM number.
struct Pin {
    QString link;         // the stable link that names the adapter
    QString usbId;        // a hint for the operator: VID:PID
    QString serialNumber; // a hint for the operator
    bool operator==(const Pin &o) const { return link == o.link && usbId == o.usbId && serialNumber == o.serialNumber; }
};
using PortMap = std::map<int, Pin>; // COM number -> pin

enum class Rule {
    None,        // nothing stands behind this COM number
    Environment, // $ALARMCFG_COM<n>
    Saved,       // a pin from the port map (its adapter may be unplugged)
    BuiltIn,     // /dev/ttyS<n-1>
    Assigned,    // an adapter given this number just now; the pin is to be saved
    Unsaved,     // an adapter given this number for now only: no stable link, or the map could not be saved
    System,      // Windows: the system's own port of this name
};

struct Resolution {
    int com = 0;
    Rule rule = Rule::None;
    QString device;                 // what opening COMn opens; empty when nothing is there
    std::optional<SystemPort> port; // the present device behind it, when listed
    std::optional<Pin> pin;         // Saved and Assigned: the adapter's pin
};

struct Resolved {
    std::array<Resolution, kPortCount> com; // com[n - 1] is COMn
    PortMap newPins;                        // the pins of the Assigned ports, to be saved
};

using EnvLookup = std::function<QString(const QString &name)>;

QString environmentName(int com); // "ALARMCFG_COM<n>"

enum class Platform { Linux, Windows };

// Windows ignores saved and never makes new pins.
Resolved resolve(const EnvLookup &env, const QList<SystemPort> &present, const PortMap &saved,
                 Platform platform = Platform::Linux);

// The present port reached by path: its device node or one of its stable links.
std::optional<SystemPort> findPort(const QList<SystemPort> &present, const QString &path);

// Text typed in place of a COM entry, as a device to open: a path stays as it
// is, a bare kernel name (ttyUSB1) is looked for in /dev, and on Windows
// COM12 becomes \\.\COM12. Anything else is no device.
std::optional<QString> typedPortDevice(const QString &text, Platform platform);

// A port of Windows's Ports device class as SetupAPI describes it: its name
// (COM3), friendly name ("USB-SERIAL CH340 (COM3)"), manufacturer, hardware
// ID (USB\VID_1A86&PID_7523&REV_0264) and instance ID, which carries the
// serial number when the adapter has one (USB\VID_0403&PID_6001\A50285BI,
// FTDIBUS\VID_0403+PID_6001+A50285BIA\0000).
SystemPort windowsPort(const QString &portName, const QString &friendlyName, const QString &manufacturer,
                       const QString &hardwareId, const QString &instanceId);

// The port map file's text. parsePortMap gives nothing for a file that is not
// such a map, and says why in *problem.
std::optional<PortMap> parsePortMap(const QByteArray &json, QString *problem);
QByteArray serializePortMap(const PortMap &map);

// One line for the trace and the command line: "COM1 -> /dev/ttyUSB0 (saved pin ..., FTDI ...)".
QString describe(const Resolution &r);
QString ruleName(Rule rule);

} // namespace ports
