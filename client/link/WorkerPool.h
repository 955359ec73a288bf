#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// A fixed set of std::threads for background work. The link layer's tasks
// and the media pipeline's streams each have a pool of their own, so that a
// slow device call never holds up decoding and the other way round. Work
// that must run in order (one device's calls, one stream's frames) goes
// through a SerialQueue on top.
//
// Built on std::thread, std::mutex and std::condition_variable, so that
// ThreadSanitizer sees every hand-over between the threads.
//
// Threads: post() any thread; stop() and the destructor from a thread that
// is not one of the workers.
class WorkerPool
{
public:
    // The media pipeline's pool: one worker per core, at least two.
    static WorkerPool &media();
    // The link layer's pool: its tasks mostly wait on the network, so it has
    // more workers than cores.
    static WorkerPool &link();

    explicit WorkerPool(int threads);
    ~WorkerPool();
    WorkerPool(const WorkerPool &) = delete;
    WorkerPool &operator=(const WorkerPool &) = delete;

    // Runs task on a worker soon. After stop() tasks are dropped.
    void post(std::function<void()> task);
    // Lets the tasks that run finish, drops the queued ones and joins the
    // workers; a worker still busy after waitMs is left to the process's
    // end (logged). Idempotent. Returns whether all workers ended.
    bool stop(int waitMs = 5000);

private:
    void work();

    std::mutex m_lock;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_tasks; // m_lock
    bool m_stopping = false;                   // m_lock
    int m_running = 0;                         // m_lock: workers not yet returned
    std::condition_variable m_ended;
    std::vector<std::thread> m_threads;
};

// Tasks that run one at a time, in the order posted, on a WorkerPool: the
// serial worker of one stream. Copies share the queue.
//
// Threads: any thread; drain() not from inside one of the queue's tasks.
class SerialQueue
{
public:
    explicit SerialQueue(WorkerPool &pool = WorkerPool::media());

    void post(std::function<void()> task);
    // Waits until every task posted before the call has run
    // stopped). Returns false when that took longer than timeoutMs (as it
    // does when the pool stopped first).
    bool drain(int timeoutMs = 5000) const;

private:
    struct State
    {
        std::mutex lock;
        std::condition_variable idle;
        std::deque<std::function<void()>> tasks; // lock
        bool scheduled = false;                  // lock: a pool task runs the queue
        unsigned long long posted = 0;           // lock
        unsigned long long done = 0;             // lock
    };
    static void run(WorkerPool *pool, const std::shared_ptr<State> &state);

    WorkerPool *m_pool;
    std::shared_ptr<State> m_state;
};
