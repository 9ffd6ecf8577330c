// The section split of one opened source: runs the section scanner and
// grammar over the source, writes every section body into its temporary
// stream of the working file, stamps the header comment with the build stamp
// and writes the descriptor header of the working file by object kind.
//
// The entry method creates one of these per source and deletes it before it
// returns; afterwards the twelve temporary streams stay (closed) in the
// working file for the section methods.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "base/fs/FsDsc.h"
#include "base/fs/FsFileMan.h"
#include "base/fs/FsRTTypeID.h"
#include "base/fs/FsSecCl.h"
#include "tools/md/tavolin/MdSectionSplitter.h"
#include "tools/md/tavolin/MdStatusCodes.h"

// Appended to the header comment of every descriptor the split writes.
extern const char* const kMdBuildStamp;

class MdSectionParser : public MdSectionSplitter {
public:
    MdSectionParser();
    // Closes the temporary streams that are still open.
    ~MdSectionParser() override;

    // Points the split at the source and the working file and creates the
    // twelve temporary streams in it, each empty. A stream the working file
    // already holds (copied from the host's storage) is emptied and written
    // anew, so no section compiler ever reads a body that is not this
    // source's. A stream that cannot be made stays missing: its bodies are
    // read and dropped. Without a working file nothing is written.
    void openTempSections(std::istream* source, FsFileMan* workFile, uint32_t sectionMask);

    // Splits the whole source (0 success, 3 parsed with errors counted, 1 or
    // 2 parser failure), closes the temporary streams, appends the build
    // stamp to the header comment and writes the descriptor header for a
    // known object kind, whatever the parse result.
    int run();

    // Results of run.
    int32_t objectKind() const { return header().kind; }
    RTTypeID typeId() const;
    const FsDscHead& dscHead() const { return m_head; }
    // Result of writing the descriptor header: 0 written, 1 not written
    // (no working file, no kind, or the write failed).
    uint32_t headResult() const { return m_headResult; }

    // Whether a temporary stream could be made (for tests and tools).
    bool hasTempStream(int stream) const;

    // The twelve stream names in the order they are created.
    static const int kOpenOrder[MdTmpCount];

protected:
    void emit(uint32_t msgId, int32_t line, const std::vector<std::string>& args, uint32_t count) override;
    // Through the process-wide message handler (CmMessageHandler::countHeldBack).
    bool countHeldBack(uint32_t msgId, int32_t line, uint32_t count) override;
    bool heldBackFromNowOn(uint32_t msgId) override;
    void countAllHeldBack(uint32_t msgId, uint32_t messages) override;

private:
    class StreamSink;

    void openStream(int stream);
    void closeStreams();
    uint32_t writeHead();

    std::istream* m_source = nullptr;
    FsFileMan* m_workFile = nullptr;
    uint32_t m_mask = 0;
    FsSecCl* m_streams[MdTmpCount] = {};
    std::unique_ptr<StreamSink> m_sink;
    FsDscHead m_head;
    uint32_t m_headResult = 1;
};
