// Reading and writing the bytes of a compound file through libgsf.
#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-memory.h>
#include <gsf/gsf-input.h>
#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-impl.h>
#include <gsf/gsf-output-memory.h>
#include <gsf/gsf-output-stdio.h>
#include <gsf/gsf-output.h>
#include <gsf/gsf-utils.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include "platform/memory_watch.h"
#include "platform/storage_internal.h"
#include "platform/text.h"

namespace tvp::stg {

namespace {

const uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

// Deepest storage nesting accepted when reading; deeper trees only come
// from damaged files and would exhaust the stack.
constexpr int kMaxDepth = 1024;

void quietLog(const gchar*, GLogLevelFlags, const gchar*, gpointer) {}

void initGsf()
{
    static std::once_flag once;
    std::call_once(once, [] { gsf_init(); });
}

// libgsf reports damaged files through warnings of the default log domain;
// while it works for us they are not printed (the caller gets an error
// code instead).
class QuietGsf {
public:
    QuietGsf()
    {
        initGsf();
        const auto levels = GLogLevelFlags(G_LOG_LEVEL_WARNING | G_LOG_LEVEL_MESSAGE | G_LOG_LEVEL_INFO |
                                           G_LOG_LEVEL_DEBUG | G_LOG_LEVEL_CRITICAL);
        plain_ = g_log_set_handler(nullptr, levels, quietLog, nullptr);
        msole_ = g_log_set_handler("libgsf:msole", levels, quietLog, nullptr);
    }
    ~QuietGsf()
    {
        g_log_remove_handler(nullptr, plain_);
        g_log_remove_handler("libgsf:msole", msole_);
    }
    QuietGsf(const QuietGsf&) = delete;
    QuietGsf& operator=(const QuietGsf&) = delete;

private:
    guint plain_;
    guint msole_;
};

FILETIME fromDateTime(GDateTime* dt)
{
    gint64 unixSec = g_date_time_to_unix(dt);
    gint64 usec = g_date_time_get_microsecond(dt);
    int64_t ticks = int64_t(kFileTimeUnixEpoch) + unixSec * 10000000 + usec * 10;
    if (ticks < 0) ticks = 0;
    return ticksToFileTime(ULONGLONG(ticks));
}

GDateTime* toDateTime(const FILETIME& ft)
{
    int64_t ticks = int64_t(fileTimeToTicks(ft)) - int64_t(kFileTimeUnixEpoch);
    int64_t sec = ticks / 10000000;
    int64_t rem = ticks % 10000000;
    if (rem < 0) {
        rem += 10000000;
        --sec;
    }
    GDateTime* base = g_date_time_new_from_unix_utc(sec);
    if (!base) return nullptr;
    GDateTime* dt = g_date_time_add(base, rem / 10);
    g_date_time_unref(base);
    return dt;
}

bool isZero(const FILETIME& ft)
{
    return ft.dwLowDateTime == 0 && ft.dwHighDateTime == 0;
}

bool isNull(const CLSID& c)
{
    return c == GUID_NULL;
}

// glib ends the process when an allocation of libgsf fails: it is called only
// with room for what it takes beside the bytes it is given (checked in
// address space, tvp::roomFor; a failure is STG_E_INSUFFICIENTMEMORY). Its
// tables, directory and read buffers take a few megabytes and a small part of
// the file; while writing it also keeps each small stream in a block of 4 KB
// until the end.
constexpr uint64_t kGsfRoom = uint64_t(4) << 20;

uint64_t writeRoom(const Node& n)
{
    uint64_t room = 512;  // its directory entry and table share
    if (!n.storage) room += n.data.size() < 4096 ? 4096 : n.data.size() / 32;
    for (const auto& c : n.children) room += writeRoom(*c.second);
    return room;
}

uint64_t treeBytes(const Node& n)
{
    uint64_t bytes = n.storage ? 0 : n.data.size();
    for (const auto& c : n.children) bytes += treeBytes(*c.second);
    return bytes;
}

bool roomToWrite(const Node& root, uint64_t sinkBytes)
{
    const uint64_t room = kGsfRoom + writeRoom(root) + sinkBytes;
    return room < SIZE_MAX && roomFor(size_t(room));
}

struct Reader {
    size_t budget = 0;  // stream bytes still acceptable
    // The file the bytes come from and where its streams in one piece lie
    // (none: every stream is read).
    const std::shared_ptr<SpillFile>* file = nullptr;
    const StreamPlaces* places = nullptr;
    std::u16string path;  // of the storage being read

    HRESULT readChildren(GsfInfile* in, Node& parent, int depth)
    {
        if (depth > kMaxDepth) return STG_E_DOCFILECORRUPT;
        int n = gsf_infile_num_children(in);
        for (int i = 0; i < n; ++i) {
            const char* name8 = gsf_infile_name_by_index(in, i);
            std::u16string name;
            if (!name8 || !fromUtf8(name8, name) || name.empty() || name.size() > 31)
                return STG_E_DOCFILECORRUPT;
            GsfInput* child = gsf_infile_child_by_index(in, i);
            if (!child) return STG_E_DOCFILECORRUPT;
            HRESULT hr = readChild(child, name, parent, depth);
            g_object_unref(child);
            if (FAILED(hr)) return hr;
        }
        return S_OK;
    }

    HRESULT readChild(GsfInput* child, const std::u16string& name, Node& parent, int depth)
    {
        auto node = std::make_shared<Node>();
        node->name = name;
        bool isDir = GSF_IS_INFILE(child) && gsf_infile_num_children(GSF_INFILE(child)) >= 0;
        if (isDir) {
            node->storage = true;
            if (GSF_IS_INFILE_MSOLE(child)) {
                guint8 id[16];
                if (gsf_infile_msole_get_class_id(GSF_INFILE_MSOLE(child), id))
                    std::memcpy(&node->clsid, id, 16);
            }
            if (GDateTime* mt = gsf_input_get_modtime(child)) node->mtime = fromDateTime(mt);
            const size_t outer = path.size();
            if (places) path += u'/' + name;
            HRESULT hr = readChildren(GSF_INFILE(child), *node, depth + 1);
            path.resize(outer);
            if (FAILED(hr)) return hr;
        } else {
            gsf_off_t size = gsf_input_size(child);
            // A healthy file holds every stream byte once, so the streams
            // together cannot be larger than the file.
            if (size < 0 || uint64_t(size) > budget) return STG_E_DOCFILECORRUPT;
            budget -= size_t(size);
            if (places && uint64_t(size) >= spillThreshold()) {
                // A large stream in one piece of the file is read from there
                // when it is read (or copied when it is first written).
                auto at = places->find(path + u'/' + name);
                if (at != places->end()) {
                    node->data.adoptRegion(*file, at->second, size_t(size));
                    return addChild(parent, name, node);
                }
            }
            // Read in pieces: a large stream goes on into its spill file
            // without passing whole through memory.
            if (FAILED(node->data.reserve(uint64_t(size)))) return STG_E_INSUFFICIENTMEMORY;
            std::vector<uint8_t> piece(size_t(std::min<gsf_off_t>(size, gsf_off_t(1) << 20)));
            for (gsf_off_t done = 0; done < size;) {
                const size_t n = size_t(std::min<gsf_off_t>(size - done, gsf_off_t(piece.size())));
                if (!gsf_input_read(child, n, piece.data())) return STG_E_DOCFILECORRUPT;
                if (FAILED(node->data.writeAt(uint64_t(done), piece.data(), n))) return STG_E_INSUFFICIENTMEMORY;
                done += gsf_off_t(n);
            }
        }
        return addChild(parent, name, node);
    }

    static HRESULT addChild(Node& parent, const std::u16string& name, const NodePtr& node)
    {
        if (!parent.children.emplace(upperName(name), node).second) return STG_E_DOCFILECORRUPT;
        return S_OK;
    }
};

struct Writer {
    bool ok = true;

    void writeChildren(GsfOutfile* out, const Node& parent)
    {
        for (const auto& entry : parent.children) {
            const Node& c = *entry.second;
            std::string name = toUtf8(c.name);
            GsfOutput* child = gsf_outfile_new_child(out, name.c_str(), c.storage);
            if (!child) {
                ok = false;
                return;
            }
            if (c.storage) {
                if (!isNull(c.clsid))
                    gsf_outfile_msole_set_class_id(GSF_OUTFILE_MSOLE(child),
                                                   reinterpret_cast<const guint8*>(&c.clsid));
                if (!isZero(c.mtime)) {
                    if (GDateTime* dt = toDateTime(c.mtime)) {
                        gsf_output_set_modtime(child, dt);
                        g_date_time_unref(dt);
                    }
                }
                writeChildren(GSF_OUTFILE(child), c);
            } else {
                HRESULT hr = c.data.forEachChunk([&](const uint8_t* p, size_t left) {
                    while (ok && left) {
                        size_t chunk = left < (size_t(1) << 26) ? left : (size_t(1) << 26);
                        if (!gsf_output_write(child, chunk, p)) ok = false;
                        p += chunk;
                        left -= chunk;
                    }
                    return ok;
                });
                if (FAILED(hr)) ok = false;
            }
            if (!gsf_output_close(child)) ok = false;
            g_object_unref(child);
            if (!ok) return;
        }
    }
};

}  // namespace

HRESULT checkHeader(const uint8_t* data, size_t size)
{
    if (size < sizeof kSignature || std::memcmp(data, kSignature, sizeof kSignature) != 0) return S_FALSE;
    if (size < 512) return STG_E_INVALIDHEADER;
    uint16_t byteOrder = le16(data + 28);
    uint16_t sectorShift = le16(data + 30);
    uint16_t miniShift = le16(data + 32);
    if (byteOrder != 0xFFFE) return STG_E_INVALIDHEADER;
    if (sectorShift != 9 && sectorShift != 12) return STG_E_INVALIDHEADER;
    if (miniShift != 6) return STG_E_INVALIDHEADER;
    return S_OK;
}

HRESULT decode(const uint8_t* data, size_t size, Node& root, const std::shared_ptr<SpillFile>& file)
{
    HRESULT hr = checkHeader(data, size);
    if (hr == S_FALSE) return STG_E_FILEALREADYEXISTS;
    if (FAILED(hr)) return hr;
    StreamPlaces places;
    hr = checkStructure(data, size, file ? &places : nullptr);
    if (FAILED(hr)) return hr;
    if (!roomFor(size_t(kGsfRoom + size / 4))) return STG_E_INSUFFICIENTMEMORY;
    QuietGsf quiet;
    GsfInput* input = gsf_input_memory_new(data, gsf_off_t(size), FALSE);
    if (!input) return STG_E_INSUFFICIENTMEMORY;
    GError* err = nullptr;
    GsfInfile* infile = gsf_infile_msole_new(input, &err);
    g_object_unref(input);  // the infile keeps its own reference
    if (err) g_error_free(err);
    if (!infile) return STG_E_DOCFILECORRUPT;

    root.storage = true;
    guint8 id[16];
    if (gsf_infile_msole_get_class_id(GSF_INFILE_MSOLE(infile), id)) std::memcpy(&root.clsid, id, 16);
    Reader reader;
    reader.budget = size;
    if (file) {
        reader.file = &file;
        reader.places = &places;
    }
    try {
        hr = reader.readChildren(infile, root, 0);
    } catch (const std::bad_alloc&) {
        noteMemoryRanOut();
        hr = STG_E_INSUFFICIENTMEMORY;
    }
    g_object_unref(infile);
    if (FAILED(hr)) root.children.clear();
    return hr;
}

Encoded::~Encoded()
{
    if (holder_) g_object_unref(static_cast<GsfOutput*>(holder_));
}

namespace {

// Encodes the tree into sink (which it closes with the outfile).
bool encodeInto(const Node& root, GsfOutput* sink)
{
    GsfOutfile* outfile = gsf_outfile_msole_new(sink);
    if (!outfile) return false;
    if (!isNull(root.clsid))
        gsf_outfile_msole_set_class_id(GSF_OUTFILE_MSOLE(outfile), reinterpret_cast<const guint8*>(&root.clsid));
    Writer writer;
    try {
        writer.writeChildren(outfile, root);
    } catch (const std::bad_alloc&) {
        // Its children are left open: the file is not whole, and is not used.
        noteMemoryRanOut();
        writer.ok = false;
    }
    // Closing the outfile writes the directory and closes the sink.
    if (!gsf_output_close(GSF_OUTPUT(outfile))) writer.ok = false;
    g_object_unref(outfile);
    return writer.ok;
}

}  // namespace

HRESULT encode(const Node& root, Encoded& out)
{
    QuietGsf quiet;
    if (out.holder_) {
        g_object_unref(static_cast<GsfOutput*>(out.holder_));
        out.holder_ = nullptr;
    }
    out.data_ = nullptr;
    out.size_ = 0;
    // The memory the bytes go to grows by doubling: twice their room.
    if (!roomToWrite(root, 2 * treeBytes(root))) return STG_E_INSUFFICIENTMEMORY;
    GsfOutput* mem = gsf_output_memory_new();
    if (!mem) return STG_E_INSUFFICIENTMEMORY;
    if (!encodeInto(root, mem)) {
        g_object_unref(mem);
        return STG_E_WRITEFAULT;
    }
    out.holder_ = mem;
    out.data_ = gsf_output_memory_get_bytes(GSF_OUTPUT_MEMORY(mem));
    out.size_ = size_t(gsf_output_size(mem));
    return S_OK;
}

HRESULT encodeTo(const Node& root, std::FILE* f, uint64_t& size)
{
    QuietGsf quiet;
    size = 0;
    if (!roomToWrite(root, 0)) return STG_E_INSUFFICIENTMEMORY;
    // The file is kept open: its owner flushes and closes it.
    GsfOutput* sink = gsf_output_stdio_new_FILE("", f, TRUE);
    if (!sink) return STG_E_INSUFFICIENTMEMORY;
    const bool ok = encodeInto(root, sink);
    const gsf_off_t n = gsf_output_size(sink);
    g_object_unref(sink);
    if (!ok || std::fflush(f) != 0 || std::ferror(f)) return STG_E_WRITEFAULT;
    size = uint64_t(n);
    return S_OK;
}

// --- text helpers ------------------------------------------------------------

std::string toUtf8(const std::u16string& s) { return wideToUtf8(s); }

bool fromUtf8(const char* s, std::u16string& out)
{
    out.clear();
    const auto* p = reinterpret_cast<const unsigned char*>(s);
    while (*p) {
        uint32_t c = *p++;
        int extra;
        if (c < 0x80) extra = 0;
        else if ((c & 0xE0) == 0xC0) { c &= 0x1F; extra = 1; }
        else if ((c & 0xF0) == 0xE0) { c &= 0x0F; extra = 2; }
        else if ((c & 0xF8) == 0xF0) { c &= 0x07; extra = 3; }
        else return false;
        for (int k = 0; k < extra; ++k) {
            if ((*p & 0xC0) != 0x80) return false;
            c = (c << 6) | (*p++ & 0x3F);
        }
        if (c >= 0x110000) return false;
        if (c >= 0x10000) {
            c -= 0x10000;
            out += char16_t(0xD800 + (c >> 10));
            out += char16_t(0xDC00 + (c & 0x3FF));
        } else {
            out += char16_t(c);
        }
    }
    return true;
}

}  // namespace tvp::stg
