#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/sync.h"

TEST(Sync, CriticalSectionIsRecursiveAndExcludesOtherThreads)
{
    CRITICAL_SECTION cs;
    InitializeCriticalSection(&cs);
    EnterCriticalSection(&cs);
    EXPECT_TRUE(TryEnterCriticalSection(&cs));  // same thread: recursive
    LeaveCriticalSection(&cs);

    BOOL otherGotIt = TRUE;
    std::thread([&] { otherGotIt = TryEnterCriticalSection(&cs); }).join();
    EXPECT_FALSE(otherGotIt);
    LeaveCriticalSection(&cs);
    std::thread([&] {
        otherGotIt = TryEnterCriticalSection(&cs);
        if (otherGotIt) LeaveCriticalSection(&cs);
    }).join();
    EXPECT_TRUE(otherGotIt);

    // Counter under the lock from several threads.
    int counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 10000; ++i) {
                tvp::CriticalSectionLock lock(&cs);
                ++counter;
            }
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(counter, 40000);
    DeleteCriticalSection(&cs);
}

TEST(Sync, InterlockedOperations)
{
    volatile LONG v = 5;
    EXPECT_EQ(InterlockedIncrement(&v), 6);
    EXPECT_EQ(InterlockedDecrement(&v), 5);
    EXPECT_EQ(InterlockedExchange(&v, 9), 5);
    EXPECT_EQ(InterlockedCompareExchange(&v, 1, 8), 9);  // no match: unchanged
    EXPECT_EQ(v, 9);
    EXPECT_EQ(InterlockedCompareExchange(&v, 1, 9), 9);
    EXPECT_EQ(v, 1);
    EXPECT_EQ(InterlockedExchangeAdd(&v, 10), 1);
    EXPECT_EQ(v, 11);

    int a = 0, b = 0;
    void* volatile p = &a;
    EXPECT_EQ(InterlockedCompareExchangePointer(&p, &b, &b), &a);
    EXPECT_EQ(p, &a);
    EXPECT_EQ(InterlockedCompareExchangePointer(&p, &b, &a), &a);
    EXPECT_EQ(p, &b);

    volatile LONG shared = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 10000; ++i) InterlockedIncrement(&shared);
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(shared, 40000);
}

TEST(Sync, SpinLockExcludes)
{
    tvp::SpinLock lock;
    EXPECT_TRUE(lock.try_lock());
    EXPECT_FALSE(lock.try_lock());  // not recursive
    lock.unlock();

    long counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 20000; ++i) {
                tvp::SpinLockGuard g(lock);
                ++counter;
            }
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(counter, 80000);
}
