// Compiler of the boot-function section ("bootfkt_tmp"): the grammar of
// MdBfBisonParser.ypp over the scanner of MdBfScanner.lpp, with the class
// provider's name classifier for the scanner's identifier check, and the
// rule actions that fill the boot-function model.
//
// Two classes:
// - MdBfGrammar: the scanner and the grammar with the default actions
//   (they build nothing); the scanner and grammar tests use it.
// - MdBfParser: the compiler. It is at once the parser, the boot-function
//   type container, the implementation container and the scanner (bases in
//   that order). Its actions declare every boot function as a structure
//   type of its own symbol table (members: the variables of its VAR block,
//   then its sub-functions), the global block as "@BfMainType" with the
//   instance "@BfMain", and collect implementation functions, code blocks
//   and the address table. parse then writes "bfinterf" (the exported
//   enumerations), "bfsymb" (the symbol table), "boot" (the types) and the
//   macro files.
//
// Messages (each at the scanner's current line; all counted but 514 and
// 516): 0 "Interner Fehler" (no class provider; a symbol-table step that
// fails without a user error; a repeated address key; MODIFY, INSTANTIATE
// or UNITCHANGED outside a boot function), 500 a structure or enumeration
// with other than one name, 501 scanner, 502 parser, 503 no memory for a
// value, 504 a boot function the container refuses (the parse ends: 4),
// 505 a name defined twice (also a second INSTANTIATE, DEFAULT or
// CFGCHANGED code of one implementation, with the keyword), 506 a value out
// of range (CS beyond 16 bits, a repeat count below 1, an address or number
// beyond 32 bits), 507 an array initialiser with the wrong number of
// values, 508 a negative or reversed array bound, an enumerator value
// below 0 or above 2147483647,
// 509 a bad UNITCHANGED number or initial enumerator, 510 no type / no
// sub-function, 511 no constant, 512 an initial value that cannot be
// assigned, 513 a MODIFY path without implementation or given twice (path,
// element), 514 a MODIFY moved into a sub-function's implementation
// (warning), 516 a reserved word as identifier (warning), 517 a code text
// or function text whose m4 quotes do not balance (warning, given when the
// macro files have been written with it: at the line where the text begins,
// naming its block), 518 a NUL byte in a code text or function text (at
// the NUL's line, naming the byte and the block as 517 does).
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <list>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "bo/bf/BfBootFktImpl.h"
#include "bo/bf/BfBootFktTypCont.h"
#include "bo/bf/BfSymbTable.h"
#include "bo/cp/CpBfNameMengeler.h"
#include "bo/cp/CpIdWords.h"
#include "platform/com.h"
#include "platform/nameclassifier.h"
#include "tools/md/tavolin/MdBfBisonParser.h"
#include "tools/md/tavolin/MdBfScanner.h"
#include "tools/md/tavolin/MdBfTypeActions.h"
#include "tools/md/tavolin/MdParserFrame.h"

// The name classifier of the class provider, with a reference for the
// caller; null when none can be obtained. registered: create the class
// {3D59C4A3-4795-4F4F-BEF5-AAB9A508356A} as a registered in-process class;
// otherwise load "tvclsprv" (the platform's library naming) from the
// directory of the process's executable and ask its DllGetClassObject for
// the class factory. Reports nothing.
INameClassifier* mdBfObtainClassifier(bool registered);

// The scanner and grammar of the boot-function section with the model
// classes Models between them.
template <class... Models>
class MdBfFrame : public MdParserFrame<MdBfBisonParser, MdBfScannerFlexLexer, Models...> {
    using Frame = MdParserFrame<MdBfBisonParser, MdBfScannerFlexLexer, Models...>;

public:
    template <class... ModelArgs>
    explicit MdBfFrame(ModelArgs&&... modelArgs) : Frame(MdBfMsgBase, std::forward<ModelArgs>(modelArgs)...)
    {
    }

    // The stream (MdParserFrame), identifiers lower-cased, and the class
    // provider by args.flag (true: registered).
    void init(const MdCompilerArgs& args) override
    {
        Frame::init(args);
        initScanner(args.stream, args.flag, true);
    }
    // Reads in, lower-cases identifiers when lowerCase is set and obtains
    // the class provider (registered: by its registration, else beside the
    // executable). Without one: message 0, one error counted, and the scan
    // runs without the identifier check. That message stands at the
    // section's first line (the scanner's line before it reads, past the
    // line ends in front of the section): the fault belongs to no statement,
    // and the section's start is where it is looked for. The provider is
    // kept until the parser goes.
    void initScanner(std::istream* in, bool registeredProvider, bool lowerCase)
    {
        this->setInput(in);
        this->setLowerCase(lowerCase);
        m_provider.Attach(mdBfObtainClassifier(registeredProvider));
        this->setClassifier(m_provider.get());
        if (!m_provider) Frame::reportError(MdBfMsgInternal);
    }

    // Runs the grammar: 0, 1, 2 or 4 (MdBfBisonParser::yyparse).
    int32_t parse() override { return this->yyparse(); }

    // Reports without counting.
    void reportError(uint32_t id, const String* arg1 = nullptr, const String* arg2 = nullptr) override
    {
        const char* first = arg1 ? arg1->c_str() : nullptr;
        mdEmitMessage(id, this->lineno(), first, first && arg2 ? arg2->c_str() : nullptr);
    }

protected:
    int32_t currentLine() const override { return this->lineno(); }

private:
    ComPtr<INameClassifier> m_provider;
};

// The grammar alone: every action is the default one.
using MdBfGrammar = MdBfFrame<>;

// ---- values of the actions on the parser's stack ----

// Declared symbols in declaration order, each with a word: the access of
// its alter attribute (variables) or the caller bits of a sub-function
// (bit 0 RULE, bit 1 USER). Also the type of a variable head or declared
// type, and, for enumerators, the running value for the next one.
class MdBfSymbols : public MdBfValue {
public:
    static constexpr Kind kKind = KindSymbols;
    MdBfSymbols() : MdBfValue(kKind) {}
    struct Item {
        StSymbEntryID sid;
        uint32_t word;
    };
    std::vector<Item> items;
    StTypeID type = ST_INVALID_TID;
    uint32_t next = 0;
};

// Constant elements: a literal, a value, a list of values. refused: a value
// of it was reported and left out, so the list is not the one written.
class MdBfElems : public MdBfValue {
public:
    static constexpr Kind kKind = KindElems;
    MdBfElems() : MdBfValue(kKind) {}
    StConstantElemPtrList list;
    bool refused = false;
};

// An array initialiser built for its array type; the invalid CID when
// it could not be built.
class MdBfInit : public MdBfValue {
public:
    static constexpr Kind kKind = KindInit;
    MdBfInit() : MdBfValue(kKind) {}
    StConstEntryID cid;
};

// The type container as the boot-function compiler makes it: over the
// compiler's symbol-table pointer, without variable comments.
class MdBfTypeContainer : public CBfBootFktTypCont {
public:
    explicit MdBfTypeContainer(CBfSymbTable* const* symbols) : CBfBootFktTypCont(symbols, &kNoComments) {}

private:
    static CBoVarComment* const kNoComments;
};

enum : uint32_t {
    MdBfMsgM4Quotes = 517,  // a text m4 would not read back as it stands (warning)
    MdBfMsgNulInText = 518, // a NUL byte in a code or function text
};

class MdBfParser : public MdBfFrame<MdBfTypeContainer, CBfBootFktImplCont> {
public:
    MdBfParser();
    ~MdBfParser() override;

    // Takes from args: the section (stream), the name (sourcePath), the
    // path of the macro files without extension (rcPath), the include
    // names (names), the container name (bootText), the descriptor, the
    // first error-text id (firstStringId, the implementations'
    // ERRTXT_OFFSET), noImpl (sectionMask, bit 0 used), the provider
    // registration flag (flag), the lower-case flag (firstPass) and
    // whether the outputs are wanted (outputsUnused; when they are not, the
    // types get no telegram sets nor access words, which only "boot"
    // holds, and a boot-function type whose members all have their values
    // no default value, which only "bfsymb" holds; messages and results
    // are the same).
    void init(const MdCompilerArgs& args) override;
    // The grammar with its actions, then the outputs (none when they are
    // unused: 0, 1, 2, 4 or 3 as below): 0 all written; 1 a
    // syntax error, 2 a stack overflow, 4 an action ended the parse (only
    // "bfinterf" written); 3 errors were counted (only "bfinterf"); 4
    // "bfinterf" could not be written, or "bfsymb" or "boot" could not be
    // opened or written; 5 a section could not be closed or the macro
    // files could not be written.
    int32_t parse() override;
    // The scanner's next token; notes the line where a code block or a
    // function text begins, for the warnings of the macro files.
    int yylex() override;

    // The type container's status: the one asked for is the one given.
    uint32_t status(uint32_t code) override { return code; }
    uint32_t status() override { return 0; }

    CBfSymbTable* symbols() const { return m_symbols; }
    const CpBfNameMengeler& exporter() const { return m_exports; }

    // ---- the actions ----
    void rule1() override;
    void rule8(String* name, String* params, String* body) override;
    void rule11() override;
    void rule12(const MdBfValue* vars, const MdBfValue* subFunctions) override;
    void rule16() override;
    void rule17(const String* name, const MdBfValue* cs, const MdBfValue* vars,
                const MdBfValue* subFunctions) override;
    void rule24(String* dollarNumber, String* atNumber) override;
    void rule32(String* code) override;
    void rule34(String* code) override;
    MdBfValue* rule35(MdBfValue* subFunction) override { return joined(nullptr, subFunction); }
    MdBfValue* rule36(MdBfValue* list, MdBfValue* subFunction) override { return joined(list, subFunction); }
    MdBfValue* rule37(MdBfValue* head, uint32_t callers) override;
    void rule44(String* code) override;
    void rule45(String* code) override;
    void rule46(String* path, String* code) override;
    void rule47(String* name, String* code) override;
    void rule48(String* number, String* code) override;
    MdBfValue* rule52(MdBfValue* decl) override { return joined(nullptr, decl); }
    MdBfValue* rule53(MdBfValue* list, MdBfValue* decl) override { return joined(list, decl); }
    MdBfValue* rule54(MdBfValue* decl) override { return joined(nullptr, decl); }
    MdBfValue* rule55(MdBfValue* list, MdBfValue* decl) override { return joined(list, decl); }
    MdBfValue* rule56(MdBfValue* decl) override { return joined(nullptr, decl); }
    MdBfValue* rule57(MdBfValue* list, MdBfValue* decl) override { return joined(list, decl); }
    MdBfValue* rule58(MdBfValue* decl) override { return joined(nullptr, decl); }
    MdBfValue* rule59(MdBfValue* list, MdBfValue* decl) override { return joined(list, decl); }
    MdBfValue* rule60(MdBfValue* head) override;
    MdBfValue* rule61(MdBfValue* head, MdBfValue* value, uint32_t access) override;
    void rule62(const MdBfValue* head) override;
    MdBfValue* rule63(MdBfValue* head, MdBfValue* init, uint32_t access) override;
    MdBfValue* rule64(MdBfValue* names, uint32_t type) override;
    MdBfValue* rule65(MdBfValue* head) override { return head; }
    void rule66(const MdBfValue* head) override { rule62(head); }
    MdBfValue* rule67(MdBfValue* head, MdBfValue* init) override;
    MdBfValue* rule68(MdBfValue* def) override { return def; }
    void rule69(const String* name) override;
    MdBfValue* rule70(String* name, uint32_t arrayType) override;
    void rule71() override;
    uint32_t rule74(MdBfValue* range, uint32_t elementType) override;
    MdBfValue* rule75(MdBfValue* values) override;
    MdBfValue* rule76(MdBfValue* count, MdBfValue* value) override;
    MdBfValue* rule77(MdBfValue* low, MdBfValue* high) override;
    MdBfValue* rule78(MdBfValue* head) override { return head; }
    MdBfValue* rule79(MdBfValue* head, MdBfValue* names, String* initial) override;
    MdBfValue* rule80(MdBfValue* names, MdBfValue* enumerators) override;
    MdBfValue* rule82(MdBfValue* items) override { return items; }
    MdBfValue* rule83(MdBfValue* def) override { return def; }
    MdBfValue* rule84(MdBfValue* def, MdBfValue* names) override;
    void rule85(const MdBfValue* names) override;
    MdBfValue* rule86(MdBfValue* names, MdBfValue* members) override;
    MdBfValue* rule87(MdBfValue* member) override { return joined(nullptr, member); }
    MdBfValue* rule88(MdBfValue* list, MdBfValue* member) override { return joined(list, member); }
    MdBfValue* rule99(String* name) override { return m_typeActions.addName(nullptr, name); }
    MdBfValue* rule100(MdBfValue* names, String* name) override { return m_typeActions.addName(names, name); }
    uint32_t rule105() override { return MdBfTypeActions::elementaryType(105); }
    uint32_t rule106() override { return MdBfTypeActions::elementaryType(106); }
    uint32_t rule107() override { return MdBfTypeActions::elementaryType(107); }
    uint32_t rule108() override { return MdBfTypeActions::elementaryType(108); }
    uint32_t rule109() override { return MdBfTypeActions::elementaryType(109); }
    uint32_t rule110() override { return MdBfTypeActions::elementaryType(110); }
    uint32_t rule111() override { return MdBfTypeActions::elementaryType(111); }
    uint32_t rule112() override { return MdBfTypeActions::elementaryType(112); }
    uint32_t rule113() override { return MdBfTypeActions::elementaryType(113); }
    uint32_t rule114() override { return MdBfTypeActions::elementaryType(114); }
    uint32_t rule115(String* name) override { return m_typeActions.namedType(name); }
    MdBfValue* rule116(MdBfValue* item) override { return item; }
    uint32_t rule117(const MdBfValue* items) override;
    MdBfValue* rule118(MdBfValue* items, MdBfValue* item) override;
    MdBfValue* rule119(String* name, uint32_t running) override;
    MdBfValue* rule120(String* name, MdBfValue* literal, uint32_t running) override;
    MdBfValue* rule121(MdBfValue* value) override { return value; }
    MdBfValue* rule122(MdBfValue* list, MdBfValue* value) override;
    MdBfValue* rule124(String* name) override;
    MdBfValue* rule125(String* text) override { return literal(text, 2); }
    MdBfValue* rule126(String* text) override { return literal(text, 8); }
    MdBfValue* rule127(String* text) override { return literal(text, 10); }
    MdBfValue* rule128(String* text) override { return literal(text, 16); }
    MdBfValue* rule129(String* text) override { return literal(text, 10); }
    MdBfValue* rule130() override { return literal(new String("1"), 10); }
    MdBfValue* rule131() override { return literal(new String("0"), 10); }
    MdBfValue* rule132(String* text) override;

private:
    // Reports a counted message; warn does not count.
    void error(uint32_t id, const String* arg1 = nullptr, const String* arg2 = nullptr);
    void warn(uint32_t id, const String* arg1) { reportError(id, arg1); }
    // The name range in which declarations are made and names looked up.
    void setNameRange(StRangeID nr);

    // The items of next appended to list (either may be null or of another
    // kind, which counts as empty); takes both.
    static MdBfValue* joined(MdBfValue* list, MdBfValue* next);
    // A literal of the text (a based one in its radix) read untyped as every
    // reader of literals reads it (StStdConstantVal::readLiteral), as a
    // constant element; 506 and no element when it is no value, also when a
    // real is read with the range status (below the normal range).
    MdBfValue* literal(String* text, int radix);
    // The variables of a name list declared with the type (and the type's
    // declaration, when it has one).
    MdBfSymbols* declareVariables(MdBfValue* names, StTypeID type);
    // Gives each variable of the group without value its type's default
    // value (512 when none can be made).
    void giveDefaults(const MdBfSymbols& vars);
    // Binds cid to each variable of the group; status 2 gives 506 (and,
    // with removeRefused, removes the variable from the table and the
    // group), 1 gives message 0. False after a status 1.
    bool bindValue(MdBfSymbols& vars, StConstEntryID cid, bool removeRefused);
    // Removes every symbol of the group from the table and the group.
    void removeAll(MdBfSymbols& group);
    // Checks the name list of a structure or enumeration: exactly one name
    // given (else 500); false when it was refused (already reported).
    bool singleName(const MdBfNameList* names);
    // Declares the enumerator name of the value in the current scope (505
    // when the name exists); the item with the running value after it.
    MdBfValue* enumerator(String* name, uint32_t value);
    // A symbol of that name is declared in the current scope.
    bool declaredHere(const String& name) const;
    // Records a declared type for the lookups by type id.
    void recordType(StSymbEntryID sid);
    StSymbEntryID typeDeclaration(StTypeID tid) const;
    // A value of the elements, converted to a 32-bit integer; false when
    // there is none or it does not convert.
    bool elementValue(const StConstantElem& elem, uint32_t typeId, StConstantVal*& value) const;
    // The boot-function type of the scope being closed: the structure type
    // name over the members, the type, its first telegram, its
    // implementation, its symbols and sub-functions. global: "@BfMainType"
    // with "@BfMain"; cs: the telegram number's literal (boot functions).
    void makeBootType(const String& name, const MdBfValue* vars, const MdBfValue* subFunctions, bool global,
                      const MdBfValue* cs);
    // A code block of the current implementation; keyword names the block.
    // A second block of a kind the implementation keeps once is refused
    // with 505 and the keyword when twice505 is set (DEFAULT, CFGCHANGED):
    // the first block stays, and the user learns that the second one was
    // dropped rather than find it missing from the macro files.
    using CodeStore = bool (CBfBootFktImpl::*)(String);
    void storeCode(String* code, CodeStore store, const char* keyword, bool twice505);
    // Whether the texts of the implementations go into macro files: not
    // when the outputs are unused, nor with noImpl.
    bool m4TextsWritten() const { return !m_outputsUnused && (m_noImpl & 1u) == 0; }
    // Whether every one of the texts (null ones are empty), each put between
    // m4's quotes in the macro files, balances them (bfM4QuotesBalance);
    // true when the texts are not written.
    bool m4Balanced(std::initializer_list<const String*> texts) const;
    // 518 for the first NUL byte in the texts (null ones are empty), which
    // stand one after the other in the source from line on: at the NUL's
    // line, with the byte and block() as its arguments; one error counted.
    // A macro file carries its texts as they are, and no NUL belongs in
    // one (the text would end there for whatever reads it), whether this
    // compile writes them or not. False when a text held one.
    bool nulFree(std::initializer_list<const String*> texts, int32_t line, const std::function<std::string()>& block);
    // "BF_FUNCTION(name)" or "BF_MSG_FUNCTION(name)", by the opener.
    std::string functionBlock(const String* name) const;
    // Keeps warning 517 for the block whose text began at line.
    void noteM4Quotes(const std::string& block, int32_t line) { m_m4Warnings.push_back({line, block}); }

    std::list<String> m_includes;
    String m_container;
    StRangeID m_validRange = 0;
    StRangeID m_nameRange = 0;
    uint32_t m_declWord = 1;
    uint32_t m_noImpl = 0;
    bool m_outputsUnused = false;
    String m_name;
    String m_m4Path;
    CBfBootFktTyp* m_curType = nullptr;
    CBfBootFktImpl* m_curImpl = nullptr;
    // Lines where texts began (yylex): the last code block, the last
    // function name, and the function whose body came last (a look-ahead
    // token may already be the next function's name).
    int32_t m_codeLine = 0;
    int32_t m_nameLine = 0;
    int32_t m_functionLine = 0;
    struct M4Warning {
        int32_t line;
        std::string block;
    };
    std::vector<M4Warning> m_m4Warnings;  // 517, given once the macro files are written
    CBfSymbTable* m_symbols;
    CpBfNameMengeler m_exports;

    MdBfTypeActions m_typeActions;
    CpIdWords m_typeDecls{8};                         // declared types (SID + 1) by type id
    StTypeID m_initType = ST_INVALID_TID;            // the type an array initialiser is built for
    String m_arrayName;                               // the name of TYPE name : ARRAY ...
    bool m_namedArray = false;
    StSymbEntryID m_arraySID;                         // the array type rule 74 declared last
    StSymbEntryIDList m_typeMembers;                  // makeBootType's members and access words
    std::vector<uint32_t> m_typeWords;
    std::vector<const String*> m_listDeclared;        // declareVariables' names declared so far
};
