// thread_sync_test.cpp: the lock keeps its holders apart and the condition wakes a waiter for every change.
#include "runtime/thread_sync.h"
#include <gtest/gtest.h>
#include <thread>
#include <vector>

TEST(ThreadSync, TurnsHandedBackAndForthAreNeitherLostNorShared) {
    // Two threads take turns through one condition; each turn also bumps a count that only the lock
    // guards. A wake-up lost hangs the test; a lock that let both in loses counts.
    const int Turns = 20000;
    ThreadLock lock;
    ThreadCondition changed;
    int turn = 0;  // even: the first thread's, odd: the second's
    long count = 0;
    auto player = [&](int parity) {
        for (int i = 0; i < Turns; i++) {
            std::unique_lock<ThreadLock> held(lock);
            changed.Wait(held, [&] { return turn % 2 == parity; });
            turn++;
            count++;
            changed.WakeAll();
        }
    };
    std::vector<long> extra(4, 0);
    std::vector<std::thread> threads;
    threads.emplace_back(player, 0);
    threads.emplace_back(player, 1);
    for (long& mine : extra) {
        threads.emplace_back([&] {
            for (int i = 0; i < Turns; i++) {
                std::lock_guard<ThreadLock> held(lock);
                count++;
                mine++;
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(2 * Turns, turn);
    EXPECT_EQ(2 * Turns + 4L * Turns, count);
}
