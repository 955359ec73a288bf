// Records channel 1 of a devsim device until it is killed: the client
// process that tst_e2e_record cuts off with SIGKILL mid-recording.
//
//   record_child SETTINGS_DIR VIDEO_DIR UID PASSWORD
//
// ORVANE_P2P_PEERS names the device. Prints "RECORDING <path>" once the
// file is open.

#include "E2eClient.h"

#include "app/LiveStartup.h"
#include "media/Video.h"
#include "media/VideoRecord.h"
#include "model/Channel.h"
#include "model/Dev.h"
#include "model/Device.h"
#include "view/ViewControl.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 5) {
        std::fprintf(stderr, "usage: record_child SETTINGS_DIR VIDEO_DIR UID PASSWORD\n");
        return 2;
    }
    const QString uid = args.at(3);
    E2eClient::useSettings(args.at(1));
    Config::instance()->set(ConfigKey::VideoPath, args.at(2));
    if (!E2eClient::registerDevice(uid, args.at(4), 1))
        return 1;
    E2eClient client;
    client.show();
    LiveStartup::open({{uid, 1}}, ViewControl::instance(), Dev::instance());

    QObject::connect(Video::instance(), &Video::decodeSuccess, &app, [uid](Channel *ch, bool live) {
        if (!live || ch->recording(true) || ch->device()->uid() != uid)
            return;
        Dev::instance()->setSelectedChannel(ch);
        ViewControl::instance()->recordChange(ch, true);
    });
    QObject::connect(VideoRecord::instance(), &VideoRecord::recordStarted, &app,
                     [](Channel *, bool, const QString &path) {
                         std::printf("RECORDING %s\n", qUtf8Printable(path));
                         std::fflush(stdout);
                     });
    return app.exec();
}
