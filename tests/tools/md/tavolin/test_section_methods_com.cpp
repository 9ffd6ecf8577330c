// The section methods and the copy method through the object's interface:
// the object kinds each accepts, statuses of stand-in compilers, the string
// counter, and the pointer checks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_split_driver_support.h"

using namespace fronttest;

namespace {

const std::vector<std::pair<std::string, std::string>> kHost = {
    {"varcomment", ""}, {"bfvarcomment", ""}, {"connectors", "old"}};

std::string sourceOfKind(int32_t kind)
{
    return headerOf(kind) +
           "VARCOMMENT\nc\nEND_VARCOMMENT\n"
           "INTERFACE\ni\nEND_INTERFACE\n"
           "BEGIN_ALARM\na\nEND_ALARM\n"
           "BEGIN_ALARM_VRX_ERROR_TEXT\nm\nEND_ALARM_VRX_ERROR_TEXT\n"
           "SUPPORTED_TO_TYPES\nEND_SUPPORTED_TO_TYPES\n";
}

enum Method {
    SysVars, SysFunctions, Comments, Variables, Connections, Alarms, BootFunctions, SupportedTOs,
    Implementations, CopySections, MethodCount
};

HRESULT call(CTavolin* obj, int m, LONG* status)
{
    Bstr rc("script.rc"), text("t"), out("impl");
    BSTR names[1] = {text};
    const char* sections[] = {"connectors"};
    switch (m) {
    case SysVars: return obj->compileSysVars(0, 0, status);
    case SysFunctions: return obj->compileSysFunctions(0, 0, nullptr, 0, nullptr, 0, 0, status);
    case Comments: return obj->compileComments(rc, status);
    case Variables: return obj->compileVariables(rc, status);
    case Connections: return obj->compileConnections(status);
    case Alarms: return obj->compileAlarms(rc, status);
    case BootFunctions: return obj->compileBootFunctions(rc, 1, names, text, rc, status);
    case SupportedTOs: return obj->compileSupportedTOs(status);
    case Implementations: return obj->compileImplementations(out, status);
    case CopySections: return obj->copySections(1, sections, status);
    }
    return E_FAIL;
}

bool accepts(int m, int32_t kind)
{
    const bool to = kind == 1 || kind == 2;
    const bool pkg = kind == 4 || kind == 5;
    switch (m) {
    case SysFunctions:
    case SupportedTOs: return pkg;
    case Implementations: return to || pkg;
    case CopySections: return true;
    default: return to;
    }
}

TEST(ComSectionMethods, BeforeOpenSourceEveryKindCheckFails)
{
    StandIns standIns;
    ComSession s;
    CmMessageHandler* h = s.obj->messageHandler();
    ASSERT_NE(h, nullptr);
    for (int m = 0; m < MethodCount; ++m) {
        const uint32_t before = h->errorCount();
        LONG status = -1;
        EXPECT_EQ(call(s.obj, m, &status), S_OK) << m;
        if (m == CopySections) {
            EXPECT_EQ(status, MdStatusNoTarget);
            EXPECT_EQ(h->errorCount(), before);  // nothing reported
        } else {
            EXPECT_EQ(status, MdStatusWrongKind) << m;
            EXPECT_EQ(h->errorCount(), before + 1) << m;  // "Falscher ObjektTyp" once
        }
    }
    EXPECT_TRUE(standIns.log.empty());
}

TEST(ComSectionMethods, ObjectKindMatrix)
{
    StandIns standIns;
    for (int32_t kind : {1, 2, 4, 5}) {
        TempFile src(sourceOfKind(kind));
        ComSession s(kHost);
        ASSERT_EQ(s.open(src.path()), S_OK);
        ASSERT_EQ(s.status, 0);
        ASSERT_EQ(s.kind, kind);
        for (int m = 0; m < MethodCount; ++m) {
            s.display.texts.clear();
            standIns.log.clear();
            LONG status = -1;
            const HRESULT hr = call(s.obj, m, &status);
            if (accepts(m, kind)) {
                EXPECT_NE(status, MdStatusWrongKind) << m << " kind " << kind;
                if (m == SysVars || m == SysFunctions) {
                    // No class provider is registered or beside the tests.
                    EXPECT_EQ(hr, E_FAIL);
                    EXPECT_EQ(status, 0);
                    EXPECT_EQ(s.display.ids(), std::vector<uint32_t>{0});
                } else {
                    EXPECT_EQ(hr, S_OK) << m << " kind " << kind;
                    EXPECT_EQ(status, 0) << m << " kind " << kind << " " << (s.display.texts.empty() ? "" : s.display.texts[0]);
                }
            } else {
                EXPECT_EQ(hr, S_OK);
                EXPECT_EQ(status, MdStatusWrongKind) << m << " kind " << kind;
                EXPECT_EQ(s.display.ids(), std::vector<uint32_t>{102}) << m << " kind " << kind;
                EXPECT_TRUE(standIns.log.empty());
            }
        }
    }
}

TEST(ComSectionMethods, StringCounterLivesInTheObject)
{
    StandIns standIns;
    for (int k = 0; k < MdCompCount; ++k) standIns.behaviour[k].idsUsed = 3;
    TempFile src(sourceOfKind(2));
    ComSession s(kHost);
    ASSERT_EQ(s.open(src.path()), S_OK);
    EXPECT_EQ(s.obj->nextStringId(), 0);
    LONG status = -1;
    call(s.obj, Comments, &status);
    call(s.obj, Alarms, &status);
    call(s.obj, Connections, &status);
    EXPECT_EQ(s.obj->nextStringId(), 9);
    ASSERT_EQ(standIns.log.size(), 4u);
    EXPECT_EQ(standIns.log[2].firstStringId, 6);
}

TEST(ComSectionMethods, NullPointersAreRefusedSilently)
{
    StandIns standIns;
    TempFile src(sourceOfKind(1));
    ComSession s(kHost);
    ASSERT_EQ(s.open(src.path()), S_OK);
    s.display.texts.clear();
    for (int m = 0; m < MethodCount; ++m) EXPECT_EQ(call(s.obj, m, nullptr), E_POINTER) << m;
    LONG status = -1;
    Bstr rc("r");
    EXPECT_EQ(s.obj->compileBootFunctions(rc, 0, nullptr, rc, rc, &status), E_POINTER);
    EXPECT_EQ(s.obj->copySections(1, nullptr, &status), E_POINTER);
    EXPECT_EQ(status, -1);
    EXPECT_TRUE(s.display.texts.empty());
    EXPECT_TRUE(standIns.log.empty());
}

TEST(ComSectionMethods, CopySectionsThroughTheObject)
{
    TempFile src(sourceOfKind(1));
    ComSession s(kHost);
    ASSERT_EQ(s.open(src.path()), S_OK);
    LONG status = -1;
    const char* names[] = {"header", "con_tmp"};
    // The host storage holds no "header": nothing is created there.
    EXPECT_EQ(s.obj->copySections(1, names, &status), S_OK);
    EXPECT_EQ(status, MdStatusNotFound);
    ASSERT_EQ(s.display.ids(), std::vector<uint32_t>{101});
    EXPECT_NE(s.display.texts[0].find("Sektion header konnte nicht geöffnet werden"), std::string::npos);
    EXPECT_EQ(s.obj->copySections(0, names, &status), S_OK);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(s.obj->copySections(-5, names, &status), S_OK);
    EXPECT_EQ(status, 0);
}

}  // namespace
