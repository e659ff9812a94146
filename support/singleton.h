// Singleton<T, Lock>: one process-wide T, built on first use while Lock is held, so that
// callers racing on different threads get the same, fully prepared object.
#pragma once
#include <atomic>
#include <mutex>
#include <optional>
#include <thread>

namespace velmora
{

// A minimal spin lock for short, rare critical sections (first use of a singleton).
class SpinLock
{
public:
    void lock() noexcept
    {
        while (m_flag.test_and_set(std::memory_order_acquire))
            std::this_thread::yield();
    }
    bool try_lock() noexcept { return !m_flag.test_and_set(std::memory_order_acquire); }
    void unlock() noexcept { m_flag.clear(std::memory_order_release); }

private:
    std::atomic_flag m_flag = ATOMIC_FLAG_INIT;
};

template <typename T, typename Lock> class Singleton
{
public:
    // The one object. On the first call it is constructed and handed to prepare (still under
    // the lock); later calls return it without taking the lock.
    template <typename Prepare> static T& instance(Prepare prepare)
    {
        T* p = s_pObject.load(std::memory_order_acquire);
        if (p)
            return *p;
        std::lock_guard<Lock> guard(s_lock);
        p = s_pObject.load(std::memory_order_relaxed);
        if (!p) {
            p = &s_object.emplace();
            prepare(*p);
            s_pObject.store(p, std::memory_order_release);
        }
        return *p;
    }
    static T& instance()
    {
        return instance([](T&) {});
    }

private:
    // Constant-initialised (before any constructor of the module runs, so that first use
    // from another static object is safe); the object is destroyed with the module.
    static inline constinit Lock s_lock;
    static inline constinit std::optional<T> s_object;
    static inline constinit std::atomic<T*> s_pObject{nullptr};
};

} // namespace velmora
