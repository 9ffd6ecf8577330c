// Message tables: turn a message id into a template text with its level,
// group number, help id and module text.
//
//  - CmMemoryMsgTable: a static array of entries (the built-in messages).
//  - CmResourceTable: the string tables of a message-text library. A string
//    of such a library reads "<level> <group> <helpId> <template>": three
//    decimal numbers each ended by one blank, one more blank, then the
//    template. String 65534 is the library's module text.
//  - CmBErrResTable: a library table for structured 32-bit codes
//    (bits 31-24 module, 23-16 sub-module, 15-0 message number); the module
//    text (string module + 10000) and sub-module text (string sub + 1000)
//    form a prefix unless the setting "SkipModuleInfo" is 0.
//
// A missing library, string or id always gives an empty text, never an error.
#pragma once
#include <cstdint>
#include <list>
#include <memory>

#include "base/cm/cmmsgentry.h"
#include "base/cm/cmmsgtypes.h"
#include "co/tvwstring.h"

namespace tvp {
class ResModule;
}

class CmMsgTable {
public:
    virtual ~CmMsgTable();

    // Template of key.id, empty when unknown. level, group, helpId and
    // moduleText may be null.
    virtual WString findMsg(const CmMsgKey& key, uint32_t* level, uint16_t* group,
                            uint32_t* helpId, WString* moduleText) const = 0;
    // A plain text by id; empty when unknown.
    virtual WString findText(uint32_t textId) const = 0;
    // Would name an enumeration value; no table here does.
    virtual bool findEnumText(const WString& enumName, uint32_t value, WString* text) const;
    // Appends the ids the table knows; returns how many were appended.
    virtual uint32_t listIds(std::list<uint32_t>& ids) const;
};

class CmMemoryMsgTable : public CmMsgTable {
public:
    CmMemoryMsgTable(const CmMsgTableEntry* entries, std::size_t count,
                     const CmMsgTableEntry* textEntries = nullptr, std::size_t textCount = 0);

    // Found: the entry's level (at most 4), its group, help id -1 and an empty
    // module text. Not found: level 4, group 0, help id -1, empty texts.
    WString findMsg(const CmMsgKey& key, uint32_t* level, uint16_t* group, uint32_t* helpId,
                    WString* moduleText) const override;
    WString findText(uint32_t textId) const override;
    uint32_t listIds(std::list<uint32_t>& ids) const override;

private:
    // The entry of id: the first one the array has; null when none.
    const CmMsgTableEntry* entryOf(uint32_t id) const;

    const CmMsgTableEntry* m_entries;
    std::size_t m_count;
    bool m_sorted;  // ids ascending: looked up by halving, not walked
    const CmMsgTableEntry* m_textEntries;
    std::size_t m_textCount;
};

class CmResourceTable : public CmMsgTable {
public:
    // Loads the library `name` (e.g. ".\tvmsgtxx.dll") and, when it loaded and
    // `secondName` is not empty, a second library for findText. With
    // languageVariants set and a name ending in "x" before ".dll", the "x" is
    // replaced by the first letter of the selected language, and the
    // variants ending in "b" and "a" are tried next. Libraries are looked for
    // in the product directory (setting "ProductDir") unless the name is an
    // absolute path.
    CmResourceTable(const char* name, const char* secondName, bool languageVariants);
    // The same with an explicit directory instead of the product directory.
    CmResourceTable(const char* name, const char* secondName, bool languageVariants,
                    const std::string& directory);
    ~CmResourceTable() override;

    WString findMsg(const CmMsgKey& key, uint32_t* level, uint16_t* group, uint32_t* helpId,
                    WString* moduleText) const override;
    WString findText(uint32_t textId) const override;

    bool isLoaded() const { return m_module != nullptr; }
    bool isSecondLoaded() const { return m_second != nullptr; }
    // The file the main library was read from (empty when none loaded).
    std::string loadedPath() const;

    // The three names tried for `name` (language variant, "b", "a"); the
    // second name as it is loaded. Exposed for tests.
    struct Candidates {
        std::string a, b, c, second;
    };
    static Candidates candidates(const std::string& name, const std::string& secondName,
                                 bool languageVariants, const std::string& language);

protected:
    // String `id` of the main library (cut to 511 units), empty when absent.
    WString loadString(uint32_t id) const;

private:
    void load(const char* name, const char* secondName, bool languageVariants,
              const std::string& directory);

    std::unique_ptr<tvp::ResModule> m_module;
    std::unique_ptr<tvp::ResModule> m_second;
};

class CmBErrResTable : public CmResourceTable {
public:
    using CmResourceTable::CmResourceTable;

    // Unknown codes of a loaded library give the prefix and "Unknown ErrorCode"
    // (and a trace line); without a library the text is empty.
    WString findMsg(const CmMsgKey& key, uint32_t* level, uint16_t* group, uint32_t* helpId,
                    WString* moduleText) const override;
    // As findMsg, but empty for an unknown code, so that callers can fall back
    // to other tables.
    WString findKnownMsg(const CmMsgKey& key, uint32_t* level, uint16_t* group, uint32_t* helpId,
                         WString* moduleText) const;

    // The setting "SkipModuleInfo", read once per process: true unless it
    // reads successfully and is 0.
    static bool skipModuleInfo();
    // Overrides the cached setting (tests).
    static void setSkipModuleInfo(bool skip);
};
