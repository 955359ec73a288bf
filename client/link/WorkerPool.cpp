#include "link/WorkerPool.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace {
// Tasks a serial queue runs before it lets other queues have the worker.
constexpr int SerialBatch = 16;
} // namespace

// The pools are never destroyed: work may still be posted while the process
// winds down; the application stops them in order before it exits.
WorkerPool &WorkerPool::media()
{
    static WorkerPool *pool = new WorkerPool(std::max(2, int(std::thread::hardware_concurrency())));
    return *pool;
}

WorkerPool &WorkerPool::link()
{
    static WorkerPool *pool = new WorkerPool(16);
    return *pool;
}

WorkerPool::WorkerPool(int threads)
{
    m_running = std::max(1, threads);
    for (int i = 0; i < m_running; ++i)
        m_threads.emplace_back([this] {
            work();
            std::lock_guard<std::mutex> lock(m_lock);
            --m_running;
            m_ended.notify_all();
        });
}

WorkerPool::~WorkerPool()
{
    stop();
}

void WorkerPool::post(std::function<void()> task)
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_stopping)
            return;
        m_tasks.push_back(std::move(task));
    }
    m_wake.notify_one();
}

bool WorkerPool::stop(int waitMs)
{
    std::deque<std::function<void()>> dropped;
    bool ended = false;
    {
        std::unique_lock<std::mutex> lock(m_lock);
        m_stopping = true;
        dropped.swap(m_tasks);
        m_wake.notify_all();
        ended = m_ended.wait_for(lock, std::chrono::milliseconds(std::max(0, waitMs)),
                                 [this] { return m_running == 0; });
    }
    for (std::thread &t : m_threads) {
        if (!t.joinable())
            continue;
        if (ended)
            t.join();
        else
            t.detach(); // still in a task that ignores the stop: never waited for
    }
    if (!ended)
        std::fprintf(stderr, "worker pool stopped with workers still busy\n");
    // Dropped tasks are destroyed here, outside the lock (their captures may
    // hold streams whose destructors post).
    dropped.clear();
    return ended;
}

void WorkerPool::work()
{
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock<std::mutex> lock(m_lock);
            m_wake.wait(lock, [this] { return m_stopping || !m_tasks.empty(); });
            if (m_stopping)
                return;
            task = std::move(m_tasks.front());
            m_tasks.pop_front();
        }
        task();
    }
}

SerialQueue::SerialQueue(WorkerPool &pool)
    : m_pool(&pool)
    , m_state(std::make_shared<State>())
{}

void SerialQueue::post(std::function<void()> task)
{
    bool schedule = false;
    {
        std::lock_guard<std::mutex> lock(m_state->lock);
        m_state->tasks.push_back(std::move(task));
        ++m_state->posted;
        schedule = !m_state->scheduled;
        m_state->scheduled = true;
    }
    if (schedule) {
        WorkerPool *pool = m_pool;
        std::shared_ptr<State> state = m_state;
        pool->post([pool, state] { run(pool, state); });
    }
}

void SerialQueue::run(WorkerPool *pool, const std::shared_ptr<State> &state)
{
    for (int n = 0; n < SerialBatch; ++n) {
        std::function<void()> task;
        {
            std::lock_guard<std::mutex> lock(state->lock);
            if (state->tasks.empty()) {
                state->scheduled = false;
                state->idle.notify_all();
                return;
            }
            task = std::move(state->tasks.front());
            state->tasks.pop_front();
        }
        task();
        task = nullptr; // captures released before the task counts as done
        std::lock_guard<std::mutex> lock(state->lock);
        ++state->done;
        state->idle.notify_all();
    }
    // Other queues get the worker; this one continues after them.
    pool->post([pool, state] { run(pool, state); });
}

bool SerialQueue::drain(int timeoutMs) const
{
    std::unique_lock<std::mutex> lock(m_state->lock);
    const unsigned long long target = m_state->posted;
    return m_state->idle.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                  [&] { return m_state->done >= target; });
}
