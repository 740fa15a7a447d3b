// alarmcfg-sim: the alarm controller as a Modbus RTU slave on a pseudo-terminal,
// or on RTU over TCP (--tcp).

#include "DeviceServer.h"
#include "FactoryDefaults.h"
#include "ImageFile.h"
#include "Options.h"
#include "Pty.h"
#include "PtyLink.h"
#include "SignalFlags.h"
#include "TcpListener.h"

#include <QFileInfo>
#include <QStringList>

#include <cstdio>

namespace {
constexpr int kExitUsage = 2;
constexpr int kExitFailure = 1;

void complain(const QString &message)
{
    std::fprintf(stderr, "alarmcfg-sim: %s\n", qPrintable(message));
}
} // namespace

int main(int argc, char **argv)
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    const QString program = QFileInfo(QString::fromLocal8Bit(argv[0])).fileName();

    const sim::ParseResult parsed = sim::parseOptions(args);
    if (!parsed.options) {
        complain(parsed.error);
        std::fputs(qPrintable(sim::usageText(program)), stderr);
        return kExitUsage;
    }
    const sim::Options &opts = *parsed.options;
    if (opts.help) {
        std::fputs(qPrintable(sim::usageText(program)), stdout);
        return 0;
    }

    std::vector<quint16> image = factory::registerImage();
    if (!opts.imagePath.isEmpty()) {
        QString error;
        auto loaded = imagefile::load(opts.imagePath, &error);
        if (!loaded) {
            complain(error);
            return kExitUsage;
        }
        image = std::move(*loaded);
    }

    // Before the path goes out: whoever reads it may signal us right away.
    sim::installSignalHandlers();

    QString error;
    sim::Pty pty;
    sim::TcpListener listener;
    const bool tcp = !opts.tcpAddress.isEmpty();
    if (tcp ? !listener.listen(opts.tcpAddress, &error) : !pty.open(&error)) {
        complain(error);
        return kExitFailure;
    }
    sim::PtyLink link;
    if (!opts.linkPath.isEmpty() && !link.create(opts.linkPath, pty.slavePath(), &error)) {
        complain(error);
        return kExitFailure;
    }
    sim::DeviceServer server = tcp ? sim::DeviceServer(opts, sim::DeviceServer::Listening{listener.fd()})
                                   : sim::DeviceServer(opts, pty.masterFd());
    if (!tcp)
        server.setToolSideRate([&pty] { return pty.slaveRate(); });
    if (!server.init(image, &error)) {
        complain(error);
        return kExitFailure;
    }

    std::printf("%s\n", qPrintable(tcp ? listener.portName() : pty.slavePath()));
    std::fflush(stdout);

    int status = server.run() ? 0 : kExitFailure;
    if (!server.saveState(&error)) {
        complain(error);
        status = kExitFailure;
    }
    return status;
}
