// The structure check of a compound file before it is read: the sector
// chains and the directory tree must account for everything the file
// claims to hold. The reader behind it skips what it cannot reach (a
// directory entry outside the tree, the rest of a stream whose chain ends
// early), so without this check a damaged file would open with streams
// missing, and the next write would drop them for good.
#include <algorithm>
#include <cstdint>
#include <new>
#include <vector>

#include "platform/storage_internal.h"

namespace tvp::stg {
namespace {

constexpr uint32_t kEndOfChain = 0xFFFFFFFEu;
constexpr uint32_t kNoStream = 0xFFFFFFFFu;
constexpr uint32_t kHeaderEntries = 109;  // FAT sector numbers in the header
constexpr size_t kEntrySize = 128;

enum EntryType : uint8_t { kEmpty = 0, kStorage = 1, kStream = 2, kRoot = 5 };

class Checker {
public:
    Checker(const uint8_t* data, size_t size, StreamPlaces* places) : data_(data), size_(size), places_(places) {}

    bool run()
    {
        shift_ = data_[30] | (data_[31] << 8);
        ss_ = size_t(1) << shift_;
        const bool v3 = ss_ == 512;
        // Whole sectors behind the header (which takes one sector).
        nsec_ = size_ / ss_ > 0 ? uint32_t(std::min<size_t>(size_ / ss_ - 1, 0xFFFFFFF0u)) : 0;
        owner_.assign(nsec_, 0);
        if (!readFat()) return false;
        std::vector<uint8_t> dir;
        if (!chain(le32(data_ + 48), SIZE_MAX, kDirectory, &dir, true)) return false;
        if (dir.size() < kEntrySize) return false;
        entries_ = dir.size() / kEntrySize;
        dir_ = std::move(dir);

        const uint8_t* root = entry(0);
        // The root has no siblings; a reader that follows them anyway
        // would reach entries twice or outside the tree.
        if (root[66] != kRoot || le32(root + 68) != kNoStream || le32(root + 72) != kNoStream) return false;
        const uint64_t miniCutoff = le32(data_ + 56);
        // The mini stream (the root's data) and the table of its sectors.
        const uint64_t miniSize = streamSize(root, v3);
        if (miniSize > size_) return false;
        // Their chains need not end right after the sectors in use: a
        // writer may keep spare ones, and a size cut short shows in the
        // chains of the streams inside.
        if (miniSize && !chain(le32(root + 116), miniSize, kMiniStream, nullptr, false)) return false;
        const uint32_t miniFatSectors = le32(data_ + 64);
        if (miniFatSectors > nsec_) return false;
        std::vector<uint8_t> miniFat;
        if (miniFatSectors && !chain(le32(data_ + 60), uint64_t(miniFatSectors) * ss_, kMiniFat, &miniFat, false))
            return false;
        const uint64_t miniSectors = std::min<uint64_t>((miniSize + 63) / 64, miniFat.size() / 4);
        std::vector<uint32_t> miniOwner(size_t(miniSectors), 0);

        // Every entry of the tree once; then no stream or storage outside it.
        std::vector<bool> seen(entries_, false);
        seen[0] = true;
        // Each pending entry with the path of its storage (an index into
        // paths; the root's is empty), for the places of streams.
        std::vector<std::pair<uint32_t, size_t>> pending;
        std::vector<std::u16string> paths(1);
        pending.emplace_back(le32(root + 76), 0);
        uint32_t streamNo = kFirstStream;
        while (!pending.empty()) {
            const uint32_t id = pending.back().first;
            const size_t parent = pending.back().second;
            pending.pop_back();
            if (id == kNoStream) continue;
            if (id >= entries_ || seen[id]) return false;
            seen[id] = true;
            const uint8_t* e = entry(id);
            pending.emplace_back(le32(e + 68), parent);
            pending.emplace_back(le32(e + 72), parent);
            if (e[66] == kStorage) {
                if (places_) {
                    paths.push_back(paths[parent] + u'/' + nameOf(e));
                    pending.emplace_back(le32(e + 76), paths.size() - 1);
                } else {
                    pending.emplace_back(le32(e + 76), 0);
                }
            } else if (e[66] == kStream) {
                const uint64_t size = streamSize(e, v3);
                if (size > size_) return false;
                if (size == 0) continue;
                const uint32_t start = le32(e + 116);
                bool inOnePiece = false;
                const bool ok = size < miniCutoff ? miniChain(start, size, miniFat, miniOwner, streamNo)
                                                  : chain(start, size, streamNo, nullptr, true, &inOnePiece);
                if (!ok) return false;
                if (inOnePiece && places_) (*places_)[paths[parent] + u'/' + nameOf(e)] = (uint64_t(start) + 1) * ss_;
                ++streamNo;
            } else {
                return false;
            }
        }
        for (size_t i = 1; i < entries_; ++i) {
            const uint8_t type = entry(i)[66];
            if (!seen[i] && type != kEmpty) return false;
        }
        return true;
    }

private:
    // Owners of sectors: every sector serves one chain at most.
    enum : uint32_t { kFree = 0, kFatSector = 1, kDifat = 2, kDirectory = 3, kMiniStream = 4, kMiniFat = 5,
                      kFirstStream = 6 };

    const uint8_t* sector(uint32_t i) const { return data_ + (size_t(i) + 1) * ss_; }
    const uint8_t* entry(size_t i) const { return dir_.data() + i * kEntrySize; }

    // The name of an entry as it stands (its length in bytes counts the
    // terminating zero).
    static std::u16string nameOf(const uint8_t* e)
    {
        const size_t units = std::min<size_t>(le16(e + 64) / 2, 32);
        std::u16string name;
        for (size_t k = 0; k + 1 < units; ++k) name += char16_t(le16(e + 2 * k));
        return name;
    }

    static uint64_t streamSize(const uint8_t* e, bool v3)
    {
        const uint64_t low = le32(e + 120);
        return v3 ? low : low | (uint64_t(le32(e + 124)) << 32);
    }

    bool take(uint32_t i, uint32_t owner)
    {
        if (i >= nsec_ || owner_[i] != kFree) return false;
        owner_[i] = owner;
        return true;
    }

    // The FAT, gathered through the header's list and the DIFAT chain.
    bool readFat()
    {
        const uint32_t fatSectors = le32(data_ + 44);
        if (fatSectors > nsec_) return false;
        std::vector<uint32_t> ids;
        for (uint32_t k = 0; k < kHeaderEntries && ids.size() < fatSectors; ++k) ids.push_back(le32(data_ + 76 + 4 * k));
        uint32_t difat = le32(data_ + 68);
        const uint32_t perDifat = uint32_t(ss_ / 4) - 1;
        while (ids.size() < fatSectors) {
            if (!take(difat, kDifat)) return false;
            const uint8_t* p = sector(difat);
            for (uint32_t k = 0; k < perDifat && ids.size() < fatSectors; ++k) ids.push_back(le32(p + 4 * k));
            difat = le32(p + 4 * perDifat);
        }
        fat_.reserve(size_t(fatSectors) * (ss_ / 4));
        for (uint32_t id : ids) {
            if (!take(id, kFatSector)) return false;
            const uint8_t* p = sector(id);
            for (size_t k = 0; k < ss_ / 4; ++k) fat_.push_back(le32(p + 4 * k));
        }
        return true;
    }

    // Follows a chain of the FAT from start over the sectors that size
    // bytes need (to its end when size is SIZE_MAX), marking each for owner;
    // out, when given, receives the sectors' bytes. False when the chain
    // ends early (or, with exact, late), leaves the file or meets a sector
    // already in use. inOnePiece, when given, tells whether the sectors
    // follow each other in the file.
    bool chain(uint32_t start, uint64_t size, uint32_t owner, std::vector<uint8_t>* out, bool exact,
               bool* inOnePiece = nullptr)
    {
        const bool toEnd = size == SIZE_MAX;
        const uint64_t needed = toEnd ? uint64_t(nsec_) + 1 : (size + ss_ - 1) / ss_;
        uint32_t cur = start;
        bool consecutive = true;
        for (uint64_t n = 0; n < needed; ++n) {
            if (toEnd && cur == kEndOfChain && n > 0) return true;
            if (!take(cur, owner)) return false;
            if (out) out->insert(out->end(), sector(cur), sector(cur) + ss_);
            const uint32_t next = cur < fat_.size() ? fat_[cur] : kNoStream;
            if (n + 1 < needed && next != cur + 1) consecutive = false;
            cur = next;
        }
        if (inOnePiece) *inOnePiece = consecutive;
        // A chain to its end longer than the file loops; a chain that goes
        // on past its size says that the size was cut.
        return !toEnd && (cur == kEndOfChain || !exact);
    }

    // The same for a chain of the mini FAT.
    bool miniChain(uint32_t start, uint64_t size, const std::vector<uint8_t>& miniFat, std::vector<uint32_t>& owner,
                   uint32_t streamNo)
    {
        const uint64_t needed = (size + 63) / 64;
        uint32_t cur = start;
        for (uint64_t n = 0; n < needed; ++n) {
            if (cur >= owner.size() || owner[cur] != kFree) return false;
            owner[cur] = streamNo;
            cur = le32(miniFat.data() + size_t(cur) * 4);
        }
        return cur == kEndOfChain;
    }

    const uint8_t* data_;
    size_t size_;
    StreamPlaces* places_;
    int shift_ = 9;
    size_t ss_ = 512;
    uint32_t nsec_ = 0;
    std::vector<uint32_t> owner_;
    std::vector<uint32_t> fat_;
    std::vector<uint8_t> dir_;
    size_t entries_ = 0;
};

}  // namespace

HRESULT checkStructure(const uint8_t* data, size_t size, StreamPlaces* places)
{
    try {
        if (places) places->clear();
        if (Checker(data, size, places).run()) return S_OK;
        if (places) places->clear();
        return STG_E_DOCFILECORRUPT;
    } catch (const std::bad_alloc&) {
        return STG_E_INSUFFICIENTMEMORY;
    }
}

}  // namespace tvp::stg
