#include "view/ChannelCells.h"

#include "media/Video.h"
#include "model/Channel.h"
#include "view/GlWidgetViewWindow.h"

#include <QMultiHash>
#include <QPointer>

namespace ChannelCells {

namespace {

QMultiHash<Channel *, GlWidgetViewWindow *> &cells()
{
    static QMultiHash<Channel *, GlWidgetViewWindow *> all;
    return all;
}

} // namespace

void add(Channel *channel, GlWidgetViewWindow *cell)
{
    cells().insert(channel, cell);
}

void remove(Channel *channel, GlWidgetViewWindow *cell)
{
    cells().remove(channel, cell);
    updateSeen(channel);
}

QList<GlWidgetViewWindow *> of(const Channel *channel)
{
    return cells().values(const_cast<Channel *>(channel));
}

void updateSeen(Channel *channel)
{
    if (!channel)
        return;
    bool seen = false;
    for (const GlWidgetViewWindow *cell : of(channel)) {
        const QWidget *top = cell->window();
        seen = seen || (cell->isVisible() && !(top->windowState() & Qt::WindowMinimized) &&
                        cell->width() > 0 && cell->height() > 0);
    }
    channel->setSeen(seen);
}

void routePictures()
{
    static QPointer<Video> routed;
    Video *video = Video::instance();
    if (routed == video)
        return;
    routed = video;
    QObject::connect(video, &Video::decodeSuccess, video,
                     [](Channel *channel, bool live, int width, int height, uint timestamp) {
                         for (GlWidgetViewWindow *cell : of(channel))
                             cell->showImg(channel, live, width, height, timestamp);
                     });
}

} // namespace ChannelCells
