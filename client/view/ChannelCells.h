#pragma once

#include <QList>

class Channel;
class GlWidgetViewWindow;

// The cells that show each channel, in every window. A decoded picture goes
// to the cells of its channel only, and a channel is decoded while any of
// its cells is seen. GUI thread only.
namespace ChannelCells {

void add(Channel *channel, GlWidgetViewWindow *cell);
// Takes the cell off and sets the channel's seen flag for the cells left.
void remove(Channel *channel, GlWidgetViewWindow *cell);
QList<GlWidgetViewWindow *> of(const Channel *channel);
// The channel is seen while one of its cells is visible in a window that is
// not minimised.
void updateSeen(Channel *channel);
// Sends the decoder's pictures to the cells (once per decoder).
void routePictures();

} // namespace ChannelCells
