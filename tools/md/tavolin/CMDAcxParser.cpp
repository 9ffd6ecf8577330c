// The ACX import's header check and its error reporting (CMDAcxParser.h);
// the import of configurations and values is in CMDAcxImport.cpp.
#include "tools/md/tavolin/CMDAcxParser.h"

#include <cstring>
#include <string>

#include "acx/AcxTag.h"
#include "base/cm/cmmsghdl.h"
#include "base/fs/FsDsc.h"
#include "co/TraceApi.h"
#include "platform/guid.h"
#include "platform/text.h"
#include "tools/md/tavolin/MdScannerSupport.h"

namespace {

const char kTraceFile[] = "tools/md/tavolin/cmdacxparser";
const char kParseHeader[] = "CMDAcxParser::parseHeader";
constexpr uint32_t kTraceError = 4;

// Tag ids of the header block.
enum : uint32_t {
    kTagBlock = 2144,     // header-and-data block, child of the root
    kTagText67 = 67,      // texts that must not be empty
    kTagText150 = 150,
    kTagOwnType = 2147,   // the object's type id
    kTagRequired = 2145,  // the type id the file requires
    kTagGuid = 2121,      // 32 hexadecimal digits
    kTagFirst = 2122,     // one-byte numbers of the type id
    kTagSecond = 2123,
};

CAcxCompoundTag* asCompound(CAcxTagBase* tag)
{
    return dynamic_cast<CAcxCompoundTag*>(tag);
}

// The text of a string tag that has one; null for any other tag.
const CAcxStringTag* asText(CAcxTagBase* tag)
{
    const auto* s = dynamic_cast<const CAcxStringTag*>(tag);
    return s && s->getText() ? s : nullptr;
}

// A one-byte unsigned number tag; null for any other tag.
const CAcxDataTag* asByte(CAcxTagBase* tag)
{
    const auto* d = dynamic_cast<const CAcxDataTag*>(tag);
    return d && d->getValueKind() == AcxKindU8 ? d : nullptr;
}

// The 32 digits as "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" through the
// platform's conversion. The whole tag text counts: a 0 byte inside it
// leaves the closing brace unread, so such a text does not convert.
bool guidOfDigits(const CAcxStringTag& tag, GUID& guid)
{
    std::string text = "{" + std::string(tag.getText(), tag.getLength()) + "}";
    for (size_t at : {9u, 14u, 19u, 24u}) {
        if (at > text.size()) return false;
        text.insert(at, 1, '-');
    }
    GUID converted;
    if (CLSIDFromString(tvp::ansiToWide(text).c_str(), &converted) != S_OK) return false;
    guid = converted;
    return true;
}

enum class TypeIdStep { Ok, TypeMismatch, Syntax };

// One child of a 2147 or 2145 block into id.
TypeIdStep readTypeIdTag(CAcxTagBase* tag, RTTypeID& id)
{
    switch (tag->getId()) {
    case kTagGuid: {
        const CAcxStringTag* text = asText(tag);
        if (!text) return TypeIdStep::TypeMismatch;
        return guidOfDigits(*text, id.guid) ? TypeIdStep::Ok : TypeIdStep::Syntax;
    }
    case kTagFirst:
        if (const CAcxDataTag* b = asByte(tag)) id.version = uint16_t(b->getInteger());
        return TypeIdStep::Ok;
    case kTagSecond:
        if (const CAcxDataTag* b = asByte(tag)) id.second = uint16_t(b->getInteger());
        return TypeIdStep::Ok;
    default:
        return TypeIdStep::Ok;
    }
}

bool headComplete(const RTTypeID& id)
{
    static const GUID kNoGuid = [] {
        GUID g;
        std::memset(&g, 0xFF, sizeof g);
        return g;
    }();
    return !(id.guid == kNoGuid) && id.version != 0xFFFF && id.second != 0xFFFF;
}

}  // namespace

CMDAcxParser::CMDAcxParser() : CBOFrameTypeVarCont(&m_pConstTable) {}

CMDAcxParser::~CMDAcxParser() = default;

void CMDAcxParser::reportError(uint32_t id, const String* arg1, const String* arg2)
{
    CmMessageHandler* handler = cmGetMessageHandler();
    if (!handler) return;
    // The names and values quoted come from the file: a long one is cut.
    const std::string a1 = arg1 ? mdTokenArg(arg1->c_str(), std::size_t(arg1->length())) : std::string();
    const std::string a2 = arg2 ? mdTokenArg(arg2->c_str(), std::size_t(arg2->length())) : std::string();
    if (!arg1)
        handler->report(id);
    else if (!arg2)
        handler->report(id, CmMsgArg(a1.c_str()));
    else
        handler->report(id, CmMsgArg(a1.c_str()), CmMsgArg(a2.c_str()));
}

uint32_t CMDAcxParser::parseHeader(CAcxCompoundTag* root, FsDsc* descriptor)
{
    FsDscHead head;
    RTTypeID required;
    if (!root || !descriptor) {
        message(kAcxMsgInternal);
        return kAcxFailed;
    }
    if (descriptor->read_head(head) != 0) {
        TV_TRACE(kTraceError, kTraceFile, kParseHeader, "read_head failed");
        message(kAcxMsgSectionWrite);
        return kAcxFailed;
    }

    auto typeMismatch = [&] {
        TV_TRACE(kTraceError, kTraceFile, kParseHeader, "ACX: type-mismatch");
        message(kAcxMsgInternal);
        return kAcxFailed;
    };
    auto syntax = [&] {
        TV_TRACE(kTraceError, kTraceFile, kParseHeader, "ACX: Syntax");
        message(kAcxMsgSyntax);
        return kAcxFailed;
    };

    CAcxTagBase* top = nullptr;
    for (bool more = root->getFirst(top); more; more = root->getNext(top)) {
        CAcxCompoundTag* block = top->getId() == kTagBlock ? asCompound(top) : nullptr;
        if (!block) continue;
        CAcxTagBase* item = nullptr;
        for (bool moreItems = block->getFirst(item); moreItems; moreItems = block->getNext(item)) {
            const uint32_t id = item->getId();
            if (id == kTagText67 || id == kTagText150) {
                if (!asText(item)) return typeMismatch();
                continue;
            }
            if (id != kTagOwnType && id != kTagRequired) continue;
            CAcxCompoundTag* typeBlock = asCompound(item);
            if (!typeBlock) continue;
            RTTypeID& target = id == kTagOwnType ? head.typeId1 : required;
            CAcxTagBase* field = nullptr;
            for (bool moreFields = typeBlock->getFirst(field); moreFields; moreFields = typeBlock->getNext(field)) {
                const TypeIdStep step = readTypeIdTag(field, target);
                if (step == TypeIdStep::TypeMismatch) return typeMismatch();
                if (step == TypeIdStep::Syntax) return syntax();
            }
            if (id == kTagRequired && !isCompatibleRTTypeID(required, head.typeId1)) {
                TV_TRACE(kTraceError, kTraceFile, kParseHeader, "ACX: RTTypeID not compatible");
                message(kAcxMsgHeadMissing);
                return kAcxNotCompatible;
            }
        }
    }

    if (!headComplete(head.typeId1)) {
        TV_TRACE(kTraceError, kTraceFile, kParseHeader, "ACX: header not complete");
        message(kAcxMsgHeadMissing);
        return kAcxHeadIncomplete;
    }
    if (descriptor->write_head(head) != 0) {
        TV_TRACE(kTraceError, kTraceFile, kParseHeader, "write_head failed");
        message(kAcxMsgSectionWrite);
        return kAcxFailed;
    }
    return kAcxOk;
}
