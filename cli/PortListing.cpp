#include "PortListing.h"

#include "CliText.h"
#include "Commands.h"
#include "SystemPorts.h"

#include <QJsonObject>

namespace cli {

int listPorts(const Options &o, Report &report)
{
    const ports::PortTable table = ports::lookUpPorts();
    for (const QString &note : table.notes)
        report.error(QString(), note);
    auto portObject = [](const ports::SystemPort &p) {
        return QJsonObject{{"device", p.device},       {"byId", p.byId},
                           {"byPath", p.byPath},       {"description", p.description},
                           {"manufacturer", p.manufacturer}, {"serialNumber", p.serialNumber},
                           {"usbId", p.usbId()}};
    };
    // One object per line, each with its kind, for a script to read line by line.
    if (o.json) {
        for (const ports::Resolution &r : table.com)
            report.data(jsonLine(QJsonObject{{"kind", "com"},
                                             {"port", QStringLiteral("COM%1").arg(r.com)},
                                             {"device", r.device},
                                             {"rule", ports::ruleName(r.rule)}}));
        for (const ports::SystemPort &p : table.present) {
            QJsonObject device = portObject(p);
            device.insert(QStringLiteral("kind"), QStringLiteral("device"));
            report.data(jsonLine(device));
        }
        return kExitDone;
    }
    for (const ports::Resolution &r : table.com)
        report.data(ports::describe(r));
    report.data(table.present.isEmpty() ? QStringLiteral("no serial device present")
                                        : QStringLiteral("serial devices present:"));
    for (const ports::SystemPort &p : table.present) {
        QStringList about;
        for (const QString &s : {p.description, p.manufacturer, p.serialNumber, p.usbId(), p.byId})
            if (!s.isEmpty())
                about << s;
        report.data(QStringLiteral("  %1%2").arg(p.device, about.isEmpty() ? QString() : u' ' + about.join(QStringLiteral(", "))));
    }
    return kExitDone;
}

} // namespace cli
