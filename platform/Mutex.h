#pragma once

// A mutex with clang's thread-safety annotations. Fields shared between threads are declared
// with GUARDED_BY(the mutex) and a clang build (-Wthread-safety) checks every access.

#include <mutex>

#if defined(__clang__)
#define PG_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define PG_THREAD_ANNOTATION(x)
#endif

#define CAPABILITY(x) PG_THREAD_ANNOTATION(capability(x))
#define SCOPED_CAPABILITY PG_THREAD_ANNOTATION(scoped_lockable)
#define GUARDED_BY(x) PG_THREAD_ANNOTATION(guarded_by(x))
#define PT_GUARDED_BY(x) PG_THREAD_ANNOTATION(pt_guarded_by(x))
#define ACQUIRED_BEFORE(...) PG_THREAD_ANNOTATION(acquired_before(__VA_ARGS__))
#define ACQUIRED_AFTER(...) PG_THREAD_ANNOTATION(acquired_after(__VA_ARGS__))
#define REQUIRES(...) PG_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define EXCLUDES(...) PG_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define ACQUIRE(...) PG_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define RELEASE(...) PG_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define TRY_ACQUIRE(...) PG_THREAD_ANNOTATION(try_acquire_capability(__VA_ARGS__))
#define RETURN_CAPABILITY(x) PG_THREAD_ANNOTATION(lock_returned(x))
#define ASSERT_CAPABILITY(x) PG_THREAD_ANNOTATION(assert_capability(x))
#define NO_THREAD_SAFETY_ANALYSIS PG_THREAD_ANNOTATION(no_thread_safety_analysis)

namespace pg {

class CAPABILITY("mutex") Mutex {
  public:
    Mutex() = default;
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;

    void lock() ACQUIRE() { mutex_.lock(); }
    void unlock() RELEASE() { mutex_.unlock(); }
    bool try_lock() TRY_ACQUIRE(true) { return mutex_.try_lock(); }

    // For assertions in functions annotated REQUIRES; the analysis does the real check.
    void AssertHeld() const PG_THREAD_ANNOTATION(assert_capability(this)) {}

  private:
    std::mutex mutex_;
};

// Holds a Mutex for its scope. Also usable with std::condition_variable_any, which calls
// unlock() and lock() on it while it waits.
class SCOPED_CAPABILITY MutexLock {
  public:
    explicit MutexLock(Mutex& mutex) ACQUIRE(mutex) : mutex_(mutex) { mutex_.lock(); }
    ~MutexLock() RELEASE() { mutex_.unlock(); }
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;

    void lock() ACQUIRE() { mutex_.lock(); }
    void unlock() RELEASE() { mutex_.unlock(); }

  private:
    Mutex& mutex_;
};

}  // namespace pg
