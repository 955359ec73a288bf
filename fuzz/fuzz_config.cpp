// libFuzzer target: reading the settings files. The input is written as the
// default settings file (which here is also the configuration file), then
// read back through Config; every value must come out within its bounds, and
// the named layouts read must read back the same once written again.
#include "config/Config.h"
#include "model/RtspUrl.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QSettings>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

namespace {

void quiet(QtMsgType, const QMessageLogContext &, const QString &) {}

void require(bool condition)
{
    if (!condition)
        std::abort();
}

// The named layouts and the tour settings, each value checked against its bound.
void requireLayoutsInBounds(Config &config)
{
    using namespace StoredLimits;
    const QList<LayoutRecord> layouts = config.readLayouts();
    require(layouts.size() <= MaxLayouts);
    QSet<QString> names;
    for (const LayoutRecord &r : layouts) {
        require(!r.name.isEmpty() && r.name.size() <= MaxLayoutNameLength &&
                r.name == r.name.trimmed() && !names.contains(r.name));
        for (const QChar c : r.name)
            require(c.category() != QChar::Other_Control);
        names.insert(r.name);
        require(r.windowMod >= 0 && r.windowMod < WindowLayouts);
        require(r.cells.size() <= layoutCells(r.windowMod) && r.cells.size() <= MaxChannels);
        for (const LayoutCell &c : r.cells)
            require(c.isEmpty() ? c.channel == -1
                                : c.uid.size() <= MaxUidLength && c.channel >= 0 &&
                                      c.channel < MaxChannels);
        require(r.screen >= -1 && r.screen <= MaxScreen);
        const QRect &g = r.geometry;
        require(g == QRect() ||
                (g.width() >= 1 && g.width() <= MaxWindowExtent && g.height() >= 1 &&
                 g.height() <= MaxWindowExtent && qAbs(g.x()) <= MaxWindowPosition &&
                 qAbs(g.y()) <= MaxWindowPosition));
        require(layoutProblem(r).isEmpty());
    }
    const QStringList tour = config.readTourLayouts();
    require(tour.size() <= MaxLayouts &&
            tour.size() == QSet<QString>(tour.begin(), tour.end()).size());
    for (const QString &name : tour)
        require(names.contains(name));
    require(config.get(ConfigKey::TourLayouts).size() <= ConfigKey::TourLayouts.maximum);
    require(config.get(ConfigKey::LastLayout).size() <= MaxLayoutNameLength);
    const int seconds = config.get(ConfigKey::TourSeconds);
    require(seconds >= 5 && seconds <= 3600);
    // Written again (removing no layout rewrites the array), the layouts read back the same.
    // (A file QSettings reads but cannot write back, such as one with a line without "=",
    // refuses the write: nothing to compare then.)
    if (!layouts.isEmpty() && config.removeLayout(QString()))
        require(config.readLayouts() == layouts);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qInstallMessageHandler(quiet);
    // Every read stages a copy in a temporary folder: keep those off the disk.
    if (QFileInfo(QStringLiteral("/dev/shm")).isWritable())
        qputenv("TMPDIR", "/dev/shm");
    static QTemporaryDir home;
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, home.path());
    QDir().mkpath(QFileInfo(Config::defaultSettingsPath()).absolutePath());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace StoredLimits;
    const QString file = Config::defaultSettingsPath();
    {
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        out.write(reinterpret_cast<const char *>(data), qint64(size));
    }
    Config config;
    const QList<LoginRecord> logins = config.readLogins();
    require(logins.size() <= Config::MaxLogins);
    for (const LoginRecord &r : logins)
        require(r.username.size() <= MaxNameLength && r.password.size() <= MaxPasswordLength &&
                (r.language == 0 || r.language == 1));
    config.get(ConfigKey::NewPath);
    config.get(ConfigKey::AccountBaseUrl);
    // A "newpath" naming another file moves the configuration out of reach.
    if (config.path() != file)
        return 0;
    const QList<DeviceRecord> devices = config.readDevices();
    require(devices.size() <= MaxDevices);
    for (const DeviceRecord &r : devices)
        require(r.uid.size() <= MaxUidLength && r.channel >= 1 && r.channel <= MaxChannels &&
                isKnownDeviceType(r.type) && r.nickname.size() <= MaxNameLength &&
                r.username.size() <= MaxNameLength && r.password.size() <= MaxPasswordLength);
    // An RTSP device has one stream per channel, or is known by its ONVIF host
    // alone (its channel count then comes from its media profiles, read when
    // it was added); every channel has a main stream; no URL keeps credentials.
    for (const DeviceRecord &r : devices) {
        if (r.kind != DeviceKind::Rtsp)
            continue;
        require(r.rtsp.onvifHost.size() <= MaxHostLength);
        if (r.rtsp.streams.isEmpty())
            require(!r.rtsp.onvifHost.isEmpty());
        else
            require(r.channel == r.rtsp.streams.size());
        for (const RtspStream &s : r.rtsp.streams) {
            require(!s.main.isEmpty());
            for (const QString &url : {s.main, s.sub}) {
                RtspUrl::Split split;
                require(url.isEmpty() ||
                        (RtspUrl::split(url, &split, nullptr) && !split.hasCredentials));
            }
        }
    }
    const int minutes = config.get(ConfigKey::RecordMinutes);
    require(minutes >= 1 && minutes <= MaxRecordMinutes);
    const int layout = config.get(ConfigKey::WindowNum);
    require(layout >= 0 && layout < WindowLayouts);
    require(config.get(ConfigKey::PicPath).size() <= 4096 &&
            config.get(ConfigKey::VideoPath).size() <= 4096);
    requireLayoutsInBounds(config);
    return 0;
}
