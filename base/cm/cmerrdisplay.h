// The host's error-display interfaces, as the message output reaches them by
// QueryInterface on the object the host hands over. Two generations exist;
// the output prefers the current one and falls back to the older one.
//
// Levels passed to a display: 0 info, 1 warning, 2 error, 3 safety.
// Output modes answered by GetMsgLevel: 0 level word and number only,
// 1 with the context name, 2 with the text, 3 text without level word,
// 4 text only (the handler's modes 0, 1, 2, 4, 3).
#pragma once
#include "platform/com.h"
#include "platform/wintypes.h"

// Record of the extended call: sixteen 32-bit words on the original 32-bit
// platform (the three texts are pointers, so the record is larger here).
struct CmErrorDisplayRecord {
    LONG position;       // the reporter's position word
    LONG msgId;          // message id
    LONG column;         // position - line start + 1 when both are set, else 0
    LONG helpId;
    LONG context[4];     // context words of the output
    LONG level;          // host level code
    LONG reserved[4];    // always 0
    BSTR sourceName;
    BSTR text;
    BSTR moduleText;
};

// Current display interface {298814A7-CF1F-40C5-AD41-9E996C3DA999}.
struct IErrorDisplayEx : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE ShowMessage(BSTR text, LONG level, LONG helpId, BSTR moduleText) = 0;
    virtual HRESULT STDMETHODCALLTYPE ShowMessageExt(CmErrorDisplayRecord record) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetExtendedOutput(LONG* extended) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMsgLevel(LONG* mode, LONG* flag) = 0;
};

// Older display interface {E09CA320-29C7-11D6-BE41-0001029AEE50}.
struct IErrorDisplay : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE ShowMessage(BSTR text, LONG level, LONG helpId, BSTR moduleText) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMsgLevel(LONG* mode, LONG* flag) = 0;
};

// Optional interface of a display that shows messages only up to a limit of
// its own {73803B30-EC2C-4D73-B15A-8244A80ADB87}, asked before a message is
// formatted: CountMessage sets *counted to 1 when the display would not show
// a message of that level (host level code) and has counted it, so that its
// text is neither made nor sent; to 0 when the message is to be sent as
// usual (nothing is counted then). A display without it receives every
// message.
struct IErrorDisplayCount : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CountMessage(LONG level, LONG* counted) = 0;
};

// Optional interface of a display that counts by what a message stands for
// {5C0E61A2-3B7D-4F19-8E42-D7A39B6C0F55}: some messages stand for a run of
// equal faults reported once (megabytes of stray bytes are one message
// past their first hundred, yet each byte is an error). CountMore adds
// count messages of the level (host level code) to the message the display
// last received or counted, and shows nothing: a limit of shown messages
// still counts one message, the counts by severity all of them. A display
// without it counts such a message once.
struct IErrorDisplayCountMore : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CountMore(LONG level, ULONG count) = 0;
};

// Optional interface of a display that shows messages only up to a limit of
// its own and counts many at once past it
// {9345932F-B98E-4D41-928D-9B73FEBBD5E7}: ShowsNoMore sets *none to 1 when
// the display will show no further message of the level (host level code),
// whatever comes (its limit is reached), so that a reporter may gather such
// messages and hand them over together; CountMessages then counts that
// many messages of the level, as as many CountMessage calls would. A
// display without it is asked message by message (IErrorDisplayCount).
struct IErrorDisplayCountMany : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE ShowsNoMore(LONG level, LONG* none) = 0;
    virtual HRESULT STDMETHODCALLTYPE CountMessages(LONG level, ULONG messages) = 0;
};

inline constexpr IID IID_IErrorDisplayEx = {
    0x298814A7, 0xCF1F, 0x40C5, {0xAD, 0x41, 0x9E, 0x99, 0x6C, 0x3D, 0xA9, 0x99}};
inline constexpr IID IID_IErrorDisplay = {
    0xE09CA320, 0x29C7, 0x11D6, {0xBE, 0x41, 0x00, 0x01, 0x02, 0x9A, 0xEE, 0x50}};

inline constexpr IID IID_IErrorDisplayCount = {
    0x73803B30, 0xEC2C, 0x4D73, {0xB1, 0x5A, 0x82, 0x44, 0xA8, 0x0A, 0xDB, 0x87}};
inline constexpr IID IID_IErrorDisplayCountMore = {
    0x5C0E61A2, 0x3B7D, 0x4F19, {0x8E, 0x42, 0xD7, 0xA3, 0x9B, 0x6C, 0x0F, 0x55}};
inline constexpr IID IID_IErrorDisplayCountMany = {
    0x9345932F, 0xB98E, 0x4D41, {0x92, 0x8D, 0x9B, 0x73, 0xFE, 0xBB, 0xD5, 0xE7}};

TV_DECLARE_IID(IErrorDisplayEx, IID_IErrorDisplayEx);
TV_DECLARE_IID(IErrorDisplayCount, IID_IErrorDisplayCount);
TV_DECLARE_IID(IErrorDisplayCountMore, IID_IErrorDisplayCountMore);
TV_DECLARE_IID(IErrorDisplayCountMany, IID_IErrorDisplayCountMany);
TV_DECLARE_IID(IErrorDisplay, IID_IErrorDisplay);
