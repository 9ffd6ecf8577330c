// The class-provider steps of the system-variable and system-function
// methods (see MdClassProviderSteps.h).
#include "tools/md/tavolin/MdClassProviderSteps.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include <list>
#include <memory>
#include <vector>

#include "base/fs/FsDsc.h"
#include "base/fs/FsObjFile.h"
#include "co/GlobTools.h"
#include "platform/comserver.h"
#include "platform/library.h"
#include "platform/tempnames.h"
#include "platform/text.h"
#include "tools/md/tavolin/MdClassProvider.h"
#include "tools/md/tavolin/MdScopeExit.h"
#include "tools/md/tavolin/NameExportFile.h"

namespace {

// Bytes copied from the stream into the temporary file at a time: few
// calls, and a buffer that stays in the cache between its fill and its write.
constexpr ULONG kChunk = 256 * 1024;

std::string g_providerDir;

// A device descriptor of this type (version 1, second word 0) in the first
// list is handed over with flag 0.
const RTTypeID kBaseDeviceType(
    GUID{0x0B77C3C0, 0x79ED, 0x11D5, {0xAE, 0x65, 0x00, 0x40, 0xC7, 0x99, 0x8E, 0x91}}, 1, 0);

HRESULT createFromLibrary(IMdClassProvider** out)
{
    const std::string dir = mdClassProviderDirectory();
    if (dir.empty()) return E_FAIL;
    const std::u16string path = tvp::pathToWide(dir + "/" + tvp::libraryFileName("tvclsprv.dll"));
    HINSTANCE lib = CoLoadLibrary(path.c_str(), TRUE);
    if (!lib) return E_FAIL;
    auto getClassObject = reinterpret_cast<PFN_DllGetClassObject>(GetProcAddress(lib, "DllGetClassObject"));
    if (!getClassObject) return E_FAIL;
    IClassFactory* factory = nullptr;
    HRESULT hr = getClassObject(CLSID_MdClassProvider, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (FAILED(hr) || !factory) return E_FAIL;
    hr = factory->CreateInstance(nullptr, IID_IMdClassProvider, reinterpret_cast<void**>(out));
    factory->Release();
    return hr;
}

// The component of this call (a reference owned by the caller), also kept
// as the object's class provider; null after message 0.
IMdClassProvider* obtainProvider(MdFrontContext& ctx)
{
    IMdClassProvider* p = nullptr;
    const HRESULT hr = ctx.flag ? CoCreateInstance(CLSID_MdClassProvider, nullptr, CLSCTX_INPROC_SERVER,
                                                   IID_IMdClassProvider, reinterpret_cast<void**>(&p))
                                : createFromLibrary(&p);
    if (FAILED(hr) || !p) {
        if (p) p->Release();
        mdReport(MdMsgInternal);
        return nullptr;
    }
    if (ctx.classProvider) *ctx.classProvider = static_cast<IUnknown*>(p);
    return p;
}

// Writes n bytes to fd; false on an error (kept for the host, which says
// the system's reason).
bool writeAll(int fd, const char* p, std::size_t n)
{
    while (n > 0) {
        const ssize_t w = ::write(fd, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) {
            tvp::noteFileFailureOn(w < 0 ? errno : ENOSPC, fd);
            return false;
        }
        p += w;
        n -= std::size_t(w);
    }
    return true;
}

// Writes the temporary stream into a new temporary file (path, removed by
// the caller on every path). False after message 101 or 100 and status
// 0xBE11FFFF.
bool writeTempFile(FsFileMan* work, const char* streamName, String& path, int32_t& status)
{
    FsSecCl* sec = nullptr;
    const uint32_t r = work ? work->openSect(streamName, &sec, FS_MODE_WRITE) : uint32_t(FS_NO_STORAGE);
    if (r != FS_OK || !sec) {
        if (r == FS_OK) work->CloseSect(streamName);
        mdReport(MdMsgSectionOpen, streamName);
        status = MdStatusFailed;
        return false;
    }
    MdScopeExit closeStream([&] { work->CloseSect(streamName); });
    path = createTempName(true);
    // The file createTempName made is empty and ours: opened without
    // truncating it. A truncated file that is written and closed has the
    // file system start writing it back at the close (a guard for files
    // replaced by rewriting), and its removal then waits for that: two
    // thirds of the step on a large stream.
    const int fd = path.empty() ? -1 : ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        if (!path.empty()) tvp::noteFileFailureAt(errno, path.c_str());
        mdReportFile(path.c_str());
        status = MdStatusFailed;
        return false;
    }
    // The section's stream itself, in large reads, rather than through the
    // section's 16 KB window.
    IStream* stream = sec->stream();
    LARGE_INTEGER start;
    start.QuadPart = 0;
    bool ok = stream && SUCCEEDED(stream->Seek(start, STREAM_SEEK_SET, nullptr));
    std::unique_ptr<char[]> buf(ok ? new char[kChunk] : nullptr);
    for (uint32_t left = sec->getSize(); ok && left > 0;) {
        ULONG n = 0;
        ok = SUCCEEDED(stream->Read(buf.get(), left < kChunk ? left : kChunk, &n)) && n > 0 &&
             writeAll(fd, buf.get(), n);
        left -= ok ? n : 0;
    }
    if (::close(fd) != 0 && ok) {
        tvp::noteFileFailureAt(errno, path.c_str());
        ok = false;
    }
    if (!ok) {
        mdReportFile(path.c_str());
        status = MdStatusFailed;
    }
    return ok;
}

void removeFile(const String& path)
{
    if (!path.empty()) ::unlink(path.c_str());
}

// The working file's storage lent for the component's call, given back on
// every path.
class LentStorage {
public:
    explicit LentStorage(FsFileMan* work) : m_work(work)
    {
        if (m_work && !m_work->getIStoragePtr(&m_storage)) m_storage = nullptr;
    }
    ~LentStorage() { giveBack(); }
    LentStorage(const LentStorage&) = delete;
    LentStorage& operator=(const LentStorage&) = delete;
    IStorage* get() const { return m_storage; }
    void giveBack()
    {
        if (!m_storage) return;
        m_storage->Release();
        m_storage = nullptr;
        m_work->releaseIStoragePtr();
    }

private:
    FsFileMan* m_work;
    IStorage* m_storage = nullptr;
};

// The descriptor files handed to the system-function operation: each
// descriptor stays open with its object file's storage lent into the entry
// until the collection dies.
class DescriptorEntries {
public:
    ~DescriptorEntries() { release(); }

    // Opens path as a package, else as a device descriptor, and adds its
    // entry; false (message 100 with the path) when there is no
    // descriptor, object file or storage.
    bool add(const String& path, bool firstList, std::list<RTTypeID>& typeIds)
    {
        LONG flag = firstList ? 1 : 0;
        std::unique_ptr<FsTPDscFile> dsc(new FsTPDscFile());
        FsDscHead head;
        bool headRead = false;
        if (dsc->openFile(path.c_str(), 0) == FS_OK) {
            headRead = dsc->read_head(head) == FS_OK;
        } else {
            dsc.reset(new FsDvDscFile());
            if (static_cast<FsDvDscFile&>(*dsc).openExistFile(path.c_str(), 0) == FS_OK) {
                headRead = dsc->read_head(head) == FS_OK;
                if (headRead && firstList && head.typeId1 == kBaseDeviceType) flag = 0;
            } else {
                dsc.reset();
            }
        }
        if (headRead && !firstList) typeIds.push_back(head.typeId1);
        FsObjFileBase* obj = dsc ? dsc->openObjFile() : nullptr;
        IStorage* storage = nullptr;
        if (!obj || !obj->getIStoragePtr(&storage) || !storage) {
            if (dsc) dsc->CloseFile();
            mdReportFile(path.c_str());
            return false;
        }
        m_open.push_back(Open{std::move(dsc), obj});
        m_entries.push_back(MdClsPrvDscEntry{storage, flag});
        return true;
    }

    LONG count() const { return LONG(m_entries.size()); }
    MdClsPrvDscEntry* data() { return m_entries.empty() ? nullptr : m_entries.data(); }

    // Gives every storage back and closes every descriptor.
    void release()
    {
        for (size_t i = 0; i < m_entries.size(); ++i) {
            m_entries[i].storage->Release();
            m_open[i].objFile->releaseIStoragePtr();
            m_open[i].dsc->CloseFile();
        }
        m_entries.clear();
        m_open.clear();
    }

private:
    struct Open {
        std::unique_ptr<FsTPDscFile> dsc;
        FsObjFileBase* objFile;  // belongs to dsc
    };
    std::vector<Open> m_open;
    std::vector<MdClsPrvDscEntry> m_entries;
};

// The bytes of a path the host named (see tvp::pathToWide).
String pathOf(BSTR b)
{
    return b ? String(tvp::wideToPath(b, SysStringLen(b))) : String();
}

// A new BSTR of a path.
BSTR bstrOf(const String& path)
{
    return SysAllocString(tvp::pathToWide(path.c_str()).c_str());
}

// Brings "unitinterf" of the working file to name-exports version 2;
// message 101 when the rewrite fails. A working file without the section
// has nothing to rewrite.
void updateUnitInterface(FsFileMan* work)
{
    const char* const name = "unitinterf";
    FsSecCl* sec = nullptr;
    if (work->openSect(name, &sec, FS_MODE_WRITE) != FS_OK || !sec) return;
    NameExportFile file;
    const int r = file.update(sec, 2);
    work->CloseSect(name);
    if (r == 2) mdReport(MdMsgSectionOpen, name);
}

// What both methods start with: the component, and the temporary stream in
// a temporary file that is removed when the call dies.
class ProviderCall {
public:
    ProviderCall() = default;
    ~ProviderCall() { removeFile(m_path); }
    ProviderCall(const ProviderCall&) = delete;
    ProviderCall& operator=(const ProviderCall&) = delete;

    // E_FAIL without a component (message 0); S_OK otherwise, with ready()
    // false when the stream or the file failed (message and status set).
    HRESULT start(MdFrontContext& ctx, const char* streamName, int32_t& status)
    {
        m_provider.Attach(obtainProvider(ctx));
        if (!m_provider) return E_FAIL;
        m_ready = writeTempFile(ctx.workFile, streamName, m_path, status);
        return S_OK;
    }
    bool ready() const { return m_ready; }
    IMdClassProvider* operator->() const { return m_provider.get(); }
    // A new BSTR of the temporary file's path.
    BSTR newPathBstr() const { return bstrOf(m_path); }

private:
    ComPtr<IMdClassProvider> m_provider;
    String m_path;
    bool m_ready = false;
};

}  // namespace

std::string mdClassProviderDirectory()
{
    if (!g_providerDir.empty()) return g_providerDir;
    return tvp::moduleDirOf(reinterpret_cast<const void*>(&mdClassProviderDirectory));
}

void mdSetClassProviderDirectory(const std::string& dir)
{
    g_providerDir = dir;
}

HRESULT mdCompileSysVars(MdFrontContext& ctx, LONG a, LONG b, int32_t& status)
{
    return mdRunSectionMethod(MdMethSysVars, ctx, status, [&]() -> HRESULT {
        ProviderCall provider;
        const HRESULT started = provider.start(ctx, "sysvar_tmp", status);
        if (started != S_OK || !provider.ready()) return started;

        LentStorage storage(ctx.workFile);
        OwnedBstr tempPath(provider.newPathBstr());
        const std::u16string source = tvp::pathToWide(ctx.sourcePath.c_str());
        char* text = nullptr;
        LONG st = status;
        const HRESULT hr = provider->compileSysVars(tempPath.get(), source.c_str(), storage.get(), a, b, "",
                                                    ctx.errorDisplay, &text, &st);
        status = st;
        if (ctx.classProviderText) *ctx.classProviderText = text ? String(text) : String();
        CoTaskMemFree(text);
        return hr;
    });
}

HRESULT mdCompileSysFunctions(MdFrontContext& ctx, LONG a, LONG firstCount, BSTR* firstPaths, LONG secondCount,
                              BSTR* secondPaths, LONG c, LONG d, int32_t& status)
{
    return mdRunSectionMethod(MdMethSysFunctions, ctx, status, [&]() -> HRESULT {
        ProviderCall provider;
        const HRESULT started = provider.start(ctx, "sysfkt_tmp", status);
        if (started != S_OK || !provider.ready()) return started;

        FsFileMan* work = ctx.workFile;
        FsSectMan* code = nullptr;
        if (work->OpenDir("code", &code, FS_MODE_WRITE) != FS_OK || !code) {
            status = MdStatusFailed;
            return S_OK;
        }
        MdScopeExit closeCode([&] { work->CloseDir("code"); });

        DescriptorEntries entries;
        std::list<RTTypeID> typeIds;
        bool failed = false;
        for (int list = 0; list < 2; ++list) {
            const LONG count = list == 0 ? firstCount : secondCount;
            BSTR* paths = list == 0 ? firstPaths : secondPaths;
            for (LONG i = 0; paths && i < count; ++i)
                if (!entries.add(pathOf(paths[i]), list == 0, typeIds)) failed = true;
        }
        if (failed) {
            status = MdStatusFailed;
            return S_OK;
        }

        updateUnitInterface(work);

        // Lending the storage closes everything open in it, "code" included.
        work->CloseDir("code");
        HRESULT hr;
        {
            LentStorage storage(work);
            OwnedBstr tempPath(provider.newPathBstr());
            const char* option = ctx.firstId >= 4 ? " -C RefCall " : "";
            LONG st = status;
            hr = provider->compileSysFunctions(tempPath.get(), a, ctx.typeId, entries.count(), entries.data(), c, d,
                                               storage.get(), option, ctx.errorDisplay, &st);
            status = st;
            entries.release();
        }

        const char* const listName = "rtcompattptypes";
        FsSecCl* sec = nullptr;
        if (work->openSect(listName, &sec, FS_MODE_WRITE) != FS_OK || !sec) {
            mdReport(MdMsgSectionOpen, listName);
            return S_OK;
        }
        if (sec->setSize(0) == 0) *sec << typeIds;
        work->CloseSect(listName);
        return hr;
    });
}
