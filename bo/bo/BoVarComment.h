// Comment texts of variables and types: the ids of their texts in a
// resource module's string table, by variable (address, configuration mask)
// and by type (name, configuration mask). The comment compiler fills the
// maps and saves them into the section "varcomment" or "bfvarcomment"; a
// holder of the resource module turns an id back into its text.
//
// Lookups are the masked lookup of the variable-extension tables
// (BoVarExt.h): the first entry of the variable or type, from the requested
// mask upwards, whose mask covers the requested one decides; an entry with a
// negative text id counts as not found. Type names compare byte-wise, so
// "Axis" and "axis" are different types.
//
// Section layout (Notation of BoVarExtIo.h; both maps in the generic table
// layout): variable texts, NL, type texts, e.g. "1 5 3 100 \r\n1 4 Axis 4294967295 101 ".
// In binary mode the blanks and the line end are left out, except the one
// blank character between the parts of a key.
#pragma once
#include <cstdint>
#include <memory>

#include "base/fs/FsSecCl.h"
#include "bo/bo/BoVarExt.h"
#include "co/tvstring.h"
#include "platform/resmodule.h"

class CBoVarComment {
public:
    // module: the resource module of the texts, null for none; it must
    // outlive the container.
    explicit CBoVarComment(const tvp::ResModule* module);
    virtual ~CBoVarComment();
    CBoVarComment(const CBoVarComment&) = delete;
    CBoVarComment& operator=(const CBoVarComment&) = delete;

    // False when a lookup of key finds an entry already, or when the exact
    // key is present (even with a negative text id); else inserts it.
    bool addVarText(const VarExtKey& key, int32_t textId);
    bool addTypeText(const TypeExtKey& key, int32_t textId);

    // The deciding entry, end() of the map when none.
    CVarTextTable::const_iterator findVarText(const VarExtKey& key) const;
    CTypeTextTable::const_iterator findTypeText(const TypeExtKey& key) const;
    bool foundVarText(CVarTextTable::const_iterator it) const { return it != m_varTexts.end(); }
    bool foundTypeText(CTypeTextTable::const_iterator it) const { return it != m_typeTexts.end(); }

    // The comment text of a variable / a type from the resource module,
    // converted to code page 1252 ('?' for a character it lacks). False
    // with a level-4 trace line when there is no module ("m_hResInst is not
    // valid") or the module has no text for the id ("LoadString failed for
    // ..."); false without a trace when nothing is found.
    bool getText(int32_t adr, uint32_t cfg, String& text);
    bool getText(const String& typeName, uint32_t mask, String& text);

    // Truncates the section and writes both maps; false when the section
    // cannot be truncated or the stream is in error afterwards.
    bool save(FsSecCl& section) const;
    // Reads what save wrote (text mode) into emptied maps; false on a
    // binary section (left untouched) or when the stream is in error
    // afterwards (what was read before stays).
    bool load(FsSecCl& section);

    const CVarTextTable& varTexts() const { return m_varTexts; }
    const CTypeTextTable& typeTexts() const { return m_typeTexts; }
    // Size of the text buffer: 256 at first, doubled while a text fills it.
    uint32_t textBufferSize() const { return m_bufSize; }

private:
    enum TextResult { Loaded, NoText, LoadFailed };
    TextResult textOf(int32_t textId, String& text);
    bool loadText(int32_t textId, String& text);

    CVarTextTable m_varTexts;
    CTypeTextTable m_typeTexts;
    const tvp::ResModule* m_hResInst;
    uint32_t m_bufSize = 256;
    std::unique_ptr<char[]> m_buf;
};
