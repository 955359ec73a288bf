#include "app/LiveStartup.h"

#include "config/Config.h"
#include "model/Channel.h"
#include "model/Dev.h"
#include "model/Device.h"
#include "model/RtspUrl.h"
#include "view/ViewControl.h"

#include <QUrl>
#include <QWidget>
#include <QtDebug>

static_assert(StoredLimits::WindowLayouts == WindowMod::Count,
              "the stored layout index is bounded by the layouts of the grid");

namespace {

// True when text is a non-empty run of the digits 0-9 (no sign, no spaces).
bool isDigits(const QString &text)
{
    if (text.isEmpty())
        return false;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return false;
    }
    return true;
}

bool isRtspEntry(const QString &item)
{
    return item.startsWith(QLatin1String("rtsp://"), Qt::CaseInsensitive) ||
           item.startsWith(QLatin1String("rtsps://"), Qt::CaseInsensitive);
}

// The device of an RTSP entry: the registered one with its UID, or a new
// one of this session with the entry's one stream.
Device *rtspDevice(const LiveStartup::Entry &e, Dev *dev)
{
    if (Device *known = dev->deviceByUid(e.uid)) {
        // Credentials given with the URL are the ones this session uses.
        if (known->kind() == DeviceKind::Rtsp && !(e.user.isEmpty() && e.password.isEmpty())) {
            known->setViewAccount(e.user);
            known->setViewPassword(e.password);
        }
        return known;
    }
    auto *d = new Device();
    d->setKind(DeviceKind::Rtsp);
    d->setUid(e.uid);
    d->setType(StoredLimits::DefaultDeviceType);
    d->setNickName(QUrl(e.url).host());
    d->setViewAccount(e.user);
    d->setViewPassword(e.password);
    RtspSource source;
    source.streams = {RtspStream{e.url, QString()}};
    d->setRtsp(source);
    d->setChannelCount(1);
    Device *registered = dev->addOrUpdate(d);
    dev->reload();
    return registered;
}

} // namespace

QList<LiveStartup::Entry> LiveStartup::parse(const QString &text, QString *error)
{
    const QStringList parts = text.split(u',');
    if (parts.size() > MaxEntries) {
        *error = QStringLiteral("%1 channels given, at most %2 fit the grid")
                     .arg(parts.size())
                     .arg(MaxEntries);
        return {};
    }
    QList<Entry> entries;
    for (const QString &part : parts) {
        const QString item = part.trimmed();
        if (isRtspEntry(item)) {
            RtspUrl::Split url;
            QString why;
            if (!RtspUrl::split(item, &url, &why)) {
                *error = QStringLiteral("entry %1: %2").arg(entries.size() + 1).arg(why);
                return {};
            }
            entries.append({RtspUrl::deviceUid(url.url), 1, url.url, url.user, url.password});
            continue;
        }
        const qsizetype colon = item.indexOf(u':');
        const QString uid = colon < 0 ? item : item.left(colon);
        const QString number = colon < 0 ? QString() : item.mid(colon + 1);
        bool ok = false;
        const int channel = isDigits(number) ? number.toInt(&ok) : 0;
        QString why;
        if (item.isEmpty())
            why = QStringLiteral("empty entry, expected UID:CHANNEL");
        else if (colon < 0)
            why = QStringLiteral("expected UID:CHANNEL");
        else if (uid.isEmpty())
            why = QStringLiteral("no device UID before ':'");
        else if (uid.size() > StoredLimits::MaxUidLength)
            why = QStringLiteral("device UID longer than %1 characters")
                      .arg(StoredLimits::MaxUidLength);
        else if (!ok || channel < 1)
            why = QStringLiteral("the channel must be a number from 1");
        if (!why.isEmpty()) {
            *error = QStringLiteral("\"%1\": %2").arg(item, why);
            return {};
        }
        entries.append({uid, channel});
    }
    return entries;
}

WINDOW_MOD LiveStartup::layoutFor(int n)
{
    for (int mod = 0; mod < WindowMod::Count; ++mod) {
        if (WindowMod::windowCount(mod) >= n)
            return WINDOW_MOD(mod);
    }
    return WINDOW_MOD(WindowMod::Count - 1);
}

void LiveStartup::open(const QList<Entry> &entries, ViewControl *view, Dev *dev)
{
    view->setWindowMod(layoutFor(int(entries.size())));
    for (int cell = 0; cell < entries.size(); ++cell) {
        const Entry &e = entries.at(cell);
        const Device *device = e.url.isEmpty() ? dev->deviceByUid(e.uid) : rtspDevice(e, dev);
        if (!device) {
            qWarning("live: %s: unknown device, window %d left empty", qUtf8Printable(e.uid),
                     cell + 1);
            continue;
        }
        Channel *channel =
            e.channel <= device->channelCount() ? device->channel(e.channel - 1) : nullptr;
        if (!channel) {
            qWarning("live: %s has no channel %d (it has %d), window %d left empty",
                     qUtf8Printable(e.uid), e.channel, device->channelCount(), cell + 1);
            continue;
        }
        view->openInCell(channel, cell);
    }
}
