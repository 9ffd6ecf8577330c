// Parser of the description-source structure: the header with its type,
// proxy, date and comment lines, and one begin and one end token per section.
// The grammar itself is MdSectionBisonParser.ypp; this class holds what its
// actions produce. Tokens come from a derived class through yylex.
#pragma once

#include <cstdint>
#include <string>

#include "platform/wintypes.h"

// Semantic value of a token: the number of a number token, the GUID of a
// GUID token, the text of a string or date-time token. Kept trivially
// copyable because the parser moves its stacks bytewise when they grow. The
// text is the scanner's; the grammar may move it away (its last use).
struct MdSectionValue {
    uint32_t number;
    GUID guid;
    std::string* text;
};

// Runtime type id as a header line gives it: GUID, version, second word.
struct MdSectionTypeId {
    GUID guid;
    uint16_t version;
    uint16_t second;
};

// The type id of a line that was not given: every byte all ones, as a
// descriptor header holds it until it is set.
inline constexpr MdSectionTypeId kMdNoTypeId = {
    {0xFFFFFFFFu, 0xFFFF, 0xFFFF, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}}, 0xFFFF, 0xFFFF};

// What the header of a source says.
struct MdSectionHeader {
    int32_t kind = -1;                     // 1, 2, 4 or 5 once a header was parsed
    MdSectionTypeId typeId1 = kMdNoTypeId; // from the type line
    MdSectionTypeId typeId3 = kMdNoTypeId; // from the proxy line (stays unset without one)
    std::string text1;            // from the date line (the text after "DT#")
    std::string text2;            // from the comment line
};

class MdSectionBisonParser;
int MdSectionparse(MdSectionBisonParser& parser);

class MdSectionBisonParser {
public:
    // Every item of a source counts its occurrences: the header, and each
    // section or group of sections that must stand together.
    enum Group {
        GroupHeader,
        GroupSysVar,          // "@DESCRIPTION", optionally with "IMPLEMENTATION"
        GroupVarComment,
        GroupConfigs,
        GroupResolve,
        GroupAttributes,
        GroupValues,
        GroupDynArray,
        GroupBitfields,       // "BITFIELDTYPES" followed by "BITFIELDS"
        GroupInterface,
        GroupAlarm,
        GroupAlarmStringTable,
        GroupAlarmErrorText,
        GroupBfFunctions,
        GroupBootFunctions,   // "BOOT_FUNCTIONDECL" followed by "BOOT_FUNCTIONS"
        GroupBfAdrResolution,
        GroupBfErrorText,
        GroupBfdComment,
        GroupSupportedToTypes,
        GroupLicenceData,
        GroupIoData,
        GroupCount
    };

    MdSectionBisonParser() = default;
    virtual ~MdSectionBisonParser() = default;
    MdSectionBisonParser(const MdSectionBisonParser&) = delete;
    MdSectionBisonParser& operator=(const MdSectionBisonParser&) = delete;

    // Runs the grammar over the tokens that yylex delivers: 0 when the source
    // was accepted (errors may have been counted on the way), 1 when the
    // parser gave up, 2 when its stack would outgrow its limit.
    int yyparse();

    // Next token; 0 at the end of the input.
    virtual int yylex(MdSectionValue* value) = 0;
    // A syntax error: "parse error" or "parser stack overflow".
    virtual void yyerror(const char* text) = 0;

    // The generated parser renames the yy names in its own file; it reaches
    // the scanner and the error report through these.
    int nextToken(MdSectionValue* value) { return yylex(value); }
    void syntaxError(const char* text) { yyerror(text); }

    const MdSectionHeader& header() const { return m_head; }
    uint32_t occurrences(Group g) const { return m_occurs[g]; }

protected:
    // Reports a message with one text argument (none when empty) and counts
    // one error.
    virtual void reportError(uint32_t msgId, const std::string& arg) = 0;
    // Forgets the results of a previous parse.
    void resetResults();

private:
    friend int MdSectionparse(MdSectionBisonParser& parser);

    // Grammar actions.
    void setTypeId(MdSectionTypeId& id, const MdSectionValue& guid, const MdSectionValue& version,
                   const MdSectionValue& second);
    void headerDone(int32_t kind);
    void occurred(Group g);

    MdSectionHeader m_head;
    uint32_t m_occurs[GroupCount] = {};
};
