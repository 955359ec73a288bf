#include "link/DeviceLinks.h"

#include "diagnostics/Checks.h"
#include "link/DeviceEvents.h"
#include "link/IoConnect.h"
#include "link/P2pDeviceLink.h"
#include "model/Device.h"
#include "model/SharedInstance.h"

namespace {

DeviceLink *&rtspLink()
{
    static DeviceLink *link = nullptr;
    return link;
}

} // namespace

namespace DeviceLinks {

DeviceEvents *events()
{
    return SharedInstance<DeviceEvents>::get();
}

void startLanSearch()
{
    ORVANE_ASSERT_GUI_THREAD();
    IoConnect::instance()->startLanSearch();
}

QList<LanSearchResult> lanResults()
{
    ORVANE_ASSERT_GUI_THREAD();
    return IoConnect::instance()->lanResults();
}

bool has(const Device *d, int feature)
{
    return d && (of(d)->features(d) & feature) == feature;
}

DeviceLink *ofKind(DeviceKind kind)
{
    ORVANE_ASSERT_GUI_THREAD();
    if (kind == DeviceKind::Rtsp && rtspLink())
        return rtspLink();
    return P2pDeviceLink::instance();
}

DeviceLink *of(const Device *d)
{
    return ofKind(d ? d->kind() : DeviceKind::P2p);
}

void install(DeviceKind kind, DeviceLink *link)
{
    ORVANE_ASSERT_GUI_THREAD();
    ORVANE_CHECK(kind != DeviceKind::P2p, return );
    rtspLink() = link;
}

bool shutdownAll(int waitMs)
{
    ORVANE_ASSERT_GUI_THREAD();
    bool ended = true;
    if (DeviceLink *rtsp = rtspLink())
        ended = rtsp->shutdown(waitMs) && ended;
    return P2pDeviceLink::instance()->shutdown(waitMs) && ended;
}

} // namespace DeviceLinks
