#include "SheetCommand.h"

#include "CliText.h"
#include "Commands.h"
#include "ConfigFile.h"
#include "HandOverSheet.h"

#include <QDate>

#include <algorithm>

namespace cli {

int runSheet(const Options &o, Report &report, const DeviceRead &readDevice)
{
    params::ParameterSet set;
    std::optional<session::DeviceConfiguration> device; // its commands are printed as it holds them
    sheet::Header header{o.site, o.sim, QDate::currentDate(), QString()};
    QString source; // what the messages name: the file or the port
    if (!o.file.isEmpty()) {
        // Checked as write checks it: a sheet tells no text the device could not hold.
        source = o.file;
        const config::ParseResult parsed = config::readFile(o.file);
        if (!parsed.configuration) {
            for (const params::Problem &p : parsed.problems)
                report.error(o.file, problemText(p));
            return exitStatusFor(failure::classify(parsed.problems.front()));
        }
        set = parsed.configuration->set;
    } else {
        source = o.ports.front();
        const int status = readDevice(&device);
        if (!device)
            return std::max(status, kExitDevice);
        set = device->configuration.set;
        header.firmware = device->configuration.firmware;
    }
    safefile::Failure failure;
    if (!sheet::save(o.output, sheet::makePdf(set, header, device ? &device->reading : nullptr), &failure)) {
        report.error(source, QStringLiteral("cannot save %1: %2").arg(o.output, failure.text()));
        return kExitDevice;
    }
    report.info(source, QStringLiteral("hand-over sheet saved to %1").arg(o.output));
    return kExitDone;
}

} // namespace cli
