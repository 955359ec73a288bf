#include "CommandLine.h"
#include "SimDevice.h"
#include "StatusOutput.h"
#include "TerminationSignal.h"

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

    // The event loop runs the ONVIF servers; a signal ends it.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &app, [] {
        if (devsim::TerminationSignal::received())
            QCoreApplication::quit();
    });
    poll.start(50);
    app.exec();

    for (auto &d : devices)
        d->stop();
    for (auto &d : devices)
        devsim::StatusOutput::line(QStringLiteral("STOPPED ") + d->config().uid);
    return 0;
}
