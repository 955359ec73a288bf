#pragma once

#include <QString>

class Channel;
class QMimeData;

// A channel dragged from the device tree onto a view cell. The drag carries
// the device's UID and the channel's index as text of its own type; what a
// drop carries may come from any application, so it is read with bounds and
// looked up among the known devices. GUI thread only.
namespace ChannelDrag {

inline constexpr char MimeType[] = "application/x-orvane-channel";

// The drag's data for the channel (owned by the caller).
QMimeData *mimeFor(const Channel *channel);
// "uid\nindex" of a drag's data; false for anything else.
bool parse(const QByteArray &data, QString *uid, int *index);
// The known channel a drop names, or null.
Channel *channelFrom(const QMimeData *mime);

} // namespace ChannelDrag
