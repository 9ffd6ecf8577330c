// Implementation descriptions and the writer of the boot-function macro files.
#include "bo/bf/BfBootFktImpl.h"

#include <cstdio>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "bo/bf/BfBootFktTypCont.h"
#include "bo/bf/BfM4Names.h"

const char kBfMacroLineEnd[] = "\n";

namespace {

std::string_view view(const String& s)
{
    return std::string_view(s.chars() ? s.chars() : "", size_t(s.length()));
}

}  // namespace

bool bfM4QuotesBalance(const String& text)
{
    size_t depth = 0;
    for (const char c : view(text)) {
        if (c == '`') {
            ++depth;
        } else if (c == '\'') {
            if (depth == 0) return false;
            --depth;
        }
    }
    return depth == 0;
}

namespace {

using Lines = CBfMacroLines;

std::string text(const String* s)
{
    return s ? s->stdString() : std::string();
}

// `text'
std::string quoted(const std::string& s)
{
    return "`" + s + "'";
}

// Writes the lines to an open file; false when a write fails.
bool writeLines(std::FILE* f, const Lines& lines)
{
    const std::string& text = lines.text();
    return std::fwrite(text.data(), 1, text.size(), f) == text.size();
}

// Both macro files, opened truncated (mode "wb") or for appending ("ab")
// until the object goes; ok turns false when opening, a write or a close
// fails.
class MacroFiles {
public:
    MacroFiles(const String& path, const char* mode)
    {
        const std::string p = path.stdString();
        m_h = std::fopen((p + ".m4h").c_str(), mode);
        m_c = std::fopen((p + ".m4c").c_str(), mode);
        m_ok = m_h && m_c;
    }
    ~MacroFiles() { close(); }
    void write(const Lines& h, const Lines& c)
    {
        if (m_h) m_ok = writeLines(m_h, h) && m_ok;
        if (m_c) m_ok = writeLines(m_c, c) && m_ok;
    }
    // Closes both; true when everything succeeded.
    bool close()
    {
        for (std::FILE** f : {&m_h, &m_c})
            if (*f) {
                m_ok = std::fclose(*f) == 0 && m_ok;
                *f = nullptr;
            }
        return m_ok;
    }
    bool ok() const { return m_ok; }

private:
    std::FILE* m_h = nullptr;
    std::FILE* m_c = nullptr;
    bool m_ok = false;
};

}  // namespace

// --- one implementation ---

bool CBfBootFktImpl::add(StSymbEntryID sid, int32_t kind, String value)
{
    return items.emplace(CImplDsc{sid.get(), kind}, std::move(value)).second;
}

bool CBfBootFktImpl::addNamed(const String& name, int32_t kind, String value)
{
    StSymbEntryID sid;
    if (!symbTable) return false;
    // A variable of class 1 and attribute 0, unique in the scope.
    symbTable->declareSymbol(sid, name, ValidRange, NameRange, 1, 0, false, true);
    if (sid.isInvalid()) return false;
    return add(sid, kind, std::move(value));
}

std::string CBfBootFktImpl::nameOf(uint32_t sid) const
{
    String* n = symbTable ? symbTable->getName(sid) : nullptr;
    return n ? n->stdString() : std::string();
}

bool CBfBootFktImpl::writeM4(const String& path) const
{
    if (path.length() == 0) return false;
    MacroFiles files(path, "ab");
    Lines h, c;
    collectM4(h, c);
    files.write(h, c);
    return files.close();
}

void CBfBootFktImpl::collectM4(Lines& h, Lines& c) const
{
    const std::string S = std::to_string(SID.get());
    auto has = [&](int32_t kind) {
        for (const auto& i : items)
            if (i.first.kind == kind) return true;
        return false;
    };
    const bool modify = has(CImplDsc::MODIFY), unit = has(CImplDsc::UNIT);
    const std::string_view useModify = modify ? ", USE_MODIFY_FKT()" : "";
    const std::string_view useUnit = unit ? ", USE_UNIT_FKT()" : "";
    h.add({"BEGIN_DECL(", S, useModify, useUnit, ")"});

    // Per item of kind, in key order: line(sid, text) appends its line.
    auto each = [&](int32_t kind, const auto& line) {
        for (const auto& i : items)
            if (i.first.kind == kind) line(i.first.SID, i.second);
    };
    auto single = [&](int32_t kind, const char* decl, const char* impl) {
        each(kind, [&](uint32_t, const String&) { h.add({decl, "()"}); });
        each(kind, [&](uint32_t, const String& t) { c.add({impl, "(", S, ", `", view(t), "')"}); });
    };

    // The block of the items that name a symbol: the declaration with a line
    // per name, the implementation with a line per name and text.
    auto named = [&](int32_t kind, const char* decl, const char* declItem, const char* impl, const char* implItem) {
        h.add({decl, "()"});
        each(kind, [&](uint32_t sid, const String&) { h.add({declItem, "(`", nameOf(sid), "')"}); });
        c.add({impl, "(", S, ")"});
        each(kind, [&](uint32_t sid, const String& t) {
            c.add({implItem, "(", S, ", `", nameOf(sid), "', `", view(t), "')"});
        });
    };

    if (modify || unit) {
        c.add({"BEGIN_INIT_IMPL(", S, useModify, useUnit, ")"});
        for (const auto& i : items) {
            if (i.first.kind == CImplDsc::MODIFY) c.add({"INIT_MODIFY(`", nameOf(i.first.SID), "')"});
            if (i.first.kind == CImplDsc::UNIT) c.add({"INIT_UNIT(`", nameOf(i.first.SID), "')"});
        }
        c.push_back("END_INIT_IMPL()");
    }
    single(CImplDsc::DEFAULT, "DEFAULT_DECL", "DEFAULT");
    single(CImplDsc::CFGCHANGE, "CFGCHANGE_DECL", "CFGCHANGED");
    if (modify) named(CImplDsc::MODIFY, "MODIFY_DECL", "DECL_MODIFY", "MODIFY_IMPL", "MODIFY");
    if (has(CImplDsc::INSTANTIATE)) {
        h.push_back("INSTANTIATE_DECL()");
        c.add({"BEGIN_INSTANTIATE_IMPL(", S, ")"});
        each(CImplDsc::INSTANTIATE, [&](uint32_t sid, const String& t) {
            c.add({"INSTANTIATE(", std::to_string(sid), ", `", view(t), "')"});
        });
        c.push_back("END_INSTANTIATE_IMPL()");
    }
    if (unit) named(CImplDsc::UNIT, "UNIT_DECL", "DECL_UNIT", "UNIT_IMPL", "UNITCHANGED");
    single(CImplDsc::CHECK, "CHECK_DECL", "CHECK");
    single(CImplDsc::CHECKEX, "CHECKEX_DECL", "CHECKEX");
    h.push_back("END_DECL()");
}

// --- the container ---

void CBfBootFktImplCont::addFunctionImpl(String* returnType, String* text1, String* text2, String* text3,
                                         bool isMsgFkt)
{
    m_functions.push_back(std::make_unique<CBfFunctionImpl>(returnType, text1, text2, text3, isMsgFkt));
}

CBfBootFktImpl* CBfBootFktImplCont::createImpl(StSymbEntryID sid)
{
    if (!m_types || !m_types->findType(sid)) return nullptr;
    auto impl = std::make_unique<CBfBootFktImpl>(sid, &m_symbols, m_nextIndex++);
    CBfBootFktImpl* made = impl.get();
    return m_impls.insert(sid, impl) ? made : nullptr;
}

CBfBootFktImpl* CBfBootFktImplCont::findImpl(StSymbEntryID sid) const
{
    if (!m_types || !m_types->findType(sid)) return nullptr;
    return m_impls.find(sid);
}

bool CBfBootFktImplCont::writeM4(const String& path, const std::list<String>& includes,
                                 const String& containerName, bool noImpl) const
{
    if (path.length() == 0) return false;
    const std::string p = path.stdString();
    const std::string base = bfM4SetName(p);
    const std::string cont = containerName.stdString();

    Lines h = {"include(bfimplmk.m4)", "NAME(" + base + ")", "INCLUDE(bocont.hpp)"};
    for (const String& inc : includes) h.push_back("INCLUDE(" + inc.stdString() + ")");
    Lines c = {"include(bfimplmk.m4)", "NAME(" + base + ")"};
    for (const char* inc : {"math.h", "btypenames.h", "botypdat.h", "bfopernd.h", "bfcfgvar.h"})
        c.push_back(std::string("INCLUDE(") + inc + ")");
    c.push_back("INCLUDE(" + base + ".h)");
    c.push_back("#define ERRTXT_OFFSET " + std::to_string(ERRTXT_OFFSET));
    c.push_back("DECLPRINTER()");
    c.push_back("IMPLPRINTER()");

    h.push_back("DECLCONT(" + cont + ")");
    c.push_back("BEGIN_CREATE_IMPL(" + cont + ")");
    if (!noImpl)
        for (const auto& i : m_impls.ordered())
            c.push_back((i.object->hasItems() ? "CREATE(" : "DEFAULT_CREATE(") + std::to_string(i.sid.get()) + ")");
    c.push_back("END_CREATE_IMPL()");

    h.push_back("BEGIN_FCT_DECL()");
    if (!noImpl)
        for (const auto& f : m_functions) {
            const std::string msg = f->isMsgFkt ? "MSG_" : "";
            const std::string args =
                text(f->returnType.get()) + ", " + quoted(text(f->text1.get())) + ", " + quoted(text(f->text2.get()));
            h.push_back(msg + "FKT_DECL(" + args + ")");
            c.push_back(msg + "FKT_IMPL(" + args + ", " + quoted(text(f->text3.get())) + ")");
        }
    h.push_back("END_FCT_DECL()");
    // Both files stay open for the implementations' blocks.
    MacroFiles files(path, "wb");
    files.write(h, c);
    if (!noImpl)
        for (const auto& i : m_impls.ordered()) {
            if (!files.ok()) break;
            if (!i.object->hasItems()) continue;
            h.clear();
            c.clear();
            i.object->collectM4(h, c);
            files.write(h, c);
        }
    return files.close();
}
