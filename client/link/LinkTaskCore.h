#pragma once

#include "link/SdkApi.h"
#include "link/WorkerPool.h"

#include <QHash>
#include <QMutex>
#include <QObject>
#include <QPointer>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

class GuiMailbox;
class QEvent;

// What IoConnect's background tasks share with it: one serial executor per
// device, so that one device's calls (made through sdkApi()) keep their
// order while different devices' calls run at once (a connect hanging on a
// dead device holds up no other device), the closing flag and the event
// receiver. Held by shared_ptr, so a task that outlives IoConnect still
// finds it; once detached, events are dropped instead of posted.
class LinkTaskCore : public std::enable_shared_from_this<LinkTaskCore>
{
public:
    explicit LinkTaskCore(QObject *receiver)
        : m_receiver(receiver)
    {}

    // Whose executor a task runs on: the device it concerns, or null for
    // work of no device (LAN search).
    using Key = const void *;

    // Set at shutdown: tasks not yet started skip their SDK work.
    std::atomic<bool> closing{false};

    // GUI thread, before the first task: results cross to the GUI thread
    // through this mailbox (not owned; the receiver's child), so that the
    // hand-over is one ThreadSanitizer can follow.
    void setMailbox(GuiMailbox *mailbox);
    // Any thread: has e sent to the receiver on the GUI thread (through the
    // mailbox, in posting order), or deletes it when the core is closing or
    // detached.
    void post(QEvent *e);
    // GUI thread: no more events are delivered after this returns.
    void detach();

    // GUI thread: runs work on key's serial executor (after the work started
    // for key before it) on the link pool, and counts it until it ends.
    // Nothing is started while closing; returns whether it was started.
    bool start(Key key, std::function<void()> work);
    // Waits at most ms milliseconds for every started task to end.
    bool waitForTasks(int ms);
    int activeTasks() const;

private:
    std::mutex m_postLock;
    QObject *m_receiver;             // m_postLock
    GuiMailbox *m_mailbox = nullptr; // m_postLock
    // Standard primitives: ThreadSanitizer follows their waits.
    mutable std::mutex m_countLock;
    std::condition_variable m_idle;
    int m_active = 0;
    QHash<Key, SerialQueue> m_queues; // GUI thread
};

using LinkTaskCorePtr = std::shared_ptr<LinkTaskCore>;
