// Which device the chosen COM entry or the typed text is, and why a port did
// not open.
#include "FormMain.h"

#include "FailureClass.h"
#include "Messages.h"
#include "ModbusLink.h"
#include "NetworkPort.h"
#include "SerialLine.h"
#include "TcpLine.h"

#include <QComboBox>
#include <QLabel>

namespace {

QString ruleText(const ports::Resolution &r)
{
    switch (r.rule) {
    case ports::Rule::Environment: return msg::portByEnvironment(ports::environmentName(r.com));
    case ports::Rule::Saved: return msg::portBySavedPin();
    case ports::Rule::BuiltIn: return msg::portBuiltIn();
    case ports::Rule::Assigned: return msg::portNewlyAssigned();
    case ports::Rule::Unsaved: return msg::portAssignedUnsaved();
    case ports::Rule::System: return msg::portOfSystem();
    case ports::Rule::None: break;
    }
    return QString();
}

// "/tmp/COM1 → /dev/pts/3" for a link, the path alone otherwise.
QString withTarget(const QString &device)
{
    const QString target = ports::linkTarget(device);
    return target.isEmpty() ? device : QStringLiteral("%1 → %2").arg(device, target);
}

// The second line: what the system says about the device, or that it is not there.
QString detailsLine(const ports::PortTable &table, const std::optional<ports::SystemPort> &port, const QString &device)
{
    if (!port)
        return ports::devicePresent(table.present, device) ? QString() : msg::portNotPresent();
    QStringList parts;
    if (!port->description.isEmpty())
        parts << port->description;
    if (!port->manufacturer.isEmpty())
        parts << port->manufacturer;
    if (!port->serialNumber.isEmpty())
        parts << msg::portSerialNumber(port->serialNumber);
    if (!port->usbId().isEmpty())
        parts << QStringLiteral("USB %1").arg(port->usbId());
    return parts.join(msg::portDetailSeparator());
}

QString twoLines(const QString &first, const QString &second)
{
    return second.isEmpty() ? first : first + QLatin1Char('\n') + second;
}

} // namespace

void FormMain::RefreshPortInfo(bool relist)
{
    if (relist || !portTable)
        portTable = ports::lookUpPorts();
    lblPortInfo->setText(PortInfoText());
}

QString FormMain::PortInfoText() const
{
    if (!portTable)
        return QString();
    const int entry = ChosenEntry(cmbComSel);
    if (entry >= 0 && entry < kPortCount) {
        const ports::Resolution &r = portTable->com[entry];
        const QString name = cmbComSel->itemText(entry);
        if (r.device.isEmpty()) {
            if (r.rule == ports::Rule::Saved && r.pin) {
                QStringList hint{r.pin->link};
                if (!r.pin->usbId.isEmpty())
                    hint << QStringLiteral("USB %1").arg(r.pin->usbId);
                if (!r.pin->serialNumber.isEmpty())
                    hint << msg::portSerialNumber(r.pin->serialNumber);
                return twoLines(msg::portEntry(name, msg::portPinnedAbsent()), hint.join(msg::portDetailSeparator()));
            }
            return msg::portEntry(name, msg::portNoDevice());
        }
        return twoLines(msg::portEntry(name, msg::portDeviceBecause(withTarget(r.device), ruleText(r))),
                        detailsLine(*portTable, r.port, r.device));
    }

    const QString typed = cmbComSel->currentText().trimmed();
    if (typed.isEmpty())
        return QString();
    if (ports::looksLikeNetworkPort(typed))
        return NetworkPortInfoText(typed);
    const std::optional<QString> device = ports::typedDevice(typed);
    if (!device)
        return msg::portEntry(typed, msg::portNotADeviceName());
    std::optional<ports::SystemPort> port = ports::findPort(portTable->present, *device);
    if (!port)
        port = ports::findPort(portTable->present, ports::linkTarget(*device));
    return twoLines(msg::portDeviceBecause(withTarget(*device), msg::portTyped()),
                    detailsLine(*portTable, port, *device));
}

QString FormMain::NetworkPortInfoText(const QString &name) const
{
    const std::optional<ports::NetworkPort> port = ports::parseNetworkPort(name);
    if (!port)
        return msg::portEntry(name, msg::portNotANetworkName());
    const QString kind = port->kind == ports::NetworkPort::Kind::Rfc2217 ? msg::portNetworkRfc2217() : msg::portNetworkRaw();
    // The server's address once connected to this very port.
    const QString peer = bConnected && ports::portKey(connectedPort) == port->canonical() ? modbus1->peerAddress() : QString();
    return twoLines(msg::portEntry(name, kind), peer.isEmpty() ? QString() : msg::portConnectedTo(peer));
}

QString FormMain::PortOpenFailureText() const
{
    const std::optional<PortOpenFailure> failure = modbus1->openFailure();
    if (!failure)
        return msg::portOpenFailed();
    const QString device = failure->device.isEmpty() ? failure->port : failure->device;
    QString cause;
    switch (failure->cause) {
    case PortOpenFailure::Cause::NotADevice:
        cause = ports::looksLikeNetworkPort(failure->port) ? msg::portEntry(failure->port, msg::portNotANetworkName())
                                                           : msg::portNotADevice(device);
        break;
    case PortOpenFailure::Cause::NoDevice:
        cause = failure->device.isEmpty() ? msg::portNothingBehind(failure->port) : msg::portMissing(device);
        break;
    case PortOpenFailure::Cause::NoPermission: cause = msg::portNoPermission(device); break;
    case PortOpenFailure::Cause::Busy:
        cause = failure->holders.isEmpty() ? msg::portBusy(device) : msg::portBusyBy(device, failure->holders.join(msg::listSeparator()));
        break;
    case PortOpenFailure::Cause::NoDriver: cause = msg::portNoDriver(device, failure->systemText); break;
    case PortOpenFailure::Cause::LockedByAlarmcfg: cause = msg::portLockedByCopy(device, failure->holders.value(0)); break;
    case PortOpenFailure::Cause::MarkedExclusive:
        cause = msg::portMarkedExclusive(device, failure->holders.join(msg::listSeparator()));
        break;
    case PortOpenFailure::Cause::NoSuchHost: cause = msg::portNoSuchHost(device); break;
    case PortOpenFailure::Cause::Refused: cause = msg::portConnectionRefused(device); break;
    case PortOpenFailure::Cause::Unreachable: cause = msg::portUnreachable(device); break;
    case PortOpenFailure::Cause::TimedOut: cause = msg::portConnectTimedOut(device, TcpLine::kConnectTimeoutMs / 1000); break;
    case PortOpenFailure::Cause::ServerBusy: cause = msg::portServerBusy(device); break;
    case PortOpenFailure::Cause::Other: cause = msg::portSystemError(device, failure->systemText); break;
    }
    switch (failure::classify(*failure).remedy) {
    case failure::Remedy::JoinDialoutGroup: cause += msg::adviceJoinDialoutGroup(); break;
    case failure::Remedy::CloseOtherProgram: cause += msg::adviceCloseOtherProgram(); break;
    case failure::Remedy::InstallAdapterDriver: cause += msg::adviceInstallAdapterDriver(); break;
    case failure::Remedy::DisconnectOtherCopy: cause += msg::adviceDisconnectOtherCopy(); break;
    // These explain more than what to do: each on a line of its own.
    case failure::Remedy::KeepModemProbesAway: cause += QLatin1Char('\n') + msg::portModemManagerHint(); break;
    case failure::Remedy::ClearLeftBehindMark: cause += QLatin1Char('\n') + msg::portMarkLeftBehind(); break;
    default: break;
    }
    return msg::portOpenFailed() + QLatin1Char('\n') + cause;
}
