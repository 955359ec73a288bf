#pragma once

#include "ApiTypes.h"

#include <QHostAddress>
#include <QStringList>

namespace accountd {

// orvane-accountd's command line: the global options, the command (serve, add-user,
// add-device, reset-password) and its arguments. Pure; the caller acts on the result.
class CommandLine
{
public:
    enum class Command { Serve, AddUser, AddDevice, ResetPassword, Help, Version };

    struct Options
    {
        Command command = Command::Serve;
        QString database;
        QHostAddress listenAddress = QHostAddress::LocalHost;
        quint16 listenPort = 8080;
        QString tlsCertificate;
        QString tlsKey;
        QString keyFile; // empty: next to a SQLite database file
        bool watchStdin = false;
        ApiSettings settings;
        QStringList arguments; // the command's positional arguments
        // add-user
        QString nickname, email, phone;
        // add-device
        QString viewAccount, viewPassword, area;
        QString onvif, streams; // either makes the device an RTSP one
        int type = 0;
        int channels = 1;
    };

    struct Result
    {
        Options options;
        QString error; // non-empty: unusable; print it and exit with status 2
        QString helpText;
    };

    // args includes the program name first, like QCoreApplication::arguments().
    static Result parse(const QStringList &args);
};

} // namespace accountd
