// Feeds arbitrary bytes to the readers of the object-file sections, the
// boot-telegram section and the descriptor header. The first byte chooses
// the reader and, for some, a well-formed prefix so that the bodies behind
// the version lines are reached; the rest is the section. Every reader must
// stop with an error code, never crash, hang or allocate beyond the size of
// the section.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/fs/FsDsc.h"
#include "base/fs/FsSecBootTels.h"
#include "base/fs/FsSections.h"
#include "platform/com.h"
#include "platform/storage.h"

namespace {

template <class T>
bool load(T& sec, const std::string& bytes)
{
    IStream* s = nullptr;
    if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, &s)) || !s) return false;
    ULONG n = 0;
    if (!bytes.empty()) s->Write(bytes.data(), ULONG(bytes.size()), &n);
    bool ok = sec.attach(s, 0) == 0;
    s->Release();
    return ok;
}

const char* const kPrefixes[] = {
    "",
    "1\r\n27 ObjectFileFormat_Version4.1\r\n",
    "1\r\n28 ObjectFileFormat_Version 0.4\r\n",
    "1\r\n29 ObjectFileFormat_Version 3.21\r\n",
    "26 UnitUsingTable_Version 3.2\r\n",
    "26 UnitUsingTable_Version 1.0\r\n",
    "23 ExternTable_Version 1.0\r\n",
    "27 FuncExportTable_Version 0.1\r\n",
    "27 AlarmReferences_Version 1.0\r\n",
    "27 DataDescription_Version 1.0\r\n",
    "22 ValueTable_Version 1.0\r\n",
    "13 Version(0, 0)\r\n",
    "5\r\n",
    "18\r\n12 PrgState 0.2\r\n",
    "3\r\n",
    ">12 CodeSec_V2_0\r\n",
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    const uint8_t control = data[0];
    std::string bytes = kPrefixes[(control >> 4) % (sizeof(kPrefixes) / sizeof(kPrefixes[0]))];
    bytes.append(reinterpret_cast<const char*>(data + 1), size - 1);

    switch (control % 14) {
    case 0: {
        FsSecObjHead s;
        if (load(s, bytes)) s.read();
        break;
    }
    case 1: {
        FsSecUnUseTable s;
        std::vector<FsUnitUsedEntry> v;
        if (load(s, bytes)) s.readTable(v);
        break;
    }
    case 2: {
        FsSecExtTable s;
        std::vector<FsExtUnitRef> u;
        if (load(s, bytes)) s.readTable(&u, nullptr, nullptr, nullptr, nullptr);
        break;
    }
    case 3: {
        FsSecUnFuncExportTable s;
        std::vector<FsFuncExport> v;
        if (load(s, bytes)) s.readTable(v);
        break;
    }
    case 4: {
        FsSecAlarmUsing s;
        std::vector<FsAlarmRef> v;
        if (load(s, bytes)) s.readTable(v);
        break;
    }
    case 5: {
        FsSecDataDescr s;
        if (!load(s, bytes)) break;
        uint32_t count = 0, v = 0, n = 0;
        if (!s.openTable(false, count)) break;
        for (uint32_t i = 0; i < count && s.readNumber(v); ++i) {
        }
        String name;
        std::vector<uint32_t> list;
        for (int unit = 0; unit < 64 && s.beginUnit(n); ++unit)
            for (uint32_t i = 0; i < n && s.readEntry(name, list); ++i) {
            }
        break;
    }
    case 6: {
        FsSecCValue s;
        std::vector<uint32_t> v;
        if (load(s, bytes)) s.readValues(v);
        break;
    }
    case 7: {
        FsSecBootTels s;
        if (load(s, bytes)) s.read();
        break;
    }
    case 8: {
        FsSecLinNr s;
        if (!load(s, bytes) || s.read() != 0) break;
        FsLineRecord r;
        while (s.readLine(r)) {
        }
        break;
    }
    case 9: {
        FsSecProgState s;
        if (load(s, bytes)) s.read();
        break;
    }
    case 10: {
        FsSecData s;
        std::vector<FsDataValue> v;
        uint32_t total = 0;
        if (load(s, bytes)) s.readValues(v, total);
        break;
    }
    case 11: {
        FsSecCode s;
        uint32_t w = 0;
        if (load(s, bytes))
            while (s.readWord(w)) {
            }
        break;
    }
    default: {
        FsSecCl s;
        FsDscHead head;
        if (load(s, bytes)) head.read(s);
        break;
    }
    }
    return 0;
}
