#include "app/AppServices.h"
#include "app/WindowLogin.h"
#include "app/LiveStartup.h"
#include "app/StatsFile.h"
#include "diagnostics/MessageHandler.h"
#include "diagnostics/SystemInfo.h"
#include "model/Dev.h"
#include "view/ViewControl.h"
#include "view/WallLayouts.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFont>
#include <QFontDatabase>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

const QCommandLineOption localOption(QStringLiteral("local"),
                                     QStringLiteral("Skip the login window and sign in "
                                                    "locally as Admin."));
const QCommandLineOption liveOption(
    QStringLiteral("live"),
    QStringLiteral("Sign in locally and open these channels of the local devices in grid order "
                   "(channels numbered from 1); the grid takes the smallest layout that holds "
                   "them all. An entry may be an RTSP camera, "
                   "rtsp://[user:password@]host[:port]/path."),
    QStringLiteral("UID:CH|RTSP-URL[,...]"));
const QCommandLineOption statsOption(
    QStringLiteral("stats"),
    QStringLiteral("Rewrite this file every second with each wanted channel's frame counts "
                   "(for long-running checks)."),
    QStringLiteral("FILE"));
const QCommandLineOption
    recordOption(QStringLiteral("record"),
                 QStringLiteral("Record the first channel of --live as soon as it streams."));

const QCommandLineOption
    layoutOption(QStringLiteral("layout"),
                 QStringLiteral("Show this named layout at start (instead of the last one used)."),
                 QStringLiteral("NAME"));
const QCommandLineOption screenOption(
    QStringLiteral("screen"),
    QStringLiteral("With --layout: show the layout full screen in a window of its own on this "
                   "screen (numbered from 0), for a wall display."),
    QStringLiteral("N"));

void setNames()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Orvane"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("orvane.com"));
    QCoreApplication::setApplicationName(QStringLiteral("Orvane"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ORVANE_VERSION_TEXT));
}

void addOptions(QCommandLineParser *parser)
{
    parser->setApplicationDescription(QStringLiteral("Orvane network video client"));
    parser->addHelpOption();
    parser->addVersionOption();
    parser->addOption(localOption);
    parser->addOption(liveOption);
    parser->addOption(statsOption);
    parser->addOption(recordOption);
    parser->addOption(layoutOption);
    parser->addOption(screenOption);
}

// True when the help or the version is asked for: both are answered
// without a display.
bool asksForText(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        for (const char *option : {"-h", "--help", "-?", "-v", "--version"}) {
            if (std::strcmp(argv[i], option) == 0)
                return true;
        }
    }
    return false;
}

// Prints the help or the version and exits.
[[noreturn]] void answerText(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    setNames();
    QCommandLineParser parser;
    addOptions(&parser);
    // Qt's own GUI options are unknown here; they change neither answer.
    parser.parse(QCoreApplication::arguments());
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();
    parser.showHelp(0);
}

int runApplication(int argc, char *argv[])
{
    QApplication app(argc, argv); // takes its own options (-platform, -style, ...)
    setNames();
    QCommandLineParser parser;
    addOptions(&parser);
    parser.process(app);

    QList<LiveStartup::Entry> live;
    if (parser.isSet(liveOption)) {
        QString error;
        live = LiveStartup::parse(parser.value(liveOption), &error);
        if (live.isEmpty()) {
            std::fprintf(stderr, "orvane: --live: %s\n", qUtf8Printable(error));
            return 2;
        }
    }

    int screen = -1;
    if (parser.isSet(screenOption)) {
        bool ok = false;
        screen = parser.value(screenOption).toInt(&ok);
        if (!ok || screen < 0 || screen > 15 || !parser.isSet(layoutOption)) {
            std::fprintf(stderr, "orvane: --screen: a screen number from 0 to 15, with --layout\n");
            return 2;
        }
    }

    const int fontId =
        QFontDatabase::addApplicationFont(QStringLiteral(":/fonts/fonts/HELVETICA NEUE.ttf"));
    if (fontId < 0) {
        qWarning("cannot register the application font");
    } else {
        // Style sheets name the font by its historical family name.
        const QStringList families = QFontDatabase::applicationFontFamilies(fontId);
        if (!families.isEmpty())
            QFont::insertSubstitution(QStringLiteral("HELVETICA NEUE"), families.first());
    }
    SystemInfo::instance()->setScale(SystemInfo::screenScale());

    int result = 0;
    AppServices *services = AppServices::instance();
    {
        WallLayouts::instance()->setStartRequest(parser.value(layoutOption), screen,
                                                 !live.isEmpty());
        WindowLogin login;
        installMessageHandler();
        if (parser.isSet(localOption) || !live.isEmpty())
            login.localLogin();
        else
            login.show();
        if (!live.isEmpty())
            LiveStartup::open(live, ViewControl::instance(), Dev::instance());
        std::unique_ptr<StatsFile> stats;
        if (parser.isSet(statsOption) || (parser.isSet(recordOption) && !live.isEmpty()))
            stats = std::make_unique<StatsFile>(parser.value(statsOption),
                                                parser.isSet(recordOption) && !live.isEmpty(),
                                                Dev::instance(), ViewControl::instance());
        result = app.exec();
        stats.reset();
        // Streams, workers, recordings and sessions end in order while the
        // windows still exist (a no-op when the close button did it).
        services->stop();
    }
    return result;
}

} // namespace

int main(int argc, char *argv[])
{
    if (asksForText(argc, argv))
        answerText(argc, argv);
    const int result = runApplication(argc, argv);
    // Everything of ours has stopped (AppServices::stop) and is gone with the
    // application object. Only the libraries' static destructors are skipped: Qt Multimedia's
    // PulseAudio engine stops its PulseAudio thread from one of them and now and then libpulse
    // aborts in that thread, turning a clean exit into a crash.
    std::fflush(nullptr);
    std::_Exit(result);
}
