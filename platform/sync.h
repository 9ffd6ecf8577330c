// Locks and atomic counters in the shape the rest of the code base expects:
// a recursive critical section and interlocked 32-bit / pointer operations.
#pragma once
#include <pthread.h>
#include <sched.h>

#include <cstdint>

#include "platform/wintypes.h"

// Recursive lock: the owning thread may enter it again; every enter needs a
// matching leave. Must be initialised before use and deleted afterwards.
struct CRITICAL_SECTION {
    pthread_mutex_t mutex;
};
using LPCRITICAL_SECTION = CRITICAL_SECTION*;

inline void InitializeCriticalSection(CRITICAL_SECTION* cs)
{
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&cs->mutex, &attr);
    pthread_mutexattr_destroy(&attr);
}

// The spin count has no meaning here; kept for callers that pass one.
inline BOOL InitializeCriticalSectionAndSpinCount(CRITICAL_SECTION* cs, DWORD /*spinCount*/)
{
    InitializeCriticalSection(cs);
    return TRUE;
}

inline void EnterCriticalSection(CRITICAL_SECTION* cs) { pthread_mutex_lock(&cs->mutex); }
inline void LeaveCriticalSection(CRITICAL_SECTION* cs) { pthread_mutex_unlock(&cs->mutex); }
inline BOOL TryEnterCriticalSection(CRITICAL_SECTION* cs)
{
    return pthread_mutex_trylock(&cs->mutex) == 0 ? TRUE : FALSE;
}
inline void DeleteCriticalSection(CRITICAL_SECTION* cs) { pthread_mutex_destroy(&cs->mutex); }

namespace tvp {

// Scope guard over a critical section.
class CriticalSectionLock {
public:
    explicit CriticalSectionLock(CRITICAL_SECTION* cs) : m_cs(cs) { EnterCriticalSection(m_cs); }
    ~CriticalSectionLock() { LeaveCriticalSection(m_cs); }
    CriticalSectionLock(const CriticalSectionLock&) = delete;
    CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;

private:
    CRITICAL_SECTION* m_cs;
};

// Non-recursive lock for very short critical regions (a few list
// operations): an atomic flag, spinning briefly and then yielding.
class SpinLock {
public:
    void lock()
    {
        for (int spins = 0; __atomic_exchange_n(&m_locked, true, __ATOMIC_ACQUIRE); ++spins) {
            while (__atomic_load_n(&m_locked, __ATOMIC_RELAXED)) {
                if (++spins > 64) {
                    sched_yield();
                    spins = 0;
                }
            }
        }
    }
    bool try_lock() { return !__atomic_exchange_n(&m_locked, true, __ATOMIC_ACQUIRE); }
    void unlock() { __atomic_store_n(&m_locked, false, __ATOMIC_RELEASE); }

private:
    bool m_locked = false;
};

class SpinLockGuard {
public:
    explicit SpinLockGuard(SpinLock& l) : m_l(l) { m_l.lock(); }
    ~SpinLockGuard() { m_l.unlock(); }
    SpinLockGuard(const SpinLockGuard&) = delete;
    SpinLockGuard& operator=(const SpinLockGuard&) = delete;

private:
    SpinLock& m_l;
};

}  // namespace tvp

// Interlocked operations: sequentially consistent, on 32-bit signed values.
// Increment/Decrement return the new value; Exchange and CompareExchange
// return the value found before the operation.
inline LONG InterlockedIncrement(LONG volatile* target)
{
    return __atomic_add_fetch(target, 1, __ATOMIC_SEQ_CST);
}
inline LONG InterlockedDecrement(LONG volatile* target)
{
    return __atomic_sub_fetch(target, 1, __ATOMIC_SEQ_CST);
}
inline LONG InterlockedExchange(LONG volatile* target, LONG value)
{
    return __atomic_exchange_n(target, value, __ATOMIC_SEQ_CST);
}
inline LONG InterlockedExchangeAdd(LONG volatile* target, LONG value)
{
    return __atomic_fetch_add(target, value, __ATOMIC_SEQ_CST);
}
inline LONG InterlockedCompareExchange(LONG volatile* target, LONG exchange, LONG comparand)
{
    __atomic_compare_exchange_n(target, &comparand, exchange, false, __ATOMIC_SEQ_CST,
                                __ATOMIC_SEQ_CST);
    return comparand;
}
inline void* InterlockedCompareExchangePointer(void* volatile* target, void* exchange,
                                               void* comparand)
{
    __atomic_compare_exchange_n(target, &comparand, exchange, false, __ATOMIC_SEQ_CST,
                                __ATOMIC_SEQ_CST);
    return comparand;
}
inline void* InterlockedExchangePointer(void* volatile* target, void* value)
{
    return __atomic_exchange_n(target, value, __ATOMIC_SEQ_CST);
}
