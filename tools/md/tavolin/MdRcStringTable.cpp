// Resource-script string tables of the section compilers.
#include "tools/md/tavolin/MdRcStringTable.h"

#include <cstring>

const char kMdRcLineEnd[] = "\r\n";

MdRcStringTable::~MdRcStringTable()
{
    close();
}

bool MdRcStringTable::open(const String& path)
{
    close();
    m_failed = false;
    // Binary mode: the line ends are written as they stand.
    if (!path.empty()) m_file = std::fopen(path.c_str(), "ab");
    if (!m_file) m_failed = true;
    return m_file != nullptr;
}

namespace {

// What is collected before it is written: a table of an alarm section has
// an entry per alarm, and a write per line was a large part of its cost.
constexpr std::size_t kRcWriteRun = 1 << 16;

}  // namespace

void MdRcStringTable::put(const char* text, std::size_t len)
{
    if (!good() || len == 0) return;
    m_pending.append(text, len);
    if (m_pending.size() >= kRcWriteRun) flush();
}

void MdRcStringTable::flush()
{
    if (good() && !m_pending.empty() && std::fwrite(m_pending.data(), 1, m_pending.size(), m_file) != m_pending.size())
        m_failed = true;
    m_pending.clear();
}

void MdRcStringTable::put(const char* text)
{
    put(text, std::strlen(text));
}

void MdRcStringTable::beginTable()
{
    put("STRINGTABLE DISCARDABLE");
    put(kMdRcLineEnd);
    put("BEGIN");
    put(kMdRcLineEnd);
}

void MdRcStringTable::addText(int32_t id, const String& text)
{
    addText(id, text.c_str(), std::size_t(text.length()));
}

void MdRcStringTable::addText(int32_t id, const char* text, std::size_t length)
{
    if (!good()) return;
    // "   0x%04X   \"", written by hand: a table of an alarm section holds
    // an entry per alarm, and formatting was most of its cost.
    char head[32] = "   0x";
    std::size_t n = 5;
    const uint32_t v = uint32_t(id);
    int digits = 4;
    while (digits < 8 && (v >> (4 * digits)) != 0) ++digits;
    for (int d = digits - 1; d >= 0; --d) head[n++] = "0123456789ABCDEF"[(v >> (4 * d)) & 0xF];
    std::memcpy(head + n, "   \"", 4);
    std::string& out = m_pending;
    out.append(head, n + 4);
    // A quote inside the text is doubled, the resource compiler's escape;
    // a bare one would end the string early. A line end (CR LF, LF or CR)
    // becomes the escape \n: a raw one would break the entry's line, and a
    // reader of the script would lose it. Every other byte stands as it is.
    const char* run = text;
    const char* const end = text + length;
    for (const char* p = text; p < end; ++p) {
        const char c = *p;
        if (uint8_t(c) > uint8_t('"') || (c != '"' && c != '\r' && c != '\n')) continue;
        out.append(run, std::size_t(p - run));
        if (c == '"') {
            out.append("\"\"", 2);
        } else {
            out.append("\\n", 2);
            if (c == '\r' && p + 1 < end && p[1] == '\n') ++p;
        }
        run = p + 1;
    }
    out.append(run, std::size_t(end - run));
    out += '"';
    out += kMdRcLineEnd;
    if (out.size() >= kRcWriteRun) flush();
}

void MdRcStringTable::endTable()
{
    put("END");
    put(kMdRcLineEnd);
    put(kMdRcLineEnd);
}

bool MdRcStringTable::close()
{
    if (!m_file) return false;
    flush();
    const bool flushed = std::fflush(m_file) == 0 && !std::ferror(m_file);
    const bool closed = std::fclose(m_file) == 0;
    m_file = nullptr;
    const bool ok = !m_failed && flushed && closed;
    m_failed = true;  // a closed writer takes nothing more
    return ok;
}

bool mdAppendStringTable(const String& path, const std::vector<std::pair<int32_t, String>>& texts)
{
    MdRcStringTable table;
    if (!table.open(path)) return false;
    table.beginTable();
    for (const auto& t : texts) table.addText(t.first, t.second);
    table.endTable();
    return table.close();
}
