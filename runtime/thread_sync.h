// thread_sync.h: a lock and a condition for the threads of one process.
#pragma once
#include <windows.h>
#include <mutex>

// This toolchain's std::mutex and std::condition_variable wait on kernel objects: under Wine every
// wait and every wake-up of them is a round trip to the server, a few of them per file handed from
// thread to thread. The system's slim lock and condition variable wait on an address instead.
// ThreadLock is a standard lockable: std::lock_guard and std::unique_lock take it.
class ThreadLock {
public:
    ThreadLock() = default;
    ThreadLock(const ThreadLock&) = delete;
    ThreadLock& operator=(const ThreadLock&) = delete;
    void lock() { AcquireSRWLockExclusive(&lock_); }
    void unlock() { ReleaseSRWLockExclusive(&lock_); }

private:
    friend class ThreadCondition;
    SRWLOCK lock_ = SRWLOCK_INIT;
};

class ThreadCondition {
public:
    ThreadCondition() = default;
    ThreadCondition(const ThreadCondition&) = delete;
    ThreadCondition& operator=(const ThreadCondition&) = delete;
    // Waits until ready() holds; held must hold its lock, which is let go while waiting.
    template <class Ready>
    void Wait(std::unique_lock<ThreadLock>& held, Ready ready) {
        while (!ready()) SleepConditionVariableSRW(&condition_, &held.mutex()->lock_, INFINITE, 0);
    }
    void WakeAll() { WakeAllConditionVariable(&condition_); }

private:
    CONDITION_VARIABLE condition_ = CONDITION_VARIABLE_INIT;
};
