// The status codes and object kinds of the pre-compiler's interface: what
// the status and object-kind out-parameters of its methods carry. The
// library and every caller (the tavolin command among them) take them from
// here.
#pragma once
#include <cstdint>

// Status codes (the status out-parameter of the methods): 0 success, else a
// code of the pre-compiler's range 0xBE11xxxx.
constexpr uint32_t MdStatusRange = 0xBE110000u;                  // high half of every code
constexpr int32_t MdStatusOk = 0;
constexpr int32_t MdStatusWrongKind = int32_t(0xBE11000Au);      // wrong object kind
constexpr int32_t MdStatusCompileFailed = int32_t(0xBE11000Bu);  // compile errors or section write failed
constexpr int32_t MdStatusNoTarget = int32_t(0xBE110015u);       // the entry method has not run
constexpr int32_t MdStatusNotFound = int32_t(0xBE11001Bu);       // section or stream missing / unreadable
constexpr int32_t MdStatusNoCfgHead = int32_t(0xBE110039u);      // "cfghead" cannot be opened
constexpr int32_t MdStatusFailed = int32_t(0xBE11FFFFu);         // any other failure

// True for a code of the pre-compiler's range (a named one or a lower
// layer's code with the range ORed in).
constexpr bool mdIsRangeStatus(uint32_t status)
{
    return (status & 0xFFFF0000u) == MdStatusRange;
}

// Why a method failed where its status and messages do not say it: the
// causes a host can name, one bit each (the library's TvTakeStepCause gives
// those noted during a call). A compiler notes one where it gives the
// message or counts the error the cause stands behind. The last bit is a
// note beside them, noted whether or not the method fails.
enum : int32_t {
    MdCauseNone = 0,
    // The source's texts need more resource-string ids than a resource
    // script takes (0 to kMdRcLastTextId): the id message of the section
    // (303, 408, 707, 903) at the first text past it.
    MdCauseTextIds = 1,
    // A statement of the variables section or the ACX import needed the
    // system-variable table, and "symb" is missing or empty (message 0).
    MdCauseNoSysTable = 2,
    // "symb" is not empty but does not load as a system-variable table
    // (an error counted, and message 0 where a statement needs it).
    MdCauseBadSysTable = 4,
    // Not a failure but a note the host says once for the compile: a text
    // for the resource script holds UTF-8 sequences (MdRcReadBack::utf8),
    // so the source was likely saved as UTF-8 rather than code page 1252.
    MdCauseUtf8Texts = 8,
};

// The object kinds a source's header can give: 1 and 2 technology object
// (plain and device technology object), 4 technology package, 5 device.
// Anything else means no header was parsed.
enum : int32_t {
    MdKindNone = -1,
    MdKindTO = 1,
    MdKindDvTO = 2,
    MdKindTP = 4,
    MdKindDv = 5,
};
constexpr bool mdIsObjectKind(int32_t kind)
{
    return kind == MdKindTO || kind == MdKindDvTO || kind == MdKindTP || kind == MdKindDv;
}
