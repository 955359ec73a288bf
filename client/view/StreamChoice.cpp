#include "view/StreamChoice.h"

#include "config/Config.h"
#include "link/DeviceEvents.h"
#include "link/DeviceLink.h"
#include "link/DeviceLinks.h"
#include "model/Channel.h"
#include "model/Dev.h"
#include "view/GlWidgetViewWindow.h"
#include "view/StreamFit.h"

StreamChoice::StreamChoice(Dev *dev, LinkOf linkOf, QObject *parent)
    : QObject(parent)
    , m_dev(dev)
    , m_linkOf(std::move(linkOf))
{
    m_timer.setSingleShot(true);
    m_timer.setInterval(DelayMs);
    connect(&m_timer, &QTimer::timeout, this, &StreamChoice::fit);
    DeviceEvents *io = DeviceLinks::events();
    connect(io, &DeviceEvents::changeQualitySuccessMsg, this,
            [this](Channel *ch) { m_asked.remove(ch); });
    connect(io, &DeviceEvents::changeQualityFailMsg, this,
            [this](Channel *ch, int, const QString &) { m_asked.remove(ch); });
}

void StreamChoice::fit()
{
    const bool pinned = Config::instance()->get(ConfigKey::StreamQuality) == 1;
    for (Channel *ch : m_dev->connectedChannels()) {
        if (ch->avIndex(true) < 0)
            continue;
        // The largest of the channel's visible live cells, zoom included.
        QSize cell;
        for (const GlWidgetViewWindow *w : GlWidgetViewWindow::cellsShowing(ch)) {
            if (w->isVisible() && w->showsLive())
                cell = cell.expandedTo(w->streamFitSize());
        }
        if (cell.isEmpty())
            continue;
        const bool asked = m_asked.value(ch, ch->quality(true));
        const bool hd = pinned || StreamFit::wantHd(asked, cell, ch->hdPictureSize());
        if (hd == asked)
            continue;
        m_asked.insert(ch, hd);
        m_linkOf(ch)->changeQuality(ch, hd);
    }
}
