// Names that the macro files write without quotes (NAME(set),
// INCLUDE(set.h), INCLUDE(name)), against GNU m4 itself: names generated
// from every byte, from every word m4 and the macro package define, and at
// random from the pieces m4 reads apart are written through the writer and
// read back by m4; bfM4Misreading must refuse exactly those that m4 reads
// otherwise than a name it surely reads whole, put in their place.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <list>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "bo/bf/BfBootFktImpl.h"
#include "bo/bf/BfM4Names.h"
#include "tests/bo/bf/bf_gen.h"
#include "tests/host/m4/m4_expand.h"

namespace {

// What the rule says of the issue's own examples and their neighbours, in
// the words of each kind of misreading.
struct RuleCase {
    const char* text;
    const char* said;  // a piece of the phrase; "" for a name m4 reads whole
};
const RuleCase kRuleCases[] = {
    {"axis", ""},
    {"a,b", "split it into arguments at the comma"},
    {"x#y.h", "read the rest of its line from the # on, the closing ) too, as a comment"},
    {"a#b\nc", ""},  // the comment ends at the line end, before the )
    {"x-dnl.h", "expand the word dnl as its builtin macro dnl"},
    {"define", ""},  // called only with arguments
    {"define(x)", "expand the word define as its builtin macro define"},
    {"x.NAME", "expand the word NAME as the macro package's macro NAME"},
    {"a`b'c", "take the ` as an opening quote"},
    {"it's", ""},  // a lone apostrophe is text
    {" a", "drop the blanks and line ends it begins with"},
    {"a b", ""},
    {"a)", "end it at the ) that no ( before it opens"},
    {"(a", "read on past its end for the ) that closes its ("},
    {"a(b,c)", ""},  // balanced parentheses stay, commas in them too
    {"", ""},
};

TEST(BfM4Names, RuleOnTheKindsOfMisreading)
{
    for (const RuleCase& c : kRuleCases) {
        const std::string said = bfM4Misreading(c.text);
        EXPECT_EQ(*c.said ? "would " + std::string(c.said) : "", said) << "'" << c.text << "'";
    }
}

TEST(BfM4Names, SetNameIsThePartAfterTheLastSeparator)
{
    const struct {
        const char* path;
        const char* set;
    } cases[] = {{"impl", "impl"},         {"dir/impl", "impl"}, {"dir\\impl", "impl"}, {"a/b\\c/d", "d"},
                 {"a\\b/c.d", "c.d"},      {"dir/", ""},         {"a,b", "a,b"},        {"/x/a,b.c", "a,b.c"}};
    for (const auto& c : cases) EXPECT_EQ(c.set, bfM4SetName(c.path)) << c.path;
}

// ---------------------------------------------------------------------------
// Against GNU m4

void replaceAll(std::string& s, const std::string& from, const std::string& to)
{
    for (size_t at = 0; (at = s.find(from, at)) != std::string::npos; at += to.size()) s.replace(at, from.size(), to);
}

// The writer's files for a set name and includes, read back by m4. The
// container holds an implementation with an item of each kind, one without
// items and a function of each kind, so that every macro the writer calls
// follows the names (texts without parentheses: every word before one is a
// macro).
class M4Reader {
public:
    M4Reader()
    {
        types.createNewBootFunct("T30", 30, 0, 3);
        impls.addFunctionImpl(new String("int"), new String("f"), new String("a"), new String("{}"), false);
        CBfBootFktImpl* i = impls.createImpl(30);
        i->addDefault("d;");
        i->addCfgChange("c;");
        i->addModify("m1", "w;");
        i->addInstantiate(7, "n;");
        i->addUnit("u1", "v;");
        i->addCheck("k;");
        i->addCheckEx("x;");
        impls.addFunctionImpl(new String("int"), new String("g"), nullptr, nullptr, true);
        types.createNewBootFunct("T40", 40, 0, 4);
        impls.createImpl(40);  // without items
    }

    // The files last written.
    std::string written() const { return readFile(dir.path + "/set.m4h") + readFile(dir.path + "/set.m4c"); }

    // m4's reading of the files written for set and includes.
    std::string read(const std::string& set, const std::vector<std::string>& includes,
                     const std::string& container = "cont")
    {
        std::list<String> inc;
        for (const std::string& i : includes) inc.push_back(String(i.c_str()));
        // The set name after a backslash: the files land in dir whatever
        // bytes it holds, and are renamed to fixed names.
        const std::string path = dir.path + "/w\\" + set;
        if (!impls.writeM4(String(path.c_str()), inc, String(container.c_str()), false)) return "not written";
        if (std::rename((path + ".m4h").c_str(), (dir.path + "/set.m4h").c_str()) != 0 ||
            std::rename((path + ".m4c").c_str(), (dir.path + "/set.m4c").c_str()) != 0)
            return "not renamed";
        return m4test::m4NamesIn(dir.path, {"set.m4h", "set.m4c"});
    }

    // m4's reading of the files for set (the container's name too) with the
    // include a.h, and for the set axis with the includes a.h, the names
    // given and b.h.
    std::string readSet(const std::string& set) { return read(set, {"a.h"}, set); }
    std::string readIncludes(const std::vector<std::string>& names) { return read("axis", withNeighbours(names)); }
    // m4's reading of the same files had it read the names whole: the
    // reading of names that surely are, with the names put in their place.
    std::string wholeSet(const std::string& set)
    {
        if (m_set.empty()) m_set = readSet("zzsetq");
        std::string r = m_set;
        replaceAll(r, "zzsetq", set);
        return r;
    }
    std::string wholeIncludes(const std::vector<std::string>& names)
    {
        std::vector<std::string> plain;
        for (size_t k = 0; k < names.size(); ++k) plain.push_back("zzinc" + std::to_string(k) + "q");
        std::string& made = m_includes[names.size()];
        if (made.empty()) made = readIncludes(plain);
        std::string r = made;
        for (size_t k = 0; k < names.size(); ++k) replaceAll(r, plain[k], names[k]);
        return r;
    }

private:
    TempDir dir;
    BfTestCont types;
    CBfBootFktImplCont impls{&types};
    std::string m_set;
    std::map<size_t, std::string> m_includes;  // by the count of names

    static std::vector<std::string> withNeighbours(const std::vector<std::string>& names)
    {
        std::vector<std::string> all = {"a.h"};
        all.insert(all.end(), names.begin(), names.end());
        all.push_back("b.h");
        return all;
    }
};

// Words m4 and the stub package define, and a few they do not: m4's own
// list of its builtins, and the stub's STUB([NAME]) lines.
std::set<std::string> definedWords()
{
    std::set<std::string> words = {"h", "name", "Name", "DNL", "x"};
    if (FILE* p = ::popen("echo dumpdef | LC_ALL=C m4 2>&1", "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, p)) {
            const std::string l = line;
            if (l.find(':') != std::string::npos) words.insert(l.substr(0, l.find(':')));
        }
        ::pclose(p);
    }
    EXPECT_GT(words.size(), 40u) << "m4 listed no builtins";
    const std::string stub = readFile(TV_SOURCE_DIR "/tests/host/m4/bfimplmk.m4");
    for (size_t at = 0; (at = stub.find("STUB([", at)) != std::string::npos; at += 6) {
        const size_t end = stub.find("])", at);
        const std::string w = stub.substr(at + 6, end - at - 6);
        if (w != "$1") words.insert(w);
    }
    EXPECT_GT(words.size(), 90u) << "the stub package listed no macros";
    return words;
}

std::string form(const char* pattern, const std::string& word)
{
    std::string n = pattern;
    replaceAll(n, "%", word);
    return n;
}

// The single bytes come first, in kBytePlaces places each.
const size_t kBytePlaces = 4;

// The names of the family: every byte in four places (inside parentheses
// too), every defined word bare, called and inside a name, a few words in
// every place a word can stand, and random strings of the pieces m4 reads
// apart.
std::vector<std::string> familyNames()
{
    std::vector<std::string> names;
    for (int b = 1; b < 256; ++b) {
        const std::string c(1, char(b));
        names.push_back(c + "a");
        names.push_back("a" + c + "b");
        names.push_back("a" + c);
        names.push_back("f(" + c + ")");
    }
    for (const std::string& w : definedWords())
        for (const char* f : {"%", "%(x)", "x-%.y"}) names.push_back(form(f, w));
    for (const char* w : {"dnl", "define", "len", "NAME", "changequote", "x"})
        for (const char* f : {"1%", "_%", "%_", "%()", "x(%)", "% (x)", "%.%", "%\n", "#\n%", "#%\n%"})
            names.push_back(form(f, w));
    const char* const pieces[] = {"a", "_", "1", " ", "\t", "\n", ",", "(", ")", "`", "'",
                                  "#", ".", "-", "dnl", "define", "len", "NAME", "\xE9"};
    std::mt19937 random(20261208);
    for (int n = 0; n < 400; ++n) {
        std::string name;
        for (int k = 1 + int(random() % 5); k > 0; --k) name += pieces[random() % (sizeof pieces / sizeof *pieces)];
        names.push_back(name);
    }
    return names;
}

TEST(BfM4Names, RefusesExactlyWhatGnuM4Misreads)
{
    M4Reader reader;
    // The stub alone reads back the names of a plain set whole.
    const std::string plain = reader.readSet("axis");
    ASSERT_NE(std::string::npos, plain.find("<name 1:axis>")) << plain;
    ASSERT_NE(std::string::npos, plain.find("<include 1:axis.h>")) << plain;
    ASSERT_NE(std::string::npos, plain.find("<include 1:a.h>")) << plain;
    ASSERT_NE(std::string::npos, plain.find("/* stub_checkex:30,x; */")) << plain;
    ASSERT_NE(std::string::npos, plain.find("<declcont 1:axis>")) << plain;
    ASSERT_NE(std::string::npos, plain.find("<begin_create_impl 1:axis>")) << plain;
    // Every macro the writer calls is a word the rule refuses, called.
    const std::string files = reader.written();
    int macros = 0;
    for (size_t at = 0; (at = files.find('(', at)) != std::string::npos; ++at) {
        size_t begin = at;
        while (begin > 0 && (std::isalnum(static_cast<unsigned char>(files[begin - 1])) || files[begin - 1] == '_'))
            --begin;
        if (begin == at) continue;
        const std::string macro = files.substr(begin, at - begin);
        EXPECT_NE("", bfM4Misreading("x." + macro + "(y)")) << macro;
        ++macros;
    }
    EXPECT_GT(macros, 30);
    ASSERT_NE(std::string::npos, plain.find("\nstatus 0")) << plain;

    // As includes: each name the rule refuses on its own, and those it
    // takes together (one misread among them shows, and is then sought).
    const std::vector<std::string> names = familyNames();
    std::vector<std::string> taken;
    for (const std::string& name : names) {
        const std::string said = bfM4Misreading(name);
        if (said.empty()) {
            taken.push_back(name);
            continue;
        }
        EXPECT_NE(reader.readIncludes({name}), reader.wholeIncludes({name}))
            << "--include '" << name << "' is read back whole, yet refused: " << said;
    }
    for (size_t at = 0; at < taken.size(); at += 64) {
        const std::vector<std::string> batch(taken.begin() + at, taken.begin() + std::min(at + 64, taken.size()));
        if (reader.readIncludes(batch) == reader.wholeIncludes(batch)) continue;
        for (const std::string& name : batch)
            EXPECT_EQ(reader.readIncludes({name}), reader.wholeIncludes({name}))
                << "--include '" << name << "' is misread, yet taken";
    }
    // As the set's name, NAME(set) and INCLUDE(set.h), and the container's,
    // DECLCONT(name) and BEGIN_CREATE_IMPL(name): the names past the
    // single bytes (a separator is never part of a set's name).
    int refused = 0;
    for (size_t k = kBytePlaces * 255; k < names.size(); ++k) {
        const std::string& name = names[k];
        if (name.find_first_of("/\\") != std::string::npos) continue;
        const bool setRefused = !bfM4Misreading(name).empty() || !bfM4Misreading(name + ".h").empty();
        EXPECT_EQ(setRefused, reader.readSet(name) != reader.wholeSet(name))
            << "set '" << name << "': " << bfM4Misreading(name) << bfM4Misreading(name + ".h");
        refused += setRefused;
    }
    // Both sides of the rule were met, many times.
    EXPECT_GT(names.size() - taken.size(), 300u);
    EXPECT_GT(taken.size(), 800u);
    EXPECT_GT(refused, 300);
}

}  // namespace
