#pragma once

#include <QObject>

#include <deque>
#include <functional>
#include <mutex>

class QSocketNotifier;

// Carries work from the workers (media, link tasks) to the GUI thread. A worker posts a
// function with the data it carries; the GUI thread runs it. The data passes
// under a std::mutex, and the GUI thread is woken through an eventfd and a
// QSocketNotifier (a queued call without payload where there is no eventfd),
// so no Qt event carries data across threads and ThreadSanitizer sees every
// hand-over.
//
// Every item names a key (the channel it concerns); purge() drops what waits
// for a key that goes away.
//
// Threads: post() any thread; everything else on the thread that created it
// (the GUI thread).
class GuiMailbox : public QObject
{
    Q_OBJECT

public:
    using Key = const void *;

    explicit GuiMailbox(QObject *parent = nullptr);
    ~GuiMailbox() override;

    // Any thread: run fn on the GUI thread soon.
    void post(Key key, std::function<void()> fn);
    // Drops the items of key that have not run yet.
    void purge(Key key);
    // Runs what is waiting now (the wake-up does this; tests may too).
    void deliver();

private:
    void wake();

    std::mutex m_lock;
    std::deque<std::pair<Key, std::function<void()>>> m_items; // m_lock
    bool m_woken = false;                                      // m_lock
    int m_eventFd = -1;
    QSocketNotifier *m_notifier = nullptr;
};
