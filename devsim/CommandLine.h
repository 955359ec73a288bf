#pragma once

#include "DeviceConfig.h"

#include <QByteArray>
#include <QStringList>

#include <vector>

namespace devsim {

// Turns devsim's command line (and the JSON file named by --config) into device
// configurations. Pure: reads the file, nothing else.
class CommandLine
{
public:
    struct Result
    {
        std::vector<DeviceConfig> devices;
        QString error;           // non-empty: the command line is unusable
        bool help = false;       // --help was given; helpText holds the text
        bool watchStdin = false; // --watch-stdin: end when standard input closes
        int wsdPort = 3702;      // --wsd-port: WS-Discovery port of the ONVIF devices (0: any)
        QString helpText;
    };

    // args includes the program name first, like QCoreApplication::arguments().
    static Result parse(const QStringList &args);

    // A JSON array of device objects whose keys are the option names. Values from
    // `defaults` apply where an object lacks a key. Numbers and booleans are accepted
    // for numeric and flag options.
    static Result parseJson(const QByteArray &json, const DeviceConfig::OptionMap &defaults);
};

} // namespace devsim
