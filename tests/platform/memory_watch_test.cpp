// The latch of memory that ran out: set by any failed operator new while a
// watch lives (the nothrow forms too, whose callers see only a null), by
// the noted C allocations and by a room that cannot be had; cleared by the
// outermost watch and unseen outside one.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <new>

#include "platform/memory_watch.h"
#include "platform/system.h"

namespace {

// More than any address space holds: every allocation of it fails (read
// through a volatile, so that the compiler cannot leave the allocation out).
volatile std::size_t g_tooMuch = SIZE_MAX / 4;
const std::size_t kTooMuch = g_tooMuch;

}  // namespace

TEST(MemoryWatch, EveryRoadOfAFailedAllocationSetsTheLatch)
{
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "the sanitizer's allocator ends the process at an allocation larger than it serves, and its "
                    "operator new calls no new-handler";
#endif
    struct Road {
        const char* name;
        void (*fail)();
    };
    const Road roads[] = {
        {"new", [] {
             char* volatile p = nullptr;
             EXPECT_THROW(p = new char[g_tooMuch], std::bad_alloc);
             delete[] p;
         }},
        {"nothrow new", [] {
             char* volatile p = new (std::nothrow) char[g_tooMuch];
             EXPECT_EQ(p, nullptr);
             delete[] p;
         }},
        {"malloc", [] { EXPECT_EQ(tvp::mallocNoted(kTooMuch), nullptr); }},
        {"calloc", [] { EXPECT_EQ(tvp::callocNoted(kTooMuch, 2), nullptr); }},
        {"realloc", [] {
             void* p = std::malloc(16);
             EXPECT_EQ(tvp::reallocNoted(p, kTooMuch), nullptr);
             std::free(p);  // left as it was
         }},
        {"room", [] { EXPECT_FALSE(tvp::roomFor(kTooMuch)); }},
        {"refused", [] {
             tvp::failAllocationsFrom(0);
             EXPECT_TRUE(tvp::allocationRefused(1));
             tvp::failAllocationsFrom(SIZE_MAX);
         }},
    };
    for (const Road& r : roads) {
        SCOPED_TRACE(r.name);
        tvp::MemoryWatch watch;
        EXPECT_FALSE(watch.ranOut());
        EXPECT_TRUE(tvp::roomFor(1 << 20));
        EXPECT_FALSE(watch.ranOut()) << "room that can be had is no failure";
        r.fail();
        EXPECT_TRUE(watch.ranOut());
    }
    // Outside a watch the latch is not seen, and a new watch starts clear.
    EXPECT_FALSE(tvp::memoryRanOut());
    tvp::noteMemoryRanOut();
    EXPECT_FALSE(tvp::memoryRanOut());
    tvp::MemoryWatch fresh;
    EXPECT_FALSE(fresh.ranOut());
}

TEST(MemoryWatch, NestedWatchLeavesTheOuterInCharge)
{
    const std::new_handler before = std::get_new_handler();
    {
        tvp::MemoryWatch outer;
        const std::new_handler installed = std::get_new_handler();
        EXPECT_NE(installed, before);
        {
            tvp::MemoryWatch inner;
            EXPECT_EQ(std::get_new_handler(), installed);
            tvp::noteMemoryRanOut();
        }
        EXPECT_TRUE(outer.ranOut()) << "an inner watch neither clears nor hides the latch";
    }
    EXPECT_EQ(std::get_new_handler(), before);
}
