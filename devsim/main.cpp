#include "CommandLine.h"
#include "SimDevice.h"
#include "StatusOutput.h"
#include "TerminationSignal.h"
#include "onvif/WsDiscovery.h"

#include <QCoreApplication>
#include <QTextStream>
#include <QTimer>

extern "C" {
#include <libavutil/log.h>
}

#include <memory>
#include <vector>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("devsim"));
    QTextStream err(stderr);

    const devsim::CommandLine::Result parsed = devsim::CommandLine::parse(app.arguments());
    if (parsed.help) {
        QTextStream(stdout) << parsed.helpText;
        return 0;
    }
    if (!parsed.error.isEmpty()) {
        err << "devsim: " << parsed.error << "\n";
        return 2;
    }

    av_log_set_level(AV_LOG_ERROR);
    devsim::TerminationSignal::install();
    if (parsed.watchStdin)
        devsim::TerminationSignal::watchStandardInput();

    // The event loop runs the ONVIF servers and WS-Discovery; a signal ends
    // it. Set up before the devices announce themselves: a harness may use
    // up the process's descriptors as soon as it reads READY.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &app, [] {
        if (devsim::TerminationSignal::received())
            QCoreApplication::quit();
    });
    poll.start(50);

    std::vector<std::unique_ptr<devsim::SimDevice>> devices;
    for (const devsim::DeviceConfig &config : parsed.devices) {
        auto device = std::make_unique<devsim::SimDevice>(config);
        QString error;
        if (!device->start(&error)) {
            err << "devsim: " << error << "\n";
            err.flush();
            for (auto &d : devices)
                d->stop();
            return 1;
        }
        devices.push_back(std::move(device));
    }

    // One WS-Discovery responder answers for every ONVIF device of the process.
    std::vector<devsim::WsDiscovery::Target> targets;
    for (const auto &d : devices) {
        const devsim::DeviceConfig &c = d->config();
        if (c.onvifPort >= 0)
            targets.push_back({c.uid, c.name, c.typeName(), c.isPtz(), d->onvifPort()});
    }
    std::unique_ptr<devsim::WsDiscovery> discovery;
    if (!targets.empty()) {
        discovery = std::make_unique<devsim::WsDiscovery>(std::move(targets));
        QString error;
        if (!discovery->start(static_cast<quint16>(parsed.wsdPort), &error)) {
            err << "devsim: " << error << "\n";
            err.flush();
            for (auto &d : devices)
                d->stop();
            return 1;
        }
        devsim::StatusOutput::line(QStringLiteral("WSD %1 %2")
                                       .arg(discovery->port())
                                       .arg(discovery->multicast() ? QStringLiteral("multicast")
                                                                   : QStringLiteral("unicast")));
    }

    app.exec();

    discovery.reset();
    for (auto &d : devices)
        d->stop();
    for (auto &d : devices)
        devsim::StatusOutput::line(QStringLiteral("STOPPED ") + d->config().uid);
    return 0;
}
