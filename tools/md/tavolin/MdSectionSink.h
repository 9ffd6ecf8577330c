// Where the section split puts its results: the temporary section streams
// that receive the section bodies, and the receiver of its messages.
//
// The split itself knows nothing of the working file or the message handler;
// the front end implements these two interfaces over its temporary streams
// and its message handler, tests and tools over plain strings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The twelve temporary streams of a split, by the number the split uses.
enum MdTmpStream : int {
    MdTmpSysVar = 0,   // "sysvar_tmp"
    MdTmpSysFkt,       // "sysfkt_tmp"
    MdTmpComment,      // "comment_tmp"
    MdTmpVar,          // "var_tmp"
    MdTmpCon,          // "con_tmp"
    MdTmpAlarm,        // "alarm_tmp"
    MdTmpAlmMsg,       // "almmsg_tmp"
    MdTmpBootFkt,      // "bootfkt_tmp"
    MdTmpBfComment,    // "bfcomment_tmp"
    MdTmpBfErrTxt,     // "bferrtxt_tmp"
    MdTmpSuppTo,       // "suppto_tmp"
    MdTmpImpl,         // "impl_tmp"
    MdTmpCount
};

// Name of a temporary stream; nullptr for a number outside 0..MdTmpCount-1.
const char* mdTmpStreamName(int stream);
// Number of a temporary stream by its name; -1 when the name is none of them.
int mdTmpStreamByName(const std::string& name);

// Messages of the section split.
enum : uint32_t {
    MdMsgUnexpectedChar = 201,   // "Scanner Fehler, unerwartetes Zeichen %s"
    MdMsgParseError = 202,       // "Parser Fehler: %s"
    MdMsgSectionRepeated = 203,  // "Sektion kommt %s mal vor"
    MdMsgSysFktOrder = 204       // "Systemfunktionssektion muß nach Systemvariablensektion stehen"
};

// Receiver of the section bodies. Every stream is written strictly at its end.
class MdSectionSink {
public:
    virtual ~MdSectionSink() = default;
    // Whether the stream could be opened; the bodies of a missing stream are
    // read and dropped.
    virtual bool hasStream(int stream) const = 0;
    // Appends len bytes to the stream. Returns false once the stream is in
    // error; the split then writes nothing more to it.
    virtual bool write(int stream, const char* data, std::size_t len) = 0;
    // Replaces the content of stream `to` by that of stream `from` and leaves
    // `to` positioned at its end. Returns false when either stream is missing
    // or in error.
    virtual bool copyStream(int from, int to) = 0;
};

// Receiver of the split's messages: the message id, the source line the
// scanner stood on, the message's text arguments as it shows them (a token
// quoted and cut, mdTokenArg), and the number of errors it stands for (1,
// or the bytes of a run of stray bytes reported once).
class MdSectionReporter {
public:
    virtual ~MdSectionReporter() = default;
    virtual void report(uint32_t msgId, int32_t line, const std::vector<std::string>& args, uint32_t count) = 0;
    // Asked before a message's arguments are made: true when the message
    // (standing for count errors) has been counted without them, as no one
    // is shown it; report is then not called. The default shows every one.
    virtual bool countHeldBack(uint32_t, int32_t, uint32_t) { return false; }
};

// A sink over twelve strings, for tests, tools and benchmarks. Streams can be
// marked missing (as when the working file already holds a stream of that
// name) or made to fail after a number of bytes.
class MdStringSectionSink : public MdSectionSink {
public:
    MdStringSectionSink();
    bool hasStream(int stream) const override;
    bool write(int stream, const char* data, std::size_t len) override;
    bool copyStream(int from, int to) override;

    const std::string& stream(int stream) const;
    const std::string& stream(const std::string& name) const;
    void setMissing(int stream, bool missing = true);
    // The stream accepts limit more bytes; the write that passes it fails and
    // the stream stays in error.
    void failAfter(int stream, std::size_t limit);
    bool failed(int stream) const;
    void clear();

private:
    std::string m_data[MdTmpCount];
    bool m_missing[MdTmpCount];
    bool m_failed[MdTmpCount];
    std::size_t m_limit[MdTmpCount];
};

// A reporter that keeps every message, for tests and tools.
class MdCollectingReporter : public MdSectionReporter {
public:
    struct Record {
        uint32_t id;
        int32_t line;
        std::vector<std::string> args;
        uint32_t count;
    };
    void report(uint32_t msgId, int32_t line, const std::vector<std::string>& args, uint32_t count) override;
    std::size_t count(uint32_t msgId) const;
    std::vector<Record> records;
};
