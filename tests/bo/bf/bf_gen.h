// Random boot-function types for the round trips of the model and the
// container and for the seeds of the fuzz target; a scratch directory and
// a file's bytes for the tests of the macro files.
#pragma once
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>

#include "bo/bf/BfBootFktTypCont.h"

inline std::unique_ptr<CBfBootFktTyp> randomBfType(std::mt19937& rng, uint32_t sid)
{
    auto pick = [&](uint32_t n) { return uint32_t(rng() % n); };
    std::string name(1 + pick(8), 'a');
    for (char& c : name) c = char('a' + pick(26));
    auto t = std::make_unique<CBfBootFktTyp>(String(name.c_str()), nullptr, sid, pick(5), pick(50));
    for (uint32_t i = pick(4); i > 0; --i) {
        CBfBootSet* set = t->newBootSet();
        set->cs = uint16_t(rng());
        for (uint32_t k = pick(5); k > 0; --k) {
            bool sym = pick(2) != 0;
            set->tokens.emplace_back(sym ? 1u : 0u, sym ? StSymbEntryID(pick(100)) : ST_INVALID_SID,
                                     StConstEntryID(pick(3) ? pick(1000) : 0xFFFFFFFFu));
        }
    }
    for (uint32_t k = pick(5); k > 0; --k) t->symbols.emplace(pick(30), pick(1000));
    for (uint32_t k = pick(5); k > 0; --k) t->subFkts.emplace(pick(30), CFktAttrib(pick(2), pick(2)));
    for (uint32_t k = pick(5); k > 0; --k) t->varAttribs.emplace(pick(30), CVarAttrib(pick(3)));
    return t;
}

// The type "b" of the goldens (SID 12, VR 0, NR 4): one set of cs 7 with a
// symbol token (SID 20, CID 3) and a constant token (CID 5), sub-function 21
// with U only, access 1 for 20.
inline std::unique_ptr<CBfBootFktTyp> goldenBfType()
{
    auto t = std::make_unique<CBfBootFktTyp>("b", nullptr, 12, 0, 4);
    CBfBootSet* set = t->newBootSet();
    set->cs = 7;
    set->tokens.emplace_back(CBfBootToken::SYMBOL, 20, 3);
    set->tokens.emplace_back(CBfBootToken::CONSTANT, ST_INVALID_SID, 5);
    t->symbols.emplace(20, 3);
    t->varAttribs.emplace(20, CVarAttrib(1));
    t->addSubFkt(21, CFktAttrib(true, false));
    return t;
}

// The owner's pointers, made before the container that reads them.
struct BfOwnerPointers {
    CBfSymbTable* table = nullptr;
    CBoVarComment* comments = nullptr;
};

// A type container as its owner makes it: the owner's symbol table and
// comment container (both may stay null) and a status that is good unless
// bad is set.
class BfTestCont : private BfOwnerPointers, public CBfBootFktTypCont {
public:
    explicit BfTestCont(CBfSymbTable* t = nullptr)
        : BfOwnerPointers{t, nullptr}, CBfBootFktTypCont(&table, &comments)
    {
    }
    uint32_t status() override { return bad; }
    uint32_t bad = 0;
};

// A scratch directory for the life of the object.
struct TempDir {
    std::string path;
    TempDir()
    {
        char buf[] = "/tmp/tv_bfimpl_XXXXXX";
        path = mkdtemp(buf) ? buf : "";
    }
    ~TempDir() { std::system(("rm -rf '" + path + "'").c_str()); }
};

inline std::string readFile(const std::string& p)
{
    std::ifstream f(p, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}
