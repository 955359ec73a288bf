#include "link/LinkTaskCore.h"

#include "diagnostics/Checks.h"
#include "link/GuiMailbox.h"

#include <QCoreApplication>
#include <QEvent>

void LinkTaskCore::setMailbox(GuiMailbox *mailbox)
{
    ORVANE_ASSERT_GUI_THREAD();
    std::lock_guard<std::mutex> lock(m_postLock);
    m_mailbox = mailbox;
}

void LinkTaskCore::post(QEvent *e)
{
    std::lock_guard<std::mutex> lock(m_postLock);
    if (!m_receiver || closing.load()) {
        delete e;
        return;
    }
    if (!m_mailbox) {
        QCoreApplication::postEvent(m_receiver, e, Qt::NormalEventPriority);
        return;
    }
    // The mailbox goes with the receiver: what it still holds then is freed.
    QObject *receiver = m_receiver;
    std::shared_ptr<QEvent> event(e);
    m_mailbox->post(receiver,
                    [receiver, event] { QCoreApplication::sendEvent(receiver, event.get()); });
}

void LinkTaskCore::detach()
{
    std::lock_guard<std::mutex> lock(m_postLock);
    m_receiver = nullptr;
    m_mailbox = nullptr;
}

bool LinkTaskCore::start(Key key, std::function<void()> work)
{
    ORVANE_ASSERT_GUI_THREAD();
    if (closing.load())
        return false;
    {
        std::lock_guard<std::mutex> lock(m_countLock);
        ++m_active;
    }
    // The task keeps its own reference on the core: nobody waits for it.
    std::shared_ptr<LinkTaskCore> self = shared_from_this();
    auto queue = m_queues.find(key);
    if (queue == m_queues.end())
        queue = m_queues.insert(key, SerialQueue(WorkerPool::link()));
    queue->post([self, work = std::move(work)]() {
        work();
        std::lock_guard<std::mutex> lock(self->m_countLock);
        if (--self->m_active == 0)
            self->m_idle.notify_all();
    });
    return true;
}

bool LinkTaskCore::waitForTasks(int ms)
{
    std::unique_lock<std::mutex> lock(m_countLock);
    return m_idle.wait_for(lock, std::chrono::milliseconds(qMax(0, ms)),
                           [this] { return m_active == 0; });
}

int LinkTaskCore::activeTasks() const
{
    std::lock_guard<std::mutex> lock(m_countLock);
    return m_active;
}
