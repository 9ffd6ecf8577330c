#include "tools/md/tavolin/MdSectionSink.h"

#include <limits>

namespace {
const char* const kTmpStreamNames[MdTmpCount] = {
    "sysvar_tmp", "sysfkt_tmp", "comment_tmp", "var_tmp", "con_tmp", "alarm_tmp",
    "almmsg_tmp", "bootfkt_tmp", "bfcomment_tmp", "bferrtxt_tmp", "suppto_tmp", "impl_tmp",
};
const std::string kNoStream;
}  // namespace

const char* mdTmpStreamName(int stream)
{
    return stream >= 0 && stream < MdTmpCount ? kTmpStreamNames[stream] : nullptr;
}

int mdTmpStreamByName(const std::string& name)
{
    for (int i = 0; i < MdTmpCount; ++i)
        if (name == kTmpStreamNames[i]) return i;
    return -1;
}

MdStringSectionSink::MdStringSectionSink()
{
    clear();
}

void MdStringSectionSink::clear()
{
    for (int i = 0; i < MdTmpCount; ++i) {
        m_data[i].clear();
        m_missing[i] = false;
        m_failed[i] = false;
        m_limit[i] = std::numeric_limits<std::size_t>::max();
    }
}

bool MdStringSectionSink::hasStream(int stream) const
{
    return stream >= 0 && stream < MdTmpCount && !m_missing[stream];
}

bool MdStringSectionSink::write(int stream, const char* data, std::size_t len)
{
    if (!hasStream(stream) || m_failed[stream]) return false;
    if (len > m_limit[stream] - m_data[stream].size()) {
        m_failed[stream] = true;
        return false;
    }
    m_data[stream].append(data, len);
    return true;
}

bool MdStringSectionSink::copyStream(int from, int to)
{
    if (!hasStream(from) || !hasStream(to) || m_failed[from] || m_failed[to]) return false;
    if (from == to) return true;
    if (m_data[from].size() > m_limit[to]) {
        m_failed[to] = true;
        return false;
    }
    m_data[to] = m_data[from];
    return true;
}

const std::string& MdStringSectionSink::stream(int stream) const
{
    return stream >= 0 && stream < MdTmpCount ? m_data[stream] : kNoStream;
}

const std::string& MdStringSectionSink::stream(const std::string& name) const
{
    return stream(mdTmpStreamByName(name));
}

void MdStringSectionSink::setMissing(int stream, bool missing)
{
    if (stream >= 0 && stream < MdTmpCount) m_missing[stream] = missing;
}

void MdStringSectionSink::failAfter(int stream, std::size_t limit)
{
    if (stream >= 0 && stream < MdTmpCount) m_limit[stream] = m_data[stream].size() + limit;
}

bool MdStringSectionSink::failed(int stream) const
{
    return stream >= 0 && stream < MdTmpCount && m_failed[stream];
}

void MdCollectingReporter::report(uint32_t msgId, int32_t line, const std::vector<std::string>& args, uint32_t count)
{
    records.push_back(Record{msgId, line, args, count});
}

std::size_t MdCollectingReporter::count(uint32_t msgId) const
{
    std::size_t n = 0;
    for (const Record& r : records)
        if (r.id == msgId) ++n;
    return n;
}
