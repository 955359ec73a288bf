#include "CommandLine.h"
#include "SimDevice.h"
#include "StatusOutput.h"
#include "TerminationSignal.h"

#include <QCoreApplication>
#include <QTextStream>

extern "C" {
#include <libavutil/log.h>
}

#include <chrono>
#include <memory>
#include <thread>
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

    while (!devsim::TerminationSignal::received())
        std::this_thread::sleep_for(std::chrono::milliseconds(50));

    for (auto &d : devices)
        d->stop();
    for (auto &d : devices)
        devsim::StatusOutput::line(QStringLiteral("STOPPED ") + d->config().uid);
    return 0;
}
