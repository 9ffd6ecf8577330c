// The name-list and type actions of the boot-function compiler.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "base/st/stsymtab/StSySymbEntry.h"
#include "base/st/stsymtab/StSyTypeTable.h"
#include "base/st/stsymtab/stmcspec.h"
#include "tools/md/tavolin/MdBfTypeActions.h"

namespace {

struct Fixture {
    CBfSymbTable table;
    std::vector<std::string> messages;  // "id arg"
    MdBfTypeActions actions{table, [this](uint32_t id, const String* arg) {
                                messages.push_back(std::to_string(id) + " " + (arg ? arg->c_str() : "-"));
                            }};
};

std::vector<std::string> namesOf(const MdBfNameList* list)
{
    std::vector<std::string> out;
    for (const String& n : list->names)
        out.emplace_back(n.c_str());
    return out;
}

}  // namespace

TEST(MdBfTypeActions, NameListKeepsOrderAndRefusesDeclaredNames)
{
    Fixture f;
    StSymbEntryID speed;
    f.table.addEntry("Speed", f.table.getGlobalVR(), f.table.getGlobalNR(), ST_KIND_VAR, speed);

    MdBfNameList* list = f.actions.addName(nullptr, new String("B"));
    list = f.actions.addName(list, new String("Speed"));  // declared: 505, left out
    list = f.actions.addName(list, new String("A"));
    std::unique_ptr<MdBfNameList> owned(list);
    EXPECT_EQ((std::vector<std::string>{"B", "A"}), namesOf(list));
    EXPECT_EQ((std::vector<std::string>{"505 Speed"}), f.messages);
}

TEST(MdBfTypeActions, ElementaryAndStringTypes)
{
    const StTypeID expected[] = {ST_BOOL, ST_INT,  ST_UINT, ST_DINT,  ST_UDINT,
                                 ST_SINT, ST_USINT, ST_REAL, ST_LREAL, ST_STRING_TID};
    for (int rule = 105; rule <= 114; ++rule)
        EXPECT_EQ(expected[rule - 105], MdBfTypeActions::elementaryType(rule)) << rule;
    EXPECT_EQ(ST_INVALID_TID, MdBfTypeActions::elementaryType(115));
}

TEST(MdBfTypeActions, NamedTypeMustBeDeclared)
{
    Fixture f;
    StSymbEntryID member, sid, parent;
    f.table.addEntry("m", f.table.getGlobalVR(), f.table.getGlobalNR(), ST_KIND_VAR, member)->setTypeID(ST_DINT);
    StSymbEntryIDList one{member};
    f.table.declareStructType(sid, "Pair", f.table.getGlobalVR(), f.table.getGlobalNR(), &one,
                              f.table.getGlobalNR(), parent, 0, 0, false, true, true);
    ASSERT_TRUE(sid.isValid());
    StSymbEntryID var;
    f.table.addEntry("Speed", f.table.getGlobalVR(), f.table.getGlobalNR(), ST_KIND_VAR, var);

    EXPECT_EQ(f.table.getTypeID(sid), f.actions.namedType(new String("Pair")));
    EXPECT_TRUE(f.messages.empty());
    EXPECT_EQ(ST_INVALID_TID, f.actions.namedType(new String("Speed")));  // a variable, no type
    EXPECT_EQ(ST_INVALID_TID, f.actions.namedType(new String("Nothing")));
    EXPECT_EQ((std::vector<std::string>{"510 Speed", "510 Nothing"}), f.messages);

    // Inside a name space: the global type is visible, the global variable
    // does not clash with a list name there.
    f.messages.clear();
    f.actions.setScope(f.table.getGlobalVR(), f.table.openNameSpace(f.table.getGlobalNR()));
    EXPECT_EQ(f.table.getTypeID(sid), f.actions.namedType(new String("Pair")));
    std::unique_ptr<MdBfNameList> list(f.actions.addName(nullptr, new String("Speed")));
    EXPECT_EQ((std::vector<std::string>{"Speed"}), namesOf(list.get()));
    EXPECT_TRUE(f.messages.empty());
}
