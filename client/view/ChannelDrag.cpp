#include "view/ChannelDrag.h"

#include "config/Config.h"
#include "model/Channel.h"
#include "model/Dev.h"
#include "model/Device.h"

#include <QMimeData>

namespace ChannelDrag {

QMimeData *mimeFor(const Channel *channel)
{
    if (!channel || !channel->device())
        return nullptr;
    auto *mime = new QMimeData;
    const QString text =
        channel->device()->uid() + QLatin1Char('\n') + QString::number(channel->index());
    mime->setData(QString::fromLatin1(MimeType), text.toUtf8());
    return mime;
}

bool parse(const QByteArray &data, QString *uid, int *index)
{
    // A UID, a line break and a channel index: nothing longer is ours.
    if (data.size() > StoredLimits::MaxUidLength * 4 + 8)
        return false;
    const int split = data.indexOf('\n');
    if (split <= 0)
        return false;
    const QString id = QString::fromUtf8(data.left(split));
    const QByteArray number = data.mid(split + 1);
    bool ok = false;
    const int n = number.toInt(&ok);
    if (!ok || number.size() > 2 || n < 0 || n >= StoredLimits::MaxChannels ||
        id.size() > StoredLimits::MaxUidLength)
        return false;
    for (const QChar c : id)
        if (c.category() == QChar::Other_Control)
            return false;
    *uid = id;
    *index = n;
    return true;
}

Channel *channelFrom(const QMimeData *mime)
{
    if (!mime || !mime->hasFormat(QString::fromLatin1(MimeType)))
        return nullptr;
    QString uid;
    int index = -1;
    if (!parse(mime->data(QString::fromLatin1(MimeType)), &uid, &index))
        return nullptr;
    Device *device = Dev::instance()->deviceByUid(uid);
    if (!device || index >= device->channelCount() || index >= device->channels().size())
        return nullptr;
    return device->channel(index);
}

} // namespace ChannelDrag
