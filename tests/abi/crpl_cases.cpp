#include "tests/abi/abi_host.h"
using namespace rawabi;

namespace abi
{
namespace
{

const wchar_t kBanner[] = L"Velmora HALVO for NetWorker (CVEXImpl) created on ";

std::wstring Property(void* pPlugin, unsigned uiId, std::wstring s, unsigned& uiRc)
{
    uiRc = Slot<PropertyFn>(pPlugin, kGetModuleProperty)(pPlugin, uiId, s);
    return s;
}

bool Terminated(const std::wstring& s)
{
    return s.c_str()[s.size()] == L'\0';
}

// The last error read into host strings of every length gives the same text each time.
void CheckLastErrorEverywhere(void* pPlugin, const std::wstring& sWant)
{
    for (size_t n : kLengths) {
        SCOPED_TRACE("GetLastErrorMsg into a " + LengthName(n));
        std::wstring s = Pattern(n, 3);
        Slot<GetTextFn>(pPlugin, kGetLastErrorMsg)(pPlugin, s);
        EXPECT_EQ(s, sWant) << "last error";
        EXPECT_TRUE(Terminated(s)) << "text ends with a NUL";
    }
}

void CheckRestoreRefusesHostNames(void* pPlugin, HostChannel& channel)
{
    for (size_t n : kLengths) {
        SCOPED_TRACE("RestoreFilespace of a name of " + std::to_string(n) + " chars");
        FileSpace fs = MakeFileSpace(n, 5);
        channel.messages.clear();
        bool bRc = Slot<RestoreFn>(pPlugin, kRestoreFilespace)(pPlugin, &fs);
        CheckFailureReported(pPlugin, bRc, channel);
        EXPECT_TRUE(Same(fs, MakeFileSpace(n, 5))) << "the host's record is unchanged";
    }
}

void CheckNoArgFails(void* pPlugin, int iSlot, const char* pName, HostChannel& channel)
{
    SCOPED_TRACE(pName);
    channel.messages.clear();
    CheckFailureReported(pPlugin, Slot<NoArgFn>(pPlugin, iSlot)(pPlugin), channel);
}

} // namespace

void CheckFailureReported(void* pPlugin, bool bRc, const HostChannel& channel)
{
    EXPECT_TRUE(!bRc) << "operation fails";
    const std::wstring sError = LastError(pPlugin);
    EXPECT_TRUE(!sError.empty() && sError != L"No error") << "last error gives the reason";
    EXPECT_EQ(channel.LastErrorMessage(), sError) << "log callback got the last error at level 3";
}

std::wstring LastError(void* pPlugin)
{
    std::wstring s;
    Slot<GetTextFn>(pPlugin, kGetLastErrorMsg)(pPlugin, s);
    return s;
}

void CheckFreshPlugin(void* pPlugin)
{
    SCOPED_TRACE("new CRPL object");
    CheckLastErrorEverywhere(pPlugin, L"No error");
    for (int iSlot : kUnusedSlots) {
        SCOPED_TRACE("slot " + std::to_string(iSlot));
        EXPECT_TRUE(Slot<NoArgFn>(pPlugin, iSlot)(pPlugin)) << "unused slot answers true";
    }
    const struct {
        int iCapability;
        bool bWant;
    } capabilities[] = {{1, false}, {2, false}, {3, true},   {4, false}, {5, false},
                        {6, false}, {0, false}, {-1, false}, {7, false}};
    for (const auto& c : capabilities) {
        SCOPED_TRACE("HasCapability(" + std::to_string(c.iCapability) + ")");
        bool bGot = Slot<HasCapabilityFn>(pPlugin, kHasCapability)(pPlugin, c.iCapability);
        EXPECT_EQ(bGot, c.bWant) << "answer";
    }
}

void CheckProperties(void* pPlugin)
{
    unsigned uiRc = 0;
    const std::wstring sBanner = Property(pPlugin, 1, L"", uiRc);
    const std::wstring sVersion = Property(pPlugin, 2, L"", uiRc);
    EXPECT_EQ(sBanner.rfind(kBanner, 0), 0u) << "property 1 is the banner";
    EXPECT_TRUE(sVersion.find(L" (build ") != std::wstring::npos) << "property 2 is the version";
    for (size_t n : kLengths) {
        SCOPED_TRACE("GetModuleProperty into a " + LengthName(n));
        EXPECT_EQ(Property(pPlugin, 1, Pattern(n, 1), uiRc), sBanner) << "property 1";
        EXPECT_EQ(uiRc, 0) << "property 1 answers 0";
        EXPECT_EQ(Property(pPlugin, 2, Pattern(n, 2), uiRc), sVersion) << "property 2";
        EXPECT_EQ(uiRc, 0) << "property 2 answers 0";
        const std::wstring s3 = Property(pPlugin, 3, Pattern(n, 3), uiRc);
        EXPECT_EQ(s3, Pattern(n, 3)) << "property 3 leaves the host's text";
        EXPECT_TRUE(Terminated(s3)) << "the host's text still ends with a NUL";
        EXPECT_EQ(uiRc, 1) << "property 3 answers 1";
    }
}

void CheckOperationsFailBeforeInit(void* pPlugin, void* pCredentials, HostChannel& channel)
{
    SCOPED_TRACE("before Init");
    {
        SCOPED_TRACE("Init with credentials that name no server");
        channel.messages.clear();
        bool bRc = Slot<InitFn>(pPlugin, kInit)(pPlugin, pCredentials);
        CheckFailureReported(pPlugin, bRc, channel);
        CheckLastErrorEverywhere(pPlugin, LastError(pPlugin));
    }
    {
        SCOPED_TRACE("GetFilespaceList into 1000 host records");
        FileSpaceList list = Prefilled(1000);
        const FileSpace* pData = list.data();
        channel.messages.clear();
        bool bRc = Slot<ListFn>(pPlugin, kGetFilespaceList)(pPlugin, &list);
        CheckFailureReported(pPlugin, bRc, channel);
        EXPECT_TRUE(list.data() == pData) << "the host's vector keeps its buffer";
        CheckPrefilled(list, 1000);
    }
    CheckRestoreRefusesHostNames(pPlugin, channel);
    CheckNoArgFails(pPlugin, kPrepareSystem, "PrepareSystem", channel);
    CheckNoArgFails(pPlugin, kCheckSystemState, "CheckSystemState", channel);
    SCOPED_TRACE("Fini(true)");
    EXPECT_TRUE(Slot<FiniFn>(pPlugin, kFini)(pPlugin, true)) << "Fini answers true";
    CheckLastErrorEverywhere(pPlugin, L"No error");
}

} // namespace abi
