// Section manager over a memory storage: opening by name and mode, closing
// with write, sub-storages, lending, renaming, destroying and copying.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "base/fs/FsSectMan.h"
#include "base/fs/FsSecClMem.h"
#include "platform/storage.h"
#include "platform/text.h"

namespace {

// A manager over a new, writable memory storage.
struct MemMan {
    ComPtr<IStorage> stg;
    FsSectMan* man = nullptr;
    MemMan()
    {
        EXPECT_TRUE(fsCreateMemStorage(&stg));
        man = new FsSectMan(stg);
    }
    ~MemMan() { delete man; }
};

// A section class whose write result and read result can be chosen.
struct ProbeSec : FsSecCl {
    static uint32_t writeResult;
    static uint32_t readResult;
    static int reads;
    uint32_t read() override
    {
        ++reads;
        return readResult;
    }
    uint32_t write() override { return writeResult; }
    uint32_t typeId() const override { return 99; }
};
uint32_t ProbeSec::writeResult = 0;
uint32_t ProbeSec::readResult = 0;
int ProbeSec::reads = 0;

std::string readAll(FsSectMan& m, const char* name)
{
    FsSecCl* s = nullptr;
    if (m.openSect(name, &s, 0) != FS_OK) return "<closed>";
    std::string out(s->getSize(), '\0');
    if (!out.empty()) s->readBytes(&out[0], uint32_t(out.size()));
    m.CloseSect(name);
    return out;
}

}  // namespace

TEST(FsSectMan, OpenModesAndCreation)
{
    MemMan m;
    ASSERT_TRUE(m.man->isWritable());
    FsSecCl* s = nullptr;
    EXPECT_EQ(uint32_t(FS_NOT_FOUND), m.man->openSect("header", &s, 0));
    EXPECT_EQ(nullptr, s);
    s = m.man->getSect("header", FS_MODE_WRITE);
    ASSERT_NE(nullptr, s);
    *s << int32_t(3);
    s->putNewLine();
    EXPECT_EQ(uint32_t(FS_EXISTS), m.man->openSect("header", &s, FS_MODE_CREATE));
    EXPECT_EQ(uint32_t(FS_EXISTS), m.man->openSect("HEADER", &s, FS_MODE_CREATE));  // names fold in the storage
    // Asked again with another write mode: refused; with the same: returned at 0.
    EXPECT_EQ(uint32_t(FS_LENT), m.man->openSect("header", &s, 0));
    FsSecCl* again = nullptr;
    EXPECT_EQ(uint32_t(FS_OK), m.man->openSect("header", &again, FS_MODE_WRITE));
    EXPECT_EQ(0u, again->tell());
    EXPECT_EQ(uint32_t(FS_OK), m.man->CloseSect("header"));
    EXPECT_EQ(uint32_t(FS_OK), m.man->CloseSect("header"));  // not open: 0
    EXPECT_EQ(uint32_t(FS_NOT_FOUND), m.man->CloseSect("nothing"));
    EXPECT_EQ(std::string("3\r\n"), readAll(*m.man, "header"));

    EXPECT_EQ(1u, m.man->getType("header"));
    EXPECT_EQ(2u, m.man->getType("nothing"));
    EXPECT_EQ(3u, m.man->GetSize("header"));
    EXPECT_TRUE(m.man->isEmpty("nothing"));

    // A read-only manager over the same storage refuses writing.
    FsSectMan ro(nullptr);
    EXPECT_EQ(uint32_t(FS_NO_STORAGE), ro.openSect("header", &s, 0));
}

TEST(FsSectMan, SectionClassesReadAndWrite)
{
    MemMan m;
    auto factory = [] { return static_cast<FsSecCl*>(new ProbeSec()); };
    FsSecCl* s = m.man->getSect("probe", FS_MODE_WRITE, factory);
    ASSERT_NE(nullptr, s);
    EXPECT_EQ(99u, s->typeId());
    *s << "data";
    // A failing write keeps the section open.
    ProbeSec::writeResult = 21;
    EXPECT_EQ(21u, m.man->CloseSect("probe"));
    ProbeSec::writeResult = 0;
    EXPECT_EQ(uint32_t(FS_OK), m.man->CloseSect(s));
    EXPECT_EQ(uint32_t(FS_UNKNOWN_OBJECT), m.man->CloseSect(s));

    // A section whose read fails is handed out open with the read's result,
    // so that its owner can rewrite it; asked again it is not read again.
    ProbeSec::reads = 0;
    ProbeSec::readResult = 27;
    EXPECT_EQ(27u, m.man->openSect("probe", &s, FS_MODE_WRITE, factory));
    ASSERT_NE(nullptr, s);
    EXPECT_EQ(1, ProbeSec::reads);
    ProbeSec::readResult = 0;
    FsSecCl* again = nullptr;
    EXPECT_EQ(uint32_t(FS_OK), m.man->openSect("probe", &again, FS_MODE_WRITE, factory));
    EXPECT_EQ(s, again);
    EXPECT_EQ(1, ProbeSec::reads);
    s->setSize(0);
    *s << "new";
    EXPECT_EQ(uint32_t(FS_OK), m.man->CloseAll());
    EXPECT_EQ(std::string("new"), readAll(*m.man, "probe"));
}

TEST(FsSectMan, NamesFoldLetterCaseEverywhere)
{
    // The compound file does not tell "VAR_TMP" from "var_tmp": whatever
    // creating refuses as a duplicate, opening, copying and destroying find.
    MemMan m;
    FsSecCl* s = m.man->getSect("VAR_TMP", FS_MODE_WRITE);
    ASSERT_NE(nullptr, s);
    *s << "host";
    ASSERT_EQ(uint32_t(FS_OK), m.man->CloseAll());
    EXPECT_EQ(uint32_t(FS_EXISTS), m.man->openSect("var_tmp", &s, FS_MODE_CREATE));
    EXPECT_EQ(uint32_t(FS_OK), m.man->openSect("var_tmp", &s, FS_MODE_WRITE));
    EXPECT_EQ(uint32_t(FS_OK), m.man->CloseSect("Var_Tmp"));
    EXPECT_EQ(1u, m.man->getType("var_tmp"));
    EXPECT_EQ(4u, m.man->GetSize("var_tmp"));
    EXPECT_EQ(std::string("host"), readAll(*m.man, "var_tmp"));

    MemMan t;
    EXPECT_EQ(uint32_t(FS_OK), m.man->copyNamed(t.man, {String("var_tmp")}));
    EXPECT_EQ(std::string("host"), readAll(*t.man, "VAR_TMP"));

    FsSectMan* d = m.man->getDir("Code", FS_MODE_WRITE);
    ASSERT_NE(nullptr, d);
    EXPECT_EQ(uint32_t(FS_EXISTS), m.man->openSect("CODE", &s, FS_MODE_CREATE));
    EXPECT_EQ(uint32_t(FS_OK), m.man->CloseDir("code"));
    EXPECT_EQ(uint32_t(FS_OK), m.man->DestroyDir("CODE"));
    EXPECT_EQ(uint32_t(FS_OK), m.man->DestroySect("var_tmp"));
    EXPECT_EQ(2u, m.man->getType("VAR_TMP"));
}

TEST(FsSectMan, SubStoragesAndEnumeration)
{
    MemMan m;
    FsSectMan* code = m.man->getDir("code", FS_MODE_WRITE);
    ASSERT_NE(nullptr, code);
    FsSecCl* s = code->getSect("data", FS_MODE_WRITE);
    ASSERT_NE(nullptr, s);
    *s << "inner";
    FsSectMan* same = nullptr;
    EXPECT_EQ(uint32_t(FS_OK), m.man->OpenDir("code", &same, FS_MODE_WRITE));
    EXPECT_EQ(code, same);
    EXPECT_EQ(uint32_t(FS_LENT), m.man->OpenDir("code", &same, 0));
    FsSectMan own;
    FsSectMan* adopt = &own;
    EXPECT_EQ(uint32_t(FS_ALREADY_OPEN), m.man->OpenDir("code", &adopt, FS_MODE_ADOPT | FS_MODE_WRITE));
    EXPECT_EQ(uint32_t(FS_OK), m.man->CloseDir(code));

    // Adopting the caller's object: the manager owns it afterwards.
    FsSectMan* mine = new FsSectMan();
    FsSectMan* out = mine;
    EXPECT_EQ(uint32_t(FS_OK), m.man->OpenDir("code", &out, FS_MODE_ADOPT | FS_MODE_WRITE));
    EXPECT_EQ(mine, out);
    EXPECT_EQ(1u, mine->getType("data"));
    EXPECT_EQ(std::string("inner"), readAll(*mine, "data"));
    EXPECT_EQ(uint32_t(FS_OK), m.man->CloseDir("code"));

    m.man->getSect("b", FS_MODE_WRITE);
    m.man->getSect("a", FS_MODE_WRITE);
    m.man->getDir("z", FS_MODE_WRITE);
    EXPECT_EQ(uint32_t(FS_OK), m.man->CloseAll());
    String n;
    std::string names;
    for (bool first = true; m.man->nextSect(n, first) == 0; first = false) names += std::string(n.chars()) + ",";
    for (bool first = true; m.man->nextDir(n, first) == 0; first = false) names += std::string(n.chars()) + "/";
    EXPECT_EQ("a,b,code/z/", names);
    EXPECT_EQ(0u, m.man->getType("z"));
}

TEST(FsSectMan, NamesTheCodePageLacksAreLeftAsTheyAre)
{
    // Such a name cannot be opened here: it is not listed (narrowed, two of
    // them would clash as "?", and one would be taken for the section "?"),
    // and a copy of the whole storage takes it along under its own name.
    ComPtr<IStorage> stg;
    ASSERT_TRUE(fsCreateMemStorage(&stg));
    for (const char16_t* name : {u"\u03A9", u"\u0416\u0443\u043A", u"?", u"Gr\u00FC\u00DFe"}) {
        IStream* s = nullptr;
        ASSERT_EQ(S_OK, stg->CreateStream(name, STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0, &s));
        s->Write(name, 2, nullptr);
        s->Release();
    }
    FsSectMan src(stg);
    String n;
    std::string names;
    for (bool first = true; src.nextSect(n, first) == 0; first = false) names += std::string(n.chars()) + ",";
    EXPECT_EQ("?,Gr\xFC\xDF" "e,", names);
    EXPECT_EQ(std::string("?"), readAll(src, "?").substr(0, 1));

    MemMan dst;
    ASSERT_EQ(uint32_t(FS_OK), src.copyTo(*dst.man));
    IStream* s = nullptr;
    ASSERT_EQ(S_OK, dst.stg->OpenStream(u"\u03A9", nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &s));
    char16_t got = 0;
    s->Read(&got, 2, nullptr);
    s->Release();
    EXPECT_EQ(u'\u03A9', got);
}

TEST(FsSectMan, LendingAndRelisting)
{
    MemMan m;
    m.man->getSect("one", FS_MODE_WRITE);
    IStorage* lent = nullptr;
    ASSERT_TRUE(m.man->getIStoragePtr(&lent));
    FsSecCl* s = nullptr;
    EXPECT_EQ(uint32_t(FS_LENT), m.man->openSect("one", &s, 0));
    EXPECT_EQ(uint32_t(FS_LENT), m.man->CloseSect("one"));
    EXPECT_EQ(uint32_t(FS_LENT), m.man->Rename("one", "two"));
    IStorage* second = nullptr;
    EXPECT_FALSE(m.man->getIStoragePtr(&second));
    EXPECT_EQ(nullptr, second);

    // Other code adds a stream meanwhile.
    IStream* st = nullptr;
    ASSERT_EQ(S_OK, lent->CreateStream(u"extra", STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0, &st));
    st->Write("xyz", 3, nullptr);
    st->Release();
    lent->Release();

    EXPECT_EQ(uint32_t(FS_OK), m.man->releaseIStoragePtr());
    EXPECT_EQ(1u, m.man->getType("extra"));
    EXPECT_EQ(std::string("xyz"), readAll(*m.man, "extra"));
    EXPECT_EQ(uint32_t(FS_OK), m.man->releaseIStoragePtr());  // not lent
}

TEST(FsSectMan, RenameAndDestroy)
{
    MemMan m;
    FsSecCl* s = m.man->getSect("old", FS_MODE_WRITE);
    *s << "payload";
    EXPECT_EQ(uint32_t(FS_OK), m.man->Rename("old", "old"));
    m.man->getSect("taken", FS_MODE_WRITE);
    EXPECT_EQ(uint32_t(FS_EXISTS), m.man->Rename("old", "taken"));
    // The storage does not tell names apart by letter case.
    EXPECT_EQ(uint32_t(FS_EXISTS), m.man->Rename("old", "TAKEN"));
    EXPECT_EQ(uint32_t(FS_NOT_FOUND), m.man->Rename("missing", "new"));
    EXPECT_EQ(uint32_t(FS_OK), m.man->CloseAll());
    EXPECT_EQ(uint32_t(FS_OK), m.man->Rename("old", "new"));
    // A change of letter case only is a rename of the entry itself.
    EXPECT_EQ(uint32_t(FS_OK), m.man->Rename("new", "NEW"));
    EXPECT_EQ(1u, m.man->getType("NEW"));
    EXPECT_EQ(uint32_t(FS_OK), m.man->Rename("NEW", "new"));
    EXPECT_EQ(2u, m.man->getType("old"));
    EXPECT_EQ(std::string("payload"), readAll(*m.man, "new"));

    FsSectMan* d = m.man->getDir("dir", FS_MODE_WRITE);
    d->getSect("x", FS_MODE_WRITE);
    d->getDir("deeper", FS_MODE_WRITE)->getSect("y", FS_MODE_WRITE);
    EXPECT_EQ(uint32_t(FS_OK), m.man->DestroyDir("dir"));
    EXPECT_EQ(2u, m.man->getType("dir"));
    EXPECT_EQ(uint32_t(FS_OK), m.man->DestroySect("new"));
    EXPECT_EQ(uint32_t(FS_NOT_FOUND), m.man->DestroySect("new"));
    EXPECT_EQ(uint32_t(FS_OK), m.man->DestroyAll());
    String n;
    EXPECT_EQ(1u, m.man->nextSect(n, true));
    EXPECT_EQ(1u, m.man->nextDir(n, true));

    // Nothing of it remains in the storage either.
    m.man->releaseIStoragePtr();
    IStorage* lent = nullptr;
    ASSERT_TRUE(m.man->getIStoragePtr(&lent));
    EXPECT_EQ(uint32_t(FS_OK), m.man->releaseIStoragePtr());
    lent->Release();
    EXPECT_EQ(1u, m.man->nextSect(n, true));
}

TEST(FsSectMan, CopyToRefusesClashesAndCopiesEverything)
{
    MemMan src, dst;
    FsSecCl* s = src.man->getSect("s1", FS_MODE_WRITE);
    *s << "unflushed text";  // still in the window: must be copied all the same
    src.man->getDir("d1", FS_MODE_WRITE)->getSect("inner", FS_MODE_WRITE)->writeBytes("i", 1);
    src.man->CloseDir("d1");

    FsSecCl* clash = dst.man->getSect("s1", FS_MODE_WRITE);
    *clash << "target";
    EXPECT_EQ(uint32_t(FS_EXISTS), src.man->copyTo(*dst.man));
    dst.man->CloseAll();
    EXPECT_EQ(std::string("target"), readAll(*dst.man, "s1"));
    EXPECT_EQ(2u, dst.man->getType("d1"));  // nothing copied

    EXPECT_EQ(uint32_t(FS_OK), dst.man->DestroySect("s1"));
    FsSecCl* keep = dst.man->getSect("kept", FS_MODE_WRITE);
    EXPECT_EQ(uint32_t(FS_OK), src.man->copyTo(*dst.man));
    EXPECT_EQ(std::string("unflushed text"), readAll(*dst.man, "s1"));
    FsSecCl* still = nullptr;
    EXPECT_EQ(uint32_t(FS_OK), dst.man->openSect("kept", &still, FS_MODE_WRITE));
    EXPECT_EQ(keep, still);  // the open object survives the copy
    FsSectMan* d1 = dst.man->getDir("d1", 0);
    ASSERT_NE(nullptr, d1);
    EXPECT_EQ(std::string("i"), readAll(*d1, "inner"));
}

TEST(FsSectMan, CopyNamedReplacesTargets)
{
    MemMan src, dst;
    FsSecCl* s = src.man->getSect("sec", FS_MODE_WRITE);
    *s << "new content";
    src.man->CloseAll();
    src.man->getDir("dir", FS_MODE_WRITE)->getSect("a", FS_MODE_WRITE)->writeBytes("A", 1);
    src.man->CloseAll();
    FsSecCl* old = dst.man->getSect("sec", FS_MODE_WRITE);
    std::string longer(40000, 'o');
    old->writeBytes(longer.data(), uint32_t(longer.size()));
    dst.man->getDir("dir", FS_MODE_WRITE)->getSect("stale", FS_MODE_WRITE);
    dst.man->CloseAll();

    std::list<String> names = {String("sec"), String("dir")};
    EXPECT_EQ(uint32_t(FS_OK), src.man->copyNamed(dst.man, names));
    EXPECT_EQ(std::string("new content"), readAll(*dst.man, "sec"));
    FsSectMan* d = dst.man->getDir("dir", 0);
    ASSERT_NE(nullptr, d);
    EXPECT_EQ(1u, d->getType("a"));
    EXPECT_EQ(2u, d->getType("stale"));
    dst.man->CloseAll();

    std::list<String> missing = {String("nope")};
    EXPECT_EQ(uint32_t(FS_NOT_FOUND), src.man->copyNamed(dst.man, missing));
    EXPECT_EQ(uint32_t(FS_FAILED), src.man->copyNamed(nullptr, names));

    // Copies into memory objects.
    IStream* copy = nullptr;
    src.man->getCopyOfSect(&copy, "sec");
    ASSERT_NE(nullptr, copy);
    char buf[32] = {};
    ULONG n = 0;
    copy->Read(buf, sizeof(buf), &n);
    EXPECT_EQ(std::string("new content"), std::string(buf, n));
    copy->Release();
    IStorage* dcopy = nullptr;
    src.man->getCopyOfDir(&dcopy, "dir");
    ASSERT_NE(nullptr, dcopy);
    FsSectMan view(dcopy);
    EXPECT_EQ(1u, view.getType("a"));
    dcopy->Release();
    src.man->getCopyOfSect(&copy, "nope");
    EXPECT_EQ(nullptr, copy);
}

// Whether closing a manager over a file's storage writes the file: by
// default it commits, which writes the whole compound file; a manager told
// to leave that to the storage's owner does not touch the file.
TEST(FsSectMan, CommitOnCloseWritesTheFileOnlyWhenAsked)
{
    for (bool commit : {true, false}) {
        char path[] = "/tmp/tv_sectman_commit_XXXXXX";
        const int fd = ::mkstemp(path);
        ASSERT_GE(fd, 0);
        ::close(fd);
        IStorage* stg = nullptr;
        ASSERT_TRUE(SUCCEEDED(StgCreateDocfile(tvp::utf8ToWide(path).c_str(),
                                               STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, &stg)));
        ASSERT_TRUE(SUCCEEDED(stg->Commit(STGC_DEFAULT)));
        struct stat before;
        ASSERT_EQ(::stat(path, &before), 0);
        {
            FsSectMan man(stg);
            man.setCommitOnClose(commit);
            FsSecCl* s = man.getSect("big", FS_MODE_WRITE);
            ASSERT_NE(s, nullptr);
            const std::string bytes(100000, 'x');
            s->writeBytes(bytes.data(), uint32_t(bytes.size()));
            EXPECT_EQ(man.CloseSect("big"), uint32_t(FS_OK));
        }
        struct stat closed;
        ASSERT_EQ(::stat(path, &closed), 0);
        EXPECT_EQ(closed.st_size > before.st_size, commit);
        stg->Release();  // the owner's last release writes what is left
        struct stat released;
        ASSERT_EQ(::stat(path, &released), 0);
        EXPECT_GT(released.st_size, 100000);
        ::unlink(path);
    }
}
