// A stand-in for the variable-extension compiler that only writes down what
// the grammar hands it: one line per action ("cfg 1 Standard", "value 10 10
// 3 items"), in order, in a frame with message block 400. Tests and the fuzz
// target run the scanner and the grammar through it without any model.
//
// stopAt names an action (the first word of its line) whose call stops the
// parse with stopResult, to see that a stop ends the parse there.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/md/tavolin/MdParserFrame.h"
#include "tools/md/tavolin/MdVarExtBisonParser.h"
#include "tools/md/tavolin/MdVarExtScanner.h"

class VarExtRecorder : public MdParserFrame<MdVarExtBisonParser, MdVarExtScanner> {
public:
    VarExtRecorder() : MdParserFrame(400) {}
    int32_t parse() override { return yyparse(); }

    std::vector<std::string> log;
    std::vector<int> lines;  // the scanner's line at each action of log
    std::string stopAt;
    int stopResult = 3;

    void configuration(int32_t number, const String& text) override { note("cfg", {number}, &text); }
    void defaultConfiguration(int32_t cfg) override { note("default", {cfg}); }
    void groupHead(int32_t group, const String& text) override { note("group", {group}, &text); }
    void groupEntry(int32_t group, int32_t cfg, const String& text) override { note("entry", {group, cfg}, &text); }
    void maxId(int32_t m) override { note("maxid", {m}); }
    void resolve(int32_t local, int32_t quantity, bool hasDefault, int32_t defaultUnit, bool hasPossible,
                 const IntList& units) override
    {
        std::vector<int64_t> v{local, quantity};
        if (hasDefault) v.push_back(defaultUnit);
        if (hasPossible) {
            v.push_back(-1000);  // marks the start of the list
            v.insert(v.end(), units.begin(), units.end());
        }
        note("resolve", v);
    }
    void resolveEnd() override { note("endresolve", {}); }
    VarExt* attributeValues(int32_t a, int32_t ato1, int32_t ato2, int32_t g, int32_t te) override
    {
        note("attrvalues", {a, ato1, ato2, g, te});
        return new VarExt{uint32_t(a), uint32_t(ato1), uint32_t(ato2), uint16_t(g), uint8_t(te)};
    }
    void attribute(bool range, int32_t first, int32_t last, int32_t mask, VarExt* record) override
    {
        note(range ? "attrrange" : "attr", {first, last, mask, record ? int64_t(record->A) : -1});
        delete record;
    }
    void valueHead(bool range, int32_t first, int32_t last, int32_t mask) override
    {
        note(range ? "headrange" : "head", {first, last, mask});
    }
    void valueNumber(ItemKind kind, int32_t value) override { note(kindName(kind), {value}); }
    void valueReal(ItemKind kind, const String& text) override { note(kindName(kind), {}, &text); }
    void valueUnit(int32_t unit) override { note("Unit", {unit}); }
    void valueFixed(int32_t unit) override { note("Fixed", {unit}); }
    void undefWithItems() override { note("undefitems", {}); }
    void valueStatement(bool range, int32_t first, int32_t last, int32_t mask, bool undef) override
    {
        note(range ? "valuerange" : "value", {first, last, mask, undef ? 1 : 0});
    }
    void bitType(int32_t number, const String& first, const String& second) override
    {
        note("bittype", {number}, &first, &second);
    }
    void bitField(bool range, int32_t first, int32_t last, int32_t mask, int32_t bit, int32_t type,
                  const String& text) override
    {
        note(range ? "bitrange" : "bit", {first, last, mask, bit, type}, &text);
    }
    void dynArrayElement(int32_t adr) override { note("array", {adr}); }
    void dynArray(int32_t sizeAdr, int32_t mask, const IntList& arrays) override
    {
        std::vector<int64_t> v{sizeAdr, mask};
        v.insert(v.end(), arrays.begin(), arrays.end());
        note("dyn", v);
    }

private:
    static const char* kindName(ItemKind k)
    {
        return k == ItemMin ? "Min" : k == ItemDef ? "Def" : k == ItemMax ? "Max" : "?";
    }
    void note(const char* what, const std::vector<int64_t>& numbers, const String* t1 = nullptr,
              const String* t2 = nullptr)
    {
        std::string line = what;
        for (int64_t n : numbers) line += " " + std::to_string(n);
        if (t1) line += " " + std::string(t1->c_str(), size_t(t1->length()));
        if (t2) line += " " + std::string(t2->c_str(), size_t(t2->length()));
        log.push_back(line);
        lines.push_back(lineno());
        if (stopAt == what) stopParse(stopResult);
    }
};
