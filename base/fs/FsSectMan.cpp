#include "base/fs/FsSectMan.h"

#include <cstring>
#include <new>
#include <vector>

#include "base/fs/FsSecClMem.h"
#include "co/TraceApi.h"
#include "platform/text.h"

namespace {

const char* const kTraceFile = "base/fs/fs_seman";

std::u16string wide(const String& name) { return tvp::ansiToWide(name.chars(), size_t(name.length())); }

// The code-page name of an element, by which it is opened; false for a name
// with a character the code page lacks. Such an element cannot be named
// here: it is not listed, so that it is never taken for another ("?"), and
// it stays in the storage as it is (a storage copy carries it along under
// its own name).
bool narrowName(const char16_t* name, String& out)
{
    std::string n;
    for (const char16_t* c = name ? name : u""; *c; ++c) {
        bool mapped = true;
        n += tvp::wideCharToAnsi(*c, &mapped);
        if (!mapped) return false;
    }
    out = String(n.data(), int(n.size()));
    return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// Construction
// ---------------------------------------------------------------------------

FsSectMan::FsSectMan(IStorage* storage)
    : m_lent(0), m_sectCursorValid(false), m_dirCursorValid(false), m_magic(-1), m_flags(0),
      m_pStorage(nullptr)
{
    if (!storage) return;
    bindStorage(storage);
    STATSTG st;
    std::memset(&st, 0, sizeof(st));
    if (FAILED(m_pStorage->Stat(&st, STATFLAG_NONAME))) {
        TV_TRACE(4, kTraceFile, "FsSectMan::FsSectMan", "error calling Stat");
        m_pStorage->Release();
        m_pStorage = nullptr;
        m_lent = 1;
        return;
    }
    m_flags = (st.grfMode & STGM_READWRITE) ? FS_MODE_WRITE : 0;
    if (ListAll() != FS_OK) {
        TV_TRACE(4, kTraceFile, "FsSectMan::FsSectMan", "error calling ListAll");
        clearMaps();
        m_pStorage->Release();
        m_pStorage = nullptr;
        m_lent = 1;
    }
}

FsSectMan::~FsSectMan()
{
    try {
        if (CloseAll() != FS_OK) TV_TRACE(4, kTraceFile, "FsSectMan::~FsSectMan", "error calling CloseAll");
        dropStorage();
    } catch (...) {
        TV_TRACE(4, kTraceFile, "FsSectMan::~FsSectMan", "caught any unhandled exception");
    }
}

void FsSectMan::bindStorage(IStorage* storage)
{
    if (storage) storage->AddRef();
    if (m_pStorage) m_pStorage->Release();
    m_pStorage = storage;
}

void FsSectMan::dropStorage()
{
    // Objects still in the maps at this point could not be closed; they are
    // deleted without writing so that nothing is left behind.
    for (auto& e : m_sections) delete e.second;
    for (auto& e : m_dirs) delete e.second;
    clearMaps();
    if (m_pStorage) {
        if (isWritable() && !m_lent && m_commitOnClose && FAILED(m_pStorage->Commit(STGC_DEFAULT)))
            TV_TRACE(4, kTraceFile, "FsSectMan::~FsSectMan", "error calling Commit");
        m_pStorage->Release();
        m_pStorage = nullptr;
    }
}

void FsSectMan::clearMaps()
{
    m_sections.clear();
    m_dirs.clear();
    m_sectCursorValid = false;
    m_dirCursorValid = false;
}

uint32_t FsSectMan::ListAll()
{
    if (!m_pStorage) return FS_NO_STORAGE;
    if (!m_sections.empty() || !m_dirs.empty()) return FS_EXISTS;
    IEnumSTATSTG* en = nullptr;
    if (FAILED(m_pStorage->EnumElements(0, nullptr, 0, &en)) || !en) return FS_FAILED;
    uint32_t result = FS_OK;
    for (;;) {
        STATSTG st;
        std::memset(&st, 0, sizeof(st));
        ULONG got = 0;
        HRESULT hr = en->Next(1, &st, &got);
        if (FAILED(hr)) {
            result = FS_FAILED;
            break;
        }
        if (hr != S_OK || got == 0) break;
        String name;
        const bool named = narrowName(st.pwcsName, name);
        CoTaskMemFree(st.pwcsName);
        if (!named) continue;
        bool inserted = false;
        if (st.type == STGTY_STORAGE)
            inserted = m_dirs.emplace(name, nullptr).second;
        else if (st.type == STGTY_STREAM)
            inserted = m_sections.emplace(name, nullptr).second;
        if (!inserted) result = FS_FAILED;
    }
    en->Release();
    return result;
}

// ---------------------------------------------------------------------------
// Sections
// ---------------------------------------------------------------------------

uint32_t FsSectMan::openSect(const char* name, FsSecCl** out, uint32_t mode, const FsSecFactory& factory)
{
    if (out) *out = nullptr;
    if (m_lent) return FS_LENT;
    if (!m_pStorage) return FS_NO_STORAGE;
    if (!isWritable() && (mode & (FS_MODE_WRITE | FS_MODE_CREATE))) return FS_LENT;
    if (!name || !out) return FS_FAILED;
    String key(name);

    auto it = m_sections.find(key);
    IStream* created = nullptr;
    if (mode & FS_MODE_CREATE) {
        if (it != m_sections.end() || m_dirs.find(key) != m_dirs.end())
            return FS_EXISTS;
        std::u16string w = wide(key);
        if (FAILED(m_pStorage->CreateStream(w.c_str(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE,
                                            0, 0, &created)) ||
            !created)
            return FS_CREATE_FAILED;
        it = m_sections.emplace(key, nullptr).first;
        mode |= FS_MODE_WRITE;
    } else if (it == m_sections.end()) {
        return FS_NOT_FOUND;
    }

    if (it->second) {
        FsSecCl* s = it->second;
        if (s->getError() == FSSEC_LENT) return FS_LENT;
        if (((s->getFlags() ^ mode) & FS_MODE_WRITE) != 0) return FS_LENT;
        s->seek(0, 0);
        *out = s;
        return FS_OK;
    }

    FsSecCl* s = nullptr;
    try {
        s = factory ? factory() : new (std::nothrow) FsSecCl();
    } catch (...) {
        s = nullptr;
    }
    if (!s) {
        if (created) created->Release();
        return FS_FAILED;
    }
    uint32_t r;
    if (created) {
        r = s->attach(created, mode);
        created->Release();
    } else {
        r = s->openStream(m_pStorage, name, mode);
    }
    if (r != 0) {
        delete s;
        return FS_OPEN_FAILED;
    }
    // A section whose content does not read is still handed out, with the
    // read's result, so that its owner can rewrite it.
    uint32_t result = s->getSize() != 0 ? s->read() : FS_OK;
    it->second = s;
    *out = s;
    return result;
}

FsSecCl* FsSectMan::getSect(const char* name, uint32_t mode, const FsSecFactory& factory)
{
    FsSecCl* s = nullptr;
    uint32_t r = openSect(name, &s, mode, factory);
    if (r == FS_NOT_FOUND && isWritable() && (mode & FS_MODE_WRITE))
        r = openSect(name, &s, mode | FS_MODE_CREATE, factory);
    return r == FS_OK ? s : nullptr;
}

uint32_t FsSectMan::closeSectEntry(FsSectionMap::iterator it)
{
    FsSecCl* s = it->second;
    if (!s) return FS_OK;
    if (s->getError() == FSSEC_LENT) return FS_LENT;
    uint32_t r = s->write();
    if (r != 0) return r;
    it->second = nullptr;
    delete s;
    return FS_OK;
}

uint32_t FsSectMan::CloseSect(const char* name)
{
    if (m_lent) return FS_LENT;
    if (!name) return FS_NOT_FOUND;
    auto it = m_sections.find(String(name));
    if (it == m_sections.end()) return FS_NOT_FOUND;
    return closeSectEntry(it);
}

uint32_t FsSectMan::CloseSect(FsSecCl* section)
{
    if (m_lent) return FS_LENT;
    if (!section) return FS_UNKNOWN_OBJECT;
    for (auto it = m_sections.begin(); it != m_sections.end(); ++it)
        if (it->second == section) return closeSectEntry(it);
    return FS_UNKNOWN_OBJECT;
}

// ---------------------------------------------------------------------------
// Sub-storages
// ---------------------------------------------------------------------------

uint32_t FsSectMan::OpenDir(const char* name, FsSectMan** out, uint32_t mode)
{
    if (!out) return FS_FAILED;
    FsSectMan* adopted = (mode & FS_MODE_ADOPT) ? *out : nullptr;
    if (!(mode & FS_MODE_ADOPT)) *out = nullptr;
    if (m_lent) return FS_LENT;
    if (!m_pStorage) return FS_NO_STORAGE;
    if (!isWritable() && (mode & (FS_MODE_WRITE | FS_MODE_CREATE))) return FS_LENT;
    if (!name) return FS_FAILED;
    if ((mode & FS_MODE_ADOPT) && (!adopted || adopted->m_pStorage)) return FS_FAILED;
    String key(name);

    auto it = m_dirs.find(key);
    IStorage* sub = nullptr;
    if (mode & FS_MODE_CREATE) {
        if (it != m_dirs.end() || m_sections.find(key) != m_sections.end())
            return FS_EXISTS;
        std::u16string w = wide(key);
        if (FAILED(m_pStorage->CreateStorage(w.c_str(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE,
                                             0, 0, &sub)) ||
            !sub)
            return FS_CREATE_FAILED;
        it = m_dirs.emplace(key, nullptr).first;
        mode |= FS_MODE_WRITE;
    } else if (it == m_dirs.end()) {
        return FS_NOT_FOUND;
    }

    if (it->second) {
        if (sub) sub->Release();
        if (mode & FS_MODE_ADOPT) return FS_ALREADY_OPEN;
        if (((it->second->m_flags ^ mode) & FS_MODE_WRITE) != 0) return FS_LENT;
        *out = it->second;
        return FS_OK;
    }

    if (!sub) {
        std::u16string w = wide(key);
        DWORD access = (mode & FS_MODE_WRITE) ? (STGM_READWRITE | STGM_SHARE_EXCLUSIVE)
                                              : (STGM_READ | STGM_SHARE_EXCLUSIVE);
        if (FAILED(m_pStorage->OpenStorage(w.c_str(), nullptr, access, nullptr, 0, &sub)) || !sub)
            return FS_OPEN_FAILED;
    }
    FsSectMan* dir = adopted;
    if (!dir) dir = new (std::nothrow) FsSectMan();
    if (!dir) {
        sub->Release();
        return FS_FAILED;
    }
    dir->bindStorage(sub);
    sub->Release();
    dir->m_flags = mode & ~(FS_MODE_ADOPT | FS_MODE_CREATE);
    if (dir->ListAll() != FS_OK) {
        dir->clearMaps();
        dir->bindStorage(nullptr);
        if (!adopted) delete dir;
        return FS_FAILED;
    }
    it->second = dir;
    *out = dir;
    return FS_OK;
}

FsSectMan* FsSectMan::getDir(const char* name, uint32_t mode)
{
    FsSectMan* d = nullptr;
    uint32_t r = OpenDir(name, &d, mode & ~FS_MODE_ADOPT);
    if (r == FS_NOT_FOUND && isWritable() && (mode & FS_MODE_WRITE))
        r = OpenDir(name, &d, (mode & ~FS_MODE_ADOPT) | FS_MODE_CREATE);
    return r == FS_OK ? d : nullptr;
}

uint32_t FsSectMan::closeDirEntry(FsDirMap::iterator it)
{
    FsSectMan* d = it->second;
    if (!d) return FS_OK;
    if (d->CloseAll() != FS_OK) return FS_CLOSE_FAILED;
    it->second = nullptr;
    delete d;
    return FS_OK;
}

uint32_t FsSectMan::CloseDir(const char* name)
{
    if (m_lent) return FS_LENT;
    if (!m_pStorage) return FS_NO_STORAGE;
    if (!name) return FS_NOT_FOUND;
    auto it = m_dirs.find(String(name));
    if (it == m_dirs.end()) return FS_NOT_FOUND;
    return closeDirEntry(it);
}

uint32_t FsSectMan::CloseDir(FsSectMan* dir)
{
    if (m_lent) return FS_LENT;
    if (!dir) return FS_UNKNOWN_OBJECT;
    for (auto it = m_dirs.begin(); it != m_dirs.end(); ++it)
        if (it->second == dir) return closeDirEntry(it);
    return FS_UNKNOWN_OBJECT;
}

uint32_t FsSectMan::CloseAll()
{
    if (m_lent) return FS_OK;
    for (auto it = m_dirs.begin(); it != m_dirs.end(); ++it)
        if (closeDirEntry(it) != FS_OK) return FS_CLOSE_FAILED;
    for (auto it = m_sections.begin(); it != m_sections.end(); ++it)
        if (closeSectEntry(it) != FS_OK) return FS_CLOSE_FAILED;
    return FS_OK;
}

void FsSectMan::flushAll()
{
    for (auto& e : m_sections)
        if (e.second) e.second->flush();
    for (auto& e : m_dirs)
        if (e.second) e.second->flushAll();
}

// ---------------------------------------------------------------------------
// Destroying and renaming
// ---------------------------------------------------------------------------

uint32_t FsSectMan::DestroySect(const char* name)
{
    if (!isWritable() || m_lent) return FS_LENT;
    if (!m_pStorage) return FS_NO_STORAGE;
    if (!name) return FS_NOT_FOUND;
    auto it = m_sections.find(String(name));
    if (it == m_sections.end()) return FS_NOT_FOUND;
    if (it->second && closeSectEntry(it) != FS_OK) return FS_CLOSE_FAILED;
    std::u16string w = wide(it->first);
    if (FAILED(m_pStorage->DestroyElement(w.c_str()))) return FS_DESTROY_FAILED;
    m_sections.erase(it);
    return FS_OK;
}

uint32_t FsSectMan::DestroyDir(const char* name)
{
    if (!isWritable() || m_lent) return FS_LENT;
    if (!m_pStorage) return FS_NO_STORAGE;
    if (!name) return FS_NOT_FOUND;
    String key(name);
    auto it = m_dirs.find(key);
    if (it == m_dirs.end()) return FS_NOT_FOUND;
    FsSectMan* d = nullptr;
    if (OpenDir(name, &d, FS_MODE_WRITE) != FS_OK || !d) return FS_OPEN_FAILED;
    if (d->DestroyAll() != FS_OK) return FS_DESTROY_FAILED;
    if (closeDirEntry(it) != FS_OK) return FS_DESTROY_FAILED;
    std::u16string w = wide(key);
    if (FAILED(m_pStorage->DestroyElement(w.c_str()))) return FS_DESTROY_FAILED;
    m_dirs.erase(it);
    return FS_OK;
}

uint32_t FsSectMan::DestroyAll()
{
    if (!isWritable()) return FS_LENT;
    std::vector<String> names;
    for (auto& e : m_sections) names.push_back(e.first);
    for (const String& n : names)
        if (DestroySect(n.chars()) != FS_OK) return FS_DESTROY_FAILED;
    names.clear();
    for (auto& e : m_dirs) names.push_back(e.first);
    for (const String& n : names)
        if (DestroyDir(n.chars()) != FS_OK) return FS_DESTROY_FAILED;
    return FS_OK;
}

uint32_t FsSectMan::Rename(const char* oldName, const char* newName)
{
    if (!isWritable() || m_lent) return FS_LENT;
    if (!m_pStorage) return FS_NO_STORAGE;
    if (!oldName || !newName) return FS_NOT_FOUND;
    String from(oldName), to(newName);
    if (from == to) return FS_OK;
    auto si = m_sections.find(from);
    auto di = m_dirs.find(from);
    // A name that differs from another entry only in letter case exists
    // already, unless that entry is the one being renamed.
    auto ts = m_sections.find(to);
    auto td = m_dirs.find(to);
    if ((ts != m_sections.end() && ts != FsSectionMap::const_iterator(si)) ||
        (td != m_dirs.end() && td != FsDirMap::const_iterator(di)))
        return FS_EXISTS;
    if (si == m_sections.end() && di == m_dirs.end()) return FS_NOT_FOUND;
    std::u16string wf = wide(from), wt = wide(to);
    if (FAILED(m_pStorage->RenameElement(wf.c_str(), wt.c_str()))) return FS_FAILED;
    if (si != m_sections.end()) {
        FsSecCl* s = si->second;
        m_sections.erase(si);
        m_sections.emplace(to, s);
    } else {
        FsSectMan* d = di->second;
        m_dirs.erase(di);
        m_dirs.emplace(to, d);
    }
    return FS_OK;
}

// ---------------------------------------------------------------------------
// Queries
// ---------------------------------------------------------------------------

uint32_t FsSectMan::getType(const char* name) const
{
    if (!name) return 2;
    String key(name);
    if (m_dirs.count(key)) return 0;
    if (m_sections.count(key)) return 1;
    return 2;
}

uint32_t FsSectMan::GetSize(const char* name)
{
    if (m_lent || !m_pStorage || !name) return 0;
    auto it = m_sections.find(String(name));
    if (it == m_sections.end()) return 0;
    if (it->second) return it->second->getSize();
    FsSecCl s;
    if (s.openStream(m_pStorage, name, 0) != 0) {
        TV_TRACE(4, kTraceFile, "FsSectMan::GetSize", "internal error closing section");
        return 0;
    }
    return s.getSize();
}

uint32_t FsSectMan::nextSect(String& name, bool restart)
{
    auto it = (restart || !m_sectCursorValid) ? m_sections.begin() : m_sections.upper_bound(m_sectCursor);
    if (it == m_sections.end()) {
        m_sectCursorValid = true;
        if (!m_sections.empty()) m_sectCursor = m_sections.rbegin()->first;
        return 1;
    }
    name = it->first;
    m_sectCursor = it->first;
    m_sectCursorValid = true;
    return 0;
}

uint32_t FsSectMan::nextDir(String& name, bool restart)
{
    auto it = (restart || !m_dirCursorValid) ? m_dirs.begin() : m_dirs.upper_bound(m_dirCursor);
    if (it == m_dirs.end()) {
        m_dirCursorValid = true;
        if (!m_dirs.empty()) m_dirCursor = m_dirs.rbegin()->first;
        return 1;
    }
    name = it->first;
    m_dirCursor = it->first;
    m_dirCursorValid = true;
    return 0;
}

uint32_t FsSectMan::getName(String& name)
{
    if (!m_pStorage) return FS_NO_STORAGE;
    STATSTG st;
    std::memset(&st, 0, sizeof(st));
    if (FAILED(m_pStorage->Stat(&st, STATFLAG_DEFAULT))) return FS_FAILED;
    std::string n = tvp::wideToAnsi(st.pwcsName ? st.pwcsName : u"");
    CoTaskMemFree(st.pwcsName);
    name = String(n.data(), int(n.size()));
    return FS_OK;
}

// ---------------------------------------------------------------------------
// Lending
// ---------------------------------------------------------------------------

bool FsSectMan::getIStoragePtr(IStorage** out)
{
    if (!out) return false;
    *out = nullptr;
    if (m_lent || !m_pStorage) return false;
    if (CloseAll() != FS_OK) return false;
    m_pStorage->AddRef();
    *out = m_pStorage;
    m_lent = 1;
    clearMaps();
    return true;
}

uint32_t FsSectMan::releaseIStoragePtr()
{
    if (!m_lent) return FS_OK;
    if (!m_pStorage) return FS_NO_STORAGE;
    uint32_t r = ListAll();
    if (r != FS_OK) {
        clearMaps();
        return r;
    }
    m_lent = 0;
    return FS_OK;
}

// ---------------------------------------------------------------------------
// Copying
// ---------------------------------------------------------------------------

uint32_t FsSectMan::copyTo(FsSectMan& target)
{
    if (!target.isWritable() || target.m_lent) return FS_LENT;
    if (!m_pStorage) return FS_NO_STORAGE;
    if (!target.m_pStorage) return FS_NO_STORAGE;
    if (&target == this) return FS_EXISTS;
    for (auto& e : m_sections)
        if (target.m_sections.find(e.first) != target.m_sections.end() ||
            target.m_dirs.find(e.first) != target.m_dirs.end())
            return FS_EXISTS;
    for (auto& e : m_dirs)
        if (target.m_sections.find(e.first) != target.m_sections.end() ||
            target.m_dirs.find(e.first) != target.m_dirs.end())
            return FS_EXISTS;

    // What this side holds in section windows must reach the storage first.
    flushAll();
    FsSectionMap keptSections;
    FsDirMap keptDirs;
    keptSections.swap(target.m_sections);
    keptDirs.swap(target.m_dirs);
    target.clearMaps();

    uint32_t result = FS_OK;
    if (FAILED(m_pStorage->CopyTo(0, nullptr, nullptr, target.m_pStorage))) result = FS_FAILED;
    uint32_t lr = target.ListAll();
    if (result == FS_OK && lr != FS_OK) result = lr;
    for (auto& e : keptSections) {
        if (!e.second) continue;
        auto it = target.m_sections.find(e.first);
        if (it != target.m_sections.end())
            it->second = e.second;
        else
            target.m_sections.emplace(e.first, e.second);
    }
    for (auto& e : keptDirs) {
        if (!e.second) continue;
        auto it = target.m_dirs.find(e.first);
        if (it != target.m_dirs.end())
            it->second = e.second;
        else
            target.m_dirs.emplace(e.first, e.second);
    }
    return result;
}

uint32_t FsSectMan::copyNamed(FsSectMan* target, const std::list<String>& names)
{
    if (!target) return FS_FAILED;
    if (m_lent || target->m_lent) return FS_LENT;
    for (const String& name : names) {
        uint32_t type = getType(name.chars());
        if (type == 1) {
            bool wasOpen = false;
            auto ti = target->m_sections.find(name);
            if (ti != target->m_sections.end() && ti->second) wasOpen = true;
            FsSecCl* ts = target->getSect(name.chars(), FS_MODE_WRITE);
            if (!ts) return FS_OPEN_FAILED;
            IStream* tstream = nullptr;
            if (ts->getIStreamPtr(&tstream) != 0 || !tstream) return FS_OPEN_FAILED;
            IStream* copy = nullptr;
            getCopyOfSect(&copy, name.chars(), tstream);
            tstream->Release();
            ts->reloadIfChanged();
            if (!copy) return FS_FAILED;
            copy->Release();
            if (!wasOpen && target->CloseSect(name.chars()) != FS_OK) return FS_CLOSE_FAILED;
        } else if (type == 0) {
            if (target->getType(name.chars()) == 0 && target->DestroyDir(name.chars()) != FS_OK)
                return FS_DESTROY_FAILED;
            FsSectMan* td = nullptr;
            if (target->OpenDir(name.chars(), &td, FS_MODE_WRITE | FS_MODE_CREATE) != FS_OK || !td)
                return FS_CREATE_FAILED;
            IStorage* tstorage = nullptr;
            if (!td->getIStoragePtr(&tstorage)) return FS_OPEN_FAILED;
            IStorage* copy = nullptr;
            getCopyOfDir(&copy, name.chars(), tstorage);
            tstorage->Release();
            td->releaseIStoragePtr();
            if (!copy) return FS_FAILED;
            copy->Release();
            if (target->CloseDir(name.chars()) != FS_OK) return FS_CLOSE_FAILED;
        } else {
            return FS_NOT_FOUND;
        }
    }
    return FS_OK;
}

void FsSectMan::getCopyOfSect(IStream** out, const char* name, IStream* target)
{
    if (!out) return;
    *out = nullptr;
    if (!name) return;
    auto entry = m_sections.find(String(name));
    bool wasOpen = entry != m_sections.end() && entry->second;
    FsSecCl* s = nullptr;
    if (openSect(name, &s, 0) != FS_OK || !s) return;
    IStream* src = nullptr;
    if (s->getIStreamPtr(&src) != 0 || !src) {
        if (!wasOpen && CloseSect(name) != FS_OK)
            TV_TRACE(4, kTraceFile, "FsSectMan::getCopyOfSect", "error calling CloseSect");
        return;
    }
    IStream* dst = target;
    if (dst)
        dst->AddRef();
    else if (FAILED(FsSecClMem::CreateStream(&dst)))
        dst = nullptr;

    bool ok = dst != nullptr;
    LARGE_INTEGER zero;
    zero.QuadPart = 0;
    STATSTG st;
    std::memset(&st, 0, sizeof(st));
    if (ok) ok = SUCCEEDED(src->Seek(zero, STREAM_SEEK_SET, nullptr)) &&
                 SUCCEEDED(src->Stat(&st, STATFLAG_NONAME));
    if (ok && st.cbSize.QuadPart != 0) {
        ULARGE_INTEGER z;
        z.QuadPart = 0;
        ok = SUCCEEDED(dst->SetSize(z));
    }
    if (ok) ok = SUCCEEDED(dst->SetSize(st.cbSize)) && SUCCEEDED(dst->Seek(zero, STREAM_SEEK_SET, nullptr));
    if (ok) {
        ULARGE_INTEGER rd, wr;
        rd.QuadPart = wr.QuadPart = 0;
        ok = SUCCEEDED(src->CopyTo(dst, st.cbSize, &rd, &wr)) && rd.QuadPart == wr.QuadPart &&
             rd.QuadPart == st.cbSize.QuadPart;
    }
    if (ok) ok = SUCCEEDED(dst->Seek(zero, STREAM_SEEK_SET, nullptr));
    src->Release();
    if (s->reloadIfChanged() != 0)
        TV_TRACE(4, kTraceFile, "FsSectMan::getCopyOfSect", "error calling Unlock");
    if (!wasOpen && CloseSect(name) != FS_OK)
        TV_TRACE(4, kTraceFile, "FsSectMan::getCopyOfSect", "error calling CloseSect");
    if (ok)
        *out = dst;
    else if (dst)
        dst->Release();
}

void FsSectMan::getCopyOfDir(IStorage** out, const char* name, IStorage* target)
{
    if (!out) return;
    *out = nullptr;
    if (!name) return;
    auto entry = m_dirs.find(String(name));
    bool wasOpen = entry != m_dirs.end() && entry->second;
    FsSectMan* d = nullptr;
    if (OpenDir(name, &d, 0) != FS_OK || !d) return;
    IStorage* src = nullptr;
    if (!d->getIStoragePtr(&src) || !src) {
        if (!wasOpen && CloseDir(name) != FS_OK)
            TV_TRACE(4, kTraceFile, "FsSectMan::getCopyOfDir", "error calling CloseDir");
        return;
    }
    IStorage* dst = target;
    if (dst)
        dst->AddRef();
    else if (!fsCreateMemStorage(&dst))
        dst = nullptr;
    bool ok = dst && SUCCEEDED(src->CopyTo(0, nullptr, nullptr, dst));
    src->Release();
    if (d->releaseIStoragePtr() != FS_OK)
        TV_TRACE(4, kTraceFile, "FsSectMan::getCopyOfDir", "error calling Unlock");
    if (!wasOpen && CloseDir(name) != FS_OK)
        TV_TRACE(4, kTraceFile, "FsSectMan::getCopyOfDir", "error calling CloseDir");
    if (ok)
        *out = dst;
    else if (dst)
        dst->Release();
}
