// The message emitter of the section compilers.
#include "tools/md/tavolin/MdParserFrame.h"

#include <algorithm>
#include <cstring>

#include "base/cm/cmmsghdl.h"

namespace {

// The scope of MdOnceSaid that the emitters answer to; null when none.
MdOnceSaid* g_onceSaid = nullptr;

}  // namespace

MdOnceSaid::Scope::Scope(MdOnceSaid& once, Mode mode)
{
    once.m_mode = mode;
    g_onceSaid = &once;
}

MdOnceSaid::Scope::~Scope()
{
    MdOnceSaid* const once = g_onceSaid;
    g_onceSaid = nullptr;
    if (!once || once->m_mode != Hear) return;
    // What was heard becomes the sorted list of digests with their counts.
    std::sort(once->m_heard.begin(), once->m_heard.end());
    once->m_left.clear();
    for (const uint64_t d : once->m_heard) {
        if (once->m_left.empty() || once->m_left.back().first != d)
            once->m_left.emplace_back(d, 0);
        ++once->m_left.back().second;
    }
    std::vector<uint64_t>().swap(once->m_heard);
}

bool MdOnceSaid::anyLeft() const
{
    for (const auto& l : m_left)
        if (l.second != 0) return true;
    return false;
}

uint64_t MdOnceSaid::digest(uint32_t id, int32_t line, uint32_t count, const std::string* arg,
                            const std::string* arg2)
{
    // FNV-1a over the words and the arguments, each argument behind a byte
    // that says whether it is given.
    uint64_t h = 0xcbf29ce484222325ull;
    const auto byte = [&h](unsigned char c) {
        h ^= c;
        h *= 0x100000001b3ull;
    };
    for (const uint32_t w : {id, uint32_t(line), count})
        for (int i = 0; i < 4; ++i) byte(static_cast<unsigned char>(w >> (8 * i)));
    for (const std::string* a : {arg, arg2}) {
        byte(a ? 1 : 0);
        if (!a) continue;
        for (const char c : *a) byte(static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c));
        byte(0xFF);
    }
    return h;
}

bool MdOnceSaid::takeLeft(uint64_t d)
{
    const auto at = std::lower_bound(m_left.begin(), m_left.end(), std::make_pair(d, uint32_t(0)));
    if (at == m_left.end() || at->first != d || at->second == 0) return false;
    --at->second;
    return true;
}

bool MdOnceSaid::pass(uint32_t id, int32_t line, uint32_t count, const std::string* arg, const std::string* arg2)
{
    const uint64_t d = digest(id, line, count, arg, arg2);
    switch (m_mode) {
    case Hear:
        m_heard.push_back(d);
        return false;
    case Say:
        takeLeft(d);
        return true;
    case SayLeft:
        return takeLeft(d);
    }
    return true;
}

void mdEmitMessage(uint32_t id, int32_t line, const char* arg, const char* arg2)
{
    mdEmitMessages(id, line, 1, arg, arg2);
}

bool mdMessageHeldBack(uint32_t id, uint32_t count)
{
    CmMessageHandler* handler = cmGetMessageHandler();
    // Whether a message is said twice is known by its arguments.
    if (handler && g_onceSaid) return false;
    return !handler || handler->countHeldBack(id, count);
}

bool mdMessagesHeldBackFromNowOn(uint32_t id)
{
    CmMessageHandler* handler = cmGetMessageHandler();
    if (handler && g_onceSaid) return false;
    return !handler || handler->holdsBackFromNowOn(id);
}

void mdCountAllHeldBack(uint32_t id, uint32_t messages)
{
    if (CmMessageHandler* handler = cmGetMessageHandler()) handler->countAllHeldBack(id, messages, messages);
}

void mdEmitMessages(uint32_t id, int32_t line, uint32_t count, const char* arg, const char* arg2)
{
    CmMessageHandler* handler = cmGetMessageHandler();
    if (!handler || (!g_onceSaid && handler->countHeldBack(id, count))) return;
    const std::string a1 = arg ? mdTokenArg(arg, std::strlen(arg)) : std::string();
    const std::string a2 = arg && arg2 ? mdTokenArg(arg2, std::strlen(arg2)) : std::string();
    if (g_onceSaid && !g_onceSaid->pass(id, line, count, arg ? &a1 : nullptr, arg && arg2 ? &a2 : nullptr)) return;
    const CmMsgArg first = arg ? CmMsgArg(a1.c_str()) : CmMsgArg::none();
    const CmMsgArg second = arg && arg2 ? CmMsgArg(a2.c_str()) : CmMsgArg::none();
    handler->reportMsgRun(CmMsgKey(id, uint32_t(line)), count, first, second);
}

void mdEmitMadeMessage(uint32_t id, int32_t line, uint32_t count, const std::string& arg)
{
    CmMessageHandler* handler = cmGetMessageHandler();
    if (!handler || (g_onceSaid && !g_onceSaid->pass(id, line, count, &arg, nullptr))) return;
    handler->reportMsgRun(CmMsgKey(id, uint32_t(line)), count, CmMsgArg(arg.c_str()));
}

int32_t mdRewriteSection(FsDsc* dsc, const char* name, const std::function<void(FsSecCl&)>& write,
                         int32_t closeFailure)
{
    if (!dsc) return 4;
    FsSecCl* sec = dsc->openSect(name, FS_MODE_WRITE);
    if (!sec) return 4;
    bool ok = sec->setSize(0) == 0;
    if (ok) {
        write(*sec);
        ok = !sec->hasError();
    }
    const bool closed = dsc->CloseSect(name) == 0;
    if (!ok) return 4;
    return closed ? 0 : closeFailure;
}

std::size_t mdBytesLeft(std::istream* in)
{
    if (!in || !*in) return 0;
    std::streambuf* buf = in->rdbuf();
    const auto at = buf->pubseekoff(0, std::ios_base::cur, std::ios_base::in);
    if (at == std::streampos(-1)) return 0;
    const auto end = buf->pubseekoff(0, std::ios_base::end, std::ios_base::in);
    buf->pubseekpos(at, std::ios_base::in);
    return end == std::streampos(-1) || end < at ? 0 : std::size_t(end - at);
}

std::size_t mdSkipLeadingLineEnds(std::istream& in)
{
    if (!in) return 0;
    const std::istream::pos_type start = in.tellg();
    if (start == std::istream::pos_type(-1)) return 0;  // not seekable: the scanner reads them
    // The buffer holds whole pairs, so a chunk that is all pairs leaves the
    // next chunk beginning on a pair.
    static const char kPairs[] = "\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n";
    constexpr std::size_t kRun = sizeof kPairs - 1;
    char buf[1 << 15];
    std::size_t bytes = 0;
    for (;;) {
        in.read(buf, sizeof buf);
        const std::size_t n = std::size_t(in.gcount());
        std::size_t i = 0;
        while (i + kRun <= n && std::memcmp(buf + i, kPairs, kRun) == 0) i += kRun;
        while (i + 2 <= n && buf[i] == '\r' && buf[i + 1] == '\n') i += 2;
        bytes += i;
        if (i < n || n < sizeof buf) break;
    }
    in.clear();
    in.seekg(start + std::istream::off_type(bytes));
    return bytes / 2;
}
