#pragma once

#include <atomic>
#include <mutex>

// The one way the client's singletons are kept. A class's static instance()
// returns SharedInstance<T>::get(): the shared object, created with no parent
// on first use (from any thread, once) and never deleted before exit.
//
// Two variations serve tests and the settings folder move:
//   - adopt(this) in a constructor makes the first object constructed the
//     shared one, so a test can build it with its own seams first;
//   - forget() lets the next get() create a new object (callers may still
//     hold the old one, which stays alive).
template<class T>
class SharedInstance
{
public:
    static T *get() { return get([] { return new T; }); }

    template<class Factory>
    static T *get(Factory create)
    {
        if (T *t = slot().load(std::memory_order_acquire))
            return t;
        std::lock_guard<std::mutex> lock(creation());
        if (T *t = slot().load(std::memory_order_acquire))
            return t;
        T *created = create();
        // A constructor that adopted itself has already taken the slot.
        T *expected = nullptr;
        slot().compare_exchange_strong(expected, created, std::memory_order_acq_rel);
        return slot().load(std::memory_order_acquire);
    }

    // Makes t the shared object when there is none yet; true when it is.
    static bool adopt(T *t)
    {
        T *expected = nullptr;
        return slot().compare_exchange_strong(expected, t, std::memory_order_acq_rel) ||
               expected == t;
    }
    static bool isShared(const T *t) { return slot().load(std::memory_order_acquire) == t; }
    // For destructors: the slot forgets t if it held it.
    static void release(T *t)
    {
        T *expected = t;
        slot().compare_exchange_strong(expected, nullptr, std::memory_order_acq_rel);
    }
    static void forget() { slot().store(nullptr, std::memory_order_release); }

private:
    static std::atomic<T *> &slot()
    {
        static std::atomic<T *> shared{nullptr};
        return shared;
    }
    static std::mutex &creation()
    {
        static std::mutex m;
        return m;
    }
};
