#include "app/StatsFile.h"

#include "model/Channel.h"
#include "model/Dev.h"
#include "model/Device.h"
#include "view/ViewControl.h"

#include <QWidget>

#include <QDateTime>
#include <QDebug>
#include <QSaveFile>
#include <QTimer>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

StatsFile::StatsFile(const QString &path, bool recordFirst, Dev *dev, ViewControl *view,
                     QObject *parent)
    : QObject(parent)
    , m_path(path)
    , m_recordFirst(recordFirst)
    , m_dev(dev)
    , m_view(view)
    , m_timer(new QTimer(this))
{
    connect(m_timer, &QTimer::timeout, this, &StatsFile::write);
    m_timer->start(1000);
}

QString StatsFile::text() const
{
    QString out = QStringLiteral("time %1\n").arg(QDateTime::currentMSecsSinceEpoch());
#if defined(__GLIBC__)
    // What the heap holds for the program against what it keeps from the
    // system: a leak grows the first, fragmentation only the second.
    const struct mallinfo2 heap = mallinfo2();
    out += QStringLiteral("heap used %1 kept %2\n")
               .arg(quint64(heap.uordblks + heap.hblkhd))
               .arg(quint64(heap.arena + heap.hblkhd));
#endif
    for (const Device *d : m_dev->devices()) {
        for (int i = 0; i < d->channelCount(); ++i) {
            const Channel *ch = d->channel(i);
            const StreamCounters &c = ch->slot(true).counters;
            const quint64 received = StreamCounters::read(c.framesReceived);
            if (!ch->viewRequested(true) && received == 0)
                continue;
            out += QStringLiteral("channel %1:%2 wanted %3 received %4 decoded %5 drawn %6\n")
                       .arg(d->uid())
                       .arg(i + 1)
                       .arg(ch->viewRequested(true) ? 1 : 0)
                       .arg(received)
                       .arg(StreamCounters::read(c.framesDecoded))
                       .arg(StreamCounters::read(c.framesDrawn));
        }
    }
    return out;
}

void StatsFile::write()
{
    if (m_recordFirst && m_view) {
        // The first wanted channel of the wall, once it streams.
        for (Device *d : m_dev->devices()) {
            Channel *ch = d->channelCount() > 0 ? d->channel(0) : nullptr;
            if (ch && ch->viewRequested(true) && ch->videoOn(true) &&
                StreamCounters::read(ch->slot(true).counters.framesDecoded) > 0) {
                if (!ch->recording(true))
                    m_view->recordChange(ch, true);
                m_recordFirst = false;
                break;
            }
        }
    }
    if (m_path.isEmpty())
        return;
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text().toUtf8()) < 0 || !file.commit())
        qWarning() << "stats file" << m_path << "not written:" << file.errorString();
}
