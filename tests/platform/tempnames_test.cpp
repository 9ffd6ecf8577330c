// The registry of temporary files that a signal handler removes.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "platform/tempnames.h"

namespace {

bool exists(const std::string& p)
{
    struct stat st;
    return ::stat(p.c_str(), &st) == 0;
}

std::string makeFile(const std::string& dir, int i)
{
    const std::string p = dir + "/f" + std::to_string(i);
    std::ofstream(p) << i;
    return p;
}

}  // namespace

TEST(TempNames, KeepsTheLiveFilesAndRemovesThemOnRequest)
{
    char tmpl[] = "/tmp/tempnames_test_XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    const std::string dir = tmpl;
    tvp::removeTempNamesNow();
    ASSERT_EQ(tvp::tempNameCount(), 0u);

    // Names of files that are gone are forgotten by later registrations, so
    // the table never fills with them.
    for (size_t i = 0; i < 3 * tvp::kTempNameSlots; ++i) {
        const std::string p = makeFile(dir, int(i));
        tvp::registerTempName(p.c_str());
        ::unlink(p.c_str());
    }
    EXPECT_LE(tvp::tempNameCount(), 1u);

    // A directory registered before the file in it is removed after it.
    const std::string sub = dir + "/sub";
    ASSERT_EQ(::mkdir(sub.c_str(), 0700), 0);
    tvp::registerTempName(sub.c_str());
    const std::string kept = makeFile(dir, 1000), given = makeFile(dir, 1001), renamed = makeFile(dir, 1002);
    const std::string inSub = makeFile(sub, 1003);
    for (const std::string* p : {&kept, &given, &renamed, &inSub}) tvp::registerTempName(p->c_str());
    tvp::forgetTempName(given.c_str());
    ASSERT_EQ(::rename(renamed.c_str(), (dir + "/final").c_str()), 0);
    tvp::registerTempName(std::string(tvp::kTempNameMax + 1, 'x').c_str());  // too long: not kept

    tvp::removeTempNamesNow();
    EXPECT_FALSE(exists(kept));
    EXPECT_FALSE(exists(sub));
    EXPECT_TRUE(exists(given));
    EXPECT_TRUE(exists(dir + "/final"));
    EXPECT_EQ(tvp::tempNameCount(), 0u);
    std::system(("rm -rf '" + dir + "'").c_str());
}

// A registered directory goes with what is in it, also the files no one
// registered (a compiler's macro files beside a temporary name) and the
// directories below, as deep as the removal reaches.
TEST(TempNames, RemovesARegisteredDirectoryWithWhatIsInIt)
{
    char tmpl[] = "/tmp/tempnames_test_XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    const std::string top = tmpl;
    tvp::removeTempNamesNow();
    const std::string kept = top + "/tavolin.x", beside = top + "/beside";
    ASSERT_EQ(::mkdir(kept.c_str(), 0700), 0);
    ASSERT_EQ(::mkdir(beside.c_str(), 0700), 0);
    tvp::registerTempName(kept.c_str());
    std::string dir = kept;
    for (int depth = 0; depth < tvp::kTempTreeDepth; ++depth) {
        // Enough names that they take more than one read of the directory.
        for (int i = 0; i < 100; ++i) makeFile(dir, i);
        ASSERT_EQ(::symlink(beside.c_str(), (dir + "/link").c_str()), 0);
        dir += "/d";
        ASSERT_EQ(::mkdir(dir.c_str(), 0700), 0);
    }
    makeFile(dir, 0);
    tvp::removeTempNamesNow();
    EXPECT_FALSE(exists(kept));
    EXPECT_TRUE(exists(beside));  // a link is removed, not followed
    EXPECT_EQ(tvp::tempNameCount(), 0u);

    // Deeper than that, the directory stays: nothing is left half-removed
    // above what could be reached.
    dir = kept;
    ASSERT_EQ(::mkdir(dir.c_str(), 0700), 0);
    tvp::registerTempName(kept.c_str());
    for (int depth = 0; depth <= tvp::kTempTreeDepth + 1; ++depth) ASSERT_EQ(::mkdir((dir += "/d").c_str(), 0700), 0);
    makeFile(dir, 0);
    tvp::removeTempNamesNow();
    EXPECT_TRUE(exists(dir + "/f0"));
    std::system(("rm -rf '" + top + "'").c_str());
}

// A signal that comes while a temporary name is made and registered is
// handled once both are done.
TEST(TempNames, HoldsSignalsBackWhileANameIsMade)
{
    static volatile sig_atomic_t seen = 0;
    struct sigaction sa = {}, old;
    sa.sa_handler = [](int) { seen = seen + 1; };
    sigemptyset(&sa.sa_mask);
    ASSERT_EQ(::sigaction(SIGUSR1, &sa, &old), 0);
    {
        tvp::TempNameHold hold;
        ::raise(SIGUSR1);
        EXPECT_EQ(seen, 0);
    }
    EXPECT_EQ(seen, 1);
    ::sigaction(SIGUSR1, &old, nullptr);
}

// A file in a directory as deep as the system allows is kept and removed
// like one in a short one: a name is not dropped for its length while the
// system takes it.
TEST(TempNames, KeepsTheLongestPathsTheSystemTakes)
{
    char tmpl[] = "/tmp/tempnames_test_XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    const std::string top = tmpl;
    tvp::removeTempNamesNow();
    // Directories of 200 bytes each down to about 4000 bytes.
    std::string dir = top;
    while (dir.size() + 201 + 20 < PATH_MAX) {
        dir += "/" + std::string(200, 'd');
        ASSERT_EQ(::mkdir(dir.c_str(), 0700), 0) << dir.size();
    }
    const std::string sub = dir + "/tavolin.x";
    ASSERT_EQ(::mkdir(sub.c_str(), 0700), 0);
    const std::string file = sub + "/t.rc";
    std::ofstream(file) << "x";
    ASSERT_TRUE(exists(file));
    ASSERT_GT(file.size(), 4000u);
    tvp::registerTempName(sub.c_str());
    tvp::registerTempName(file.c_str());
    EXPECT_EQ(tvp::tempNameCount(), 2u);
    tvp::removeTempNamesNow();
    EXPECT_FALSE(exists(file));
    EXPECT_FALSE(exists(sub));
    EXPECT_TRUE(exists(dir));
    std::system(("rm -rf '" + top + "'").c_str());
}

// The last failure to make or write a file is kept with the directory of the
// file, however it was named, until it is taken; a later one takes its place.
TEST(TempNames, KeepsTheLastFileFailureWithItsDirectory)
{
    char tmpl[] = "/tmp/tempnames_test_XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    const std::string top = tmpl;
    // An open file that is gone from its directory still names it.
    const std::string gone = top + "/gone";
    std::ofstream(gone) << "x";
    const int fd = ::open(gone.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::unlink(gone.c_str()), 0);
    const struct {
        void (*note)(const std::string& top, int fd);
        int err;
        std::string dir;
    } cases[] = {
        {[](const std::string& t, int) { tvp::noteFileFailure(ENOSPC, t.c_str()); }, ENOSPC, top},
        {[](const std::string& t, int) { tvp::noteFileFailureAt(EMFILE, (t + "/f").c_str()); }, EMFILE, top},
        {[](const std::string&, int) { tvp::noteFileFailureAt(EDQUOT, "/f"); }, EDQUOT, "/"},
        {[](const std::string&, int) { tvp::noteFileFailureAt(EFBIG, "f"); }, EFBIG, "."},
        {[](const std::string&, int f) { tvp::noteFileFailureOn(ENOSPC, f); }, ENOSPC, top},
        {[](const std::string&, int) { tvp::noteFileFailure(0, nullptr); }, EIO, ""},
    };
    char dir[PATH_MAX];
    for (const auto& c : cases) {
        tvp::noteFileFailure(EACCES, "/earlier");
        c.note(top, fd);
        EXPECT_EQ(tvp::takeFileFailure(dir, sizeof dir), c.err) << c.dir;
        EXPECT_EQ(std::string(dir), c.dir);
        EXPECT_EQ(tvp::takeFileFailure(dir, sizeof dir), 0) << c.dir;
        EXPECT_EQ(std::string(dir), "");
    }
    ::close(fd);
    std::system(("rm -rf '" + top + "'").c_str());
}
