#include "link/GuiMailbox.h"

#include "diagnostics/Checks.h"

#include <QMetaObject>
#include <QSocketNotifier>

#ifdef Q_OS_LINUX
#include <sys/eventfd.h>
#include <unistd.h>
#endif

GuiMailbox::GuiMailbox(QObject *parent)
    : QObject(parent)
{
#ifdef Q_OS_LINUX
    m_eventFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_eventFd >= 0) {
        m_notifier = new QSocketNotifier(m_eventFd, QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, [this] {
            quint64 count = 0;
            [[maybe_unused]] const ssize_t n = ::read(m_eventFd, &count, sizeof count);
            deliver();
        });
    }
#endif
}

GuiMailbox::~GuiMailbox()
{
    delete m_notifier;
#ifdef Q_OS_LINUX
    if (m_eventFd >= 0)
        ::close(m_eventFd);
#endif
}

void GuiMailbox::post(Key key, std::function<void()> fn)
{
    bool wakeUp = false;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_items.emplace_back(key, std::move(fn));
        wakeUp = !m_woken;
        m_woken = true;
    }
    if (wakeUp)
        wake();
}

void GuiMailbox::wake()
{
#ifdef Q_OS_LINUX
    if (m_eventFd >= 0) {
        const quint64 one = 1;
        [[maybe_unused]] const ssize_t n = ::write(m_eventFd, &one, sizeof one);
        return;
    }
#endif
    // No payload: the items stay under the mutex.
    QMetaObject::invokeMethod(this, &GuiMailbox::deliver, Qt::QueuedConnection);
}

void GuiMailbox::purge(Key key)
{
    ORVANE_ASSERT_GUI_THREAD();
    std::deque<std::pair<Key, std::function<void()>>> dropped;
    std::lock_guard<std::mutex> lock(m_lock);
    for (auto it = m_items.begin(); it != m_items.end();) {
        if (it->first == key) {
            dropped.push_back(std::move(*it));
            it = m_items.erase(it);
        } else {
            ++it;
        }
    }
}

void GuiMailbox::deliver()
{
    std::size_t count = 0;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_woken = false;
        count = m_items.size();
    }
    // What arrives meanwhile waits for its own wake-up, so that a busy
    // worker cannot keep the GUI thread here.
    for (std::size_t i = 0; i < count; ++i) {
        std::function<void()> fn;
        {
            std::lock_guard<std::mutex> lock(m_lock);
            if (m_items.empty())
                return;
            fn = std::move(m_items.front().second);
            m_items.pop_front();
        }
        fn();
    }
}
