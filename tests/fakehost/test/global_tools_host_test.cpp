// The host-calling global tools against the fake host's context: product
// API time stamps, modification times, the zip component and the device
// type name from the settings; each component missing or failing.
#include <gtest/gtest.h>

#include <string>

#include "co/CoSettings.h"
#include "co/GlobToolsHost.h"
#include "platform/settings_store.h"
#include "tests/fakehost/FakeHost.h"

using fakehost::Fault;

namespace {

class GlobalToolsHost : public fakehost::HostTest {
protected:
    static ComPtr<IStream> streamOf(const std::string& bytes)
    {
        ComPtr<IStream> s;
        CreateStreamOnHGlobal(nullptr, TRUE, s.put());
        ULONG n = 0;
        if (!bytes.empty()) s->Write(bytes.data(), ULONG(bytes.size()), &n);
        return s;
    }
    static std::string bytesOf(IStream* s)
    {
        LARGE_INTEGER zero{};
        s->Seek(zero, STREAM_SEEK_SET, nullptr);
        std::string out;
        char buf[64];
        ULONG got = 0;
        while (SUCCEEDED(s->Read(buf, sizeof buf, &got)) && got) out.append(buf, got);
        return out;
    }
    fakehost::FakeProject p;
};

TEST_F(GlobalToolsHost, PxTimeStamp)
{
    CoObjectId px{};
    px.kind = 1;
    p.productApi().timeStamp = 123456789012345ull;
    uint64_t secs = 0;
    EXPECT_TRUE(getPxObjectTimeStamp(p.context(), px, &secs));
    EXPECT_EQ(12345678u, secs);

    CTraceCapture cap;
    p.fault("GetTimeStamp", Fault::retCode(7));
    EXPECT_FALSE(getPxObjectTimeStamp(p.context(), px, &secs));
    EXPECT_TRUE(fakehost::hasTraceLine(cap, "error calling spIPXApi->GetTimeStamp(pxod, &tmPXOD, &nRet) hr = 0x0 (S_OK), ret=0x7"));
    p.fault("GetTimeStamp", Fault::exception());
    EXPECT_FALSE(getPxObjectTimeStamp(p.context(), px, &secs));
    EXPECT_TRUE(fakehost::hasTraceLine(cap, "caught exception calling spIPXApi->GetTimeStamp(pxod, &tmPXOD, &nRet)"));
    p.fault("getInterfaceByCLSID", Fault::exception());
    EXPECT_FALSE(getPxObjectTimeStamp(p.context(), px, &secs));
    EXPECT_TRUE(fakehost::hasTraceLine(cap, "caught exception calling pICtx->getInterfaceByCLSID(__uuidof(VRXTarnexApi), "
                             "&spIUnk, &dwRet)"));
    p.clearFaults();
    p.contextObject().hasProductApi = false;
    cap.clear();
    EXPECT_FALSE(getPxObjectTimeStamp(p.context(), px, &secs));
    EXPECT_TRUE(fakehost::hasTraceLine(cap, "error calling IMC_TarnexClassicInternals::GetTimeStamp"));
    EXPECT_FALSE(getPxObjectTimeStamp(nullptr, px, &secs));
}

TEST_F(GlobalToolsHost, LastModifiedTime)
{
    ESObjectID id = p.addObject("X", 5);
    p.object(id)->modified = FILETIME{0x1234, 0x5678};
    FILETIME ft{};
    EXPECT_TRUE(getLastModifiedTime(p.context(), id, &ft));
    EXPECT_EQ(0x1234u, ft.dwLowDateTime);
    CTraceCapture cap;
    EXPECT_FALSE(getLastModifiedTime(p.context(), ESObjectID_Invalid, &ft));
    EXPECT_TRUE(fakehost::hasTraceLine(cap, "error calling spIOD->getLastModifyTimeByID(objID, &ftModTime, &dwRet) hr = 0x0 "
                             "(S_OK), ret=0x2001"));
    p.contextObject().drop(IID_IMC_PmObjectData);
    EXPECT_FALSE(getLastModifiedTime(p.context(), id, &ft));
    EXPECT_TRUE(fakehost::hasTraceLine(cap, "can't get IMC_PmObjectData"));
}

TEST_F(GlobalToolsHost, Zip)
{
    ComPtr<IStream> src = streamOf("payload"), packed = streamOf(""), back = streamOf("");
    EXPECT_TRUE(compressOrUncompressStream(p.context(), src, packed, true));
    EXPECT_EQ("ZIP:payload", bytesOf(packed));
    EXPECT_TRUE(compressOrUncompressStream(p.context(), packed, back, false));
    EXPECT_EQ("payload", bytesOf(back));

    CTraceCapture cap;
    ComPtr<IStream> out = streamOf("");
    EXPECT_FALSE(compressOrUncompressStream(p.context(), src, out, false));  // not packed: host code
    EXPECT_TRUE(fakehost::hasTraceLine(cap, "error calling spIZip->compressOrUncompressStream(pSourceStrm, pDestStrm, bCompress, "
                             "&dwRet) hr = 0x0 (S_OK), ret=0x2002"));
    p.fault("compressOrUncompressStream", Fault::exception());
    EXPECT_FALSE(compressOrUncompressStream(p.context(), src, out, true));
    EXPECT_TRUE(fakehost::hasTraceLine(cap, "caught exception calling spIZip->compressOrUncompressStream(pSourceStrm, pDestStrm, "
                             "bCompress, &dwRet)"));
    p.clearFaults();
    p.zip().drop(IID_IMC_Zip);
    EXPECT_FALSE(compressOrUncompressStream(p.context(), src, out, true));
    p.contextObject().hasZip = false;
    EXPECT_FALSE(compressOrUncompressStream(p.context(), src, out, true));
    EXPECT_FALSE(compressOrUncompressStream(nullptr, src, out, true));
    EXPECT_TRUE(fakehost::hasTraceLine(cap, "error getting context interface"));
}

TEST_F(GlobalToolsHost, DeviceTypeNameFromSettings)
{
    const char key[] = "SOFTWARE\\Korvent\\VRX\\4.1\\DeviceSections\\D445\\INDEPENDENT\\desc_a";
    tvp::settingsSetString("HKLM", key, "typeinfo", u"HwCfg_D445");
    EXPECT_EQ("HwCfg_D445", getDeviceHwCfgTypeName("D445").stdString());
    EXPECT_TRUE(getDeviceHwCfgTypeName("Other").empty());
    EXPECT_TRUE(getDeviceHwCfgTypeName(nullptr).empty());
    tvp::settingsDeleteKey("HKLM", "SOFTWARE\\Korvent\\VRX\\4.1\\DeviceSections");
}

// The fake host's own knobs: dropped interfaces, faults from the n-th call
// for a number of calls, the call log, counted references.
TEST_F(GlobalToolsHost, FakeHostKnobs)
{
    ESObjectID dev = p.addDevice("D", 1);
    ComPtr<IMC_ProjectNavigate> nav = queryHostInterface<IMC_ProjectNavigate>(p.navigation());
    ASSERT_TRUE(nav);
    EXPECT_EQ(1u, p.navigationObject().refs());
    p.fault("getObjClass", Fault::retCode(9).from(2).times(1));
    DWORD cl = 0, ret = 0;
    EXPECT_EQ(S_OK, nav->getObjClass(dev, &cl, &ret));
    EXPECT_EQ(0u, ret);
    EXPECT_EQ(S_OK, nav->getObjClass(dev, &cl, &ret));
    EXPECT_EQ(9u, ret);
    EXPECT_EQ(S_OK, nav->getObjClass(dev, &cl, &ret));
    EXPECT_EQ(0u, ret);
    EXPECT_EQ(3u, p.callLog().size());
    p.identityObject(dev).drop(IID_IMC_TaskLevels);
    EXPECT_FALSE(queryHostInterface<IMC_TaskLevels>(p.identity(dev)));
    EXPECT_TRUE(queryHostInterface<IMC_TaskExtProps>(p.identity(dev)));
    p.setEnvironmentPlatform(2);
    EXPECT_EQ(2, getEnvironmentPlatform());
}

}  // namespace
