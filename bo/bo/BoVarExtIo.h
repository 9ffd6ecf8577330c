// Stream layouts of the variable-extension tables: the generic table layout
// and the six sections of a type's model (configurations, units, values,
// attributes, dynamic arrays, bits), as writers and readers on a section
// stream in text mode.
//
// Notation of the layouts: u/l unsigned/signed 32-bit decimal, h 16-bit,
// c 8-bit, b '0' or '1', SP one blank, NL "\r\n".
//   generic table:  u count, SP, then per entry: key, SP, value, SP
//     configuration entries  key u id;            value l text id
//     configuration groups   key u id;            value l text id, SP, the group's entries (generic)
//     dynamic arrays         key l adr, SP, u mask; value l array address
//     bit types              key l id;            value l set text, SP, l unset text
//     bit fields             key l adr, SP, u mask; value l bit, SP, l type, SP, l third
//     variable comments      key l adr, SP, u mask; value l text id
//     type comments          key s name, SP, u mask; value l text id
//                            (s: u length, SP, the characters)
//   configurations: u default, SP, entries (generic), SP, groups (generic)
//   units: l limit, NL, u n, NL, n x (l local, SP, l PhysGr, SP),
//          u n, NL, n x (l PhysGr, SP, u len, SP, len x (l unit, SP), NL),
//          NL, u n, NL, n x (l PhysGr, SP, l default unit, SP)
//   values: u n, then n x (SP l adr SP u mask SP b present
//                          [SP u Def SP l Unit SP l Fix SP u Min SP u Max])
//   attributes: u n, then n x (SP l adr SP u mask SP b present
//                              [SP u A SP u ATO1 SP u ATO2 SP h G SP c TE])
//   dynamic arrays: the generic table
//   bits: bit types (generic), NL, bit fields (generic)
//
// Writers truncate the section first and stop at the first stream error;
// they return 0, or BO_SAVE_FAILED when the stream is in error afterwards.
// Readers replace the tables' content, stop at the first stream error and
// allocate nothing by a count they read; they return 0, or BO_LOAD_FAILED
// when the stream is in error afterwards. What was read before an error
// stays in the tables. A map whose entry count differs from the count read
// sets the stream error BO_COUNT_MISMATCH; the multimaps are not counted.
// Repeated keys: the generic maps keep the later value; values and
// attributes keep the first entry (the later record is freed, no error);
// the units' resolve and default-unit pairs keep the first (and so fail the
// count check); a repeated possible-unit key sets BO_COUNT_MISMATCH.
// The layouts exist in text mode only: on a binary section a writer returns
// BO_SAVE_FAILED and a reader BO_LOAD_FAILED without touching it.
#pragma once
#include <cstdint>
#include <functional>

#include "base/fs/FsSecCl.h"
#include "bo/bo/BoVarExt.h"

// Results of the section writers and readers, and the stream error that the
// readers set for a count that does not match.
constexpr uint32_t BO_SAVE_FAILED = 21;
constexpr uint32_t BO_LOAD_FAILED = 27;
constexpr uint32_t BO_COUNT_MISMATCH = 18;

// Generic table layout.
FsSecCl& operator<<(FsSecCl& s, const CCfgEntryTable& t);
FsSecCl& operator<<(FsSecCl& s, const CCfgGroupTable& t);
FsSecCl& operator<<(FsSecCl& s, const CDynArrayTable& t);
FsSecCl& operator<<(FsSecCl& s, const CBitTypeTable& t);
FsSecCl& operator<<(FsSecCl& s, const CBitFieldTable& t);
FsSecCl& operator<<(FsSecCl& s, const CVarTextTable& t);
FsSecCl& operator<<(FsSecCl& s, const CTypeTextTable& t);
FsSecCl& operator>>(FsSecCl& s, CCfgEntryTable& t);
FsSecCl& operator>>(FsSecCl& s, CCfgGroupTable& t);
FsSecCl& operator>>(FsSecCl& s, CDynArrayTable& t);
FsSecCl& operator>>(FsSecCl& s, CBitTypeTable& t);
FsSecCl& operator>>(FsSecCl& s, CBitFieldTable& t);
// Any map of unsigned numbers to signed ids (the error-message map).
FsSecCl& operator<<(FsSecCl& s, const CBoNumberMap<uint32_t>& t);
FsSecCl& operator>>(FsSecCl& s, CBoNumberMap<uint32_t>& t);
FsSecCl& operator>>(FsSecCl& s, CVarTextTable& t);
FsSecCl& operator>>(FsSecCl& s, CTypeTextTable& t);

// Sections ("cfghead", "units", "varval", "varext", "varcont", "bitfield").
uint32_t writeCfgSection(FsSecCl& s, uint32_t defaultCfg, const CCfgEntryTable& cfgs, const CCfgGroupTable& groups);
uint32_t readCfgSection(FsSecCl& s, uint32_t& defaultCfg, CCfgEntryTable& cfgs, CCfgGroupTable& groups);

uint32_t writeUnitsSection(FsSecCl& s, int32_t unitLimit, const CResolveTable& resolve, const CUsedUnitTable& used,
                           const CUnitEntryTable& defaults);
uint32_t readUnitsSection(FsSecCl& s, int32_t& unitLimit, CResolveTable& resolve, CUsedUnitTable& used,
                          CUnitEntryTable& defaults);

uint32_t writeValuesSection(FsSecCl& s, const CVarTypeValueTable& values);
uint32_t readValuesSection(FsSecCl& s, CVarTypeValueTable& values);

uint32_t writeAttribSection(FsSecCl& s, const CAttribTable& attribs);
uint32_t readAttribSection(FsSecCl& s, CAttribTable& attribs);

uint32_t writeDynArraySection(FsSecCl& s, const CDynArrayTable& arrays);
uint32_t readDynArraySection(FsSecCl& s, CDynArrayTable& arrays);

uint32_t writeBitSection(FsSecCl& s, const CBitTypeTable& types, const CBitFieldTable& fields);
uint32_t readBitSection(FsSecCl& s, CBitTypeTable& types, CBitFieldTable& fields);

// Sections of an instance (numbers separated by blanks):
//   configuration: u current configuration, SP
//   units: u n, SP, n x (l PhysGr, SP, l default unit, SP, l current unit, SP)
//   values: the values layout above without Min and Max (Act in place of Def)
// The units reader keeps PhysGr -> current unit; a repeated quantity keeps
// the first and so fails the count check.
uint32_t writeInstCfgSection(FsSecCl& s, uint32_t cfg);
uint32_t readInstCfgSection(FsSecCl& s, uint32_t& cfg);
uint32_t writeInstUnitsSection(FsSecCl& s, const CUnitEntryTable& current,
                               const std::function<int32_t(int32_t)>& defaultUnitOf);
uint32_t readInstUnitsSection(FsSecCl& s, CUnitEntryTable& current);
uint32_t writeInstValuesSection(FsSecCl& s, const CVarInstValueTable& values);
uint32_t readInstValuesSection(FsSecCl& s, CVarInstValueTable& values);
// A unit stream: u n, then n x (l unit, d factor, d offset), which are read
// and dropped; then u m and m x (l PhysGr, l unit) into pairs (a repeated
// PhysGr keeps the first and fails the count check). 0 or BO_LOAD_FAILED.
uint32_t readUnitStream(FsSecCl& s, CUnitEntryTable& pairs);
