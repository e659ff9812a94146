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
        Scope scope("GetLastErrorMsg into a " + LengthName(n));
        std::wstring s = Pattern(n, 3);
        Slot<GetTextFn>(pPlugin, kGetLastErrorMsg)(pPlugin, s);
        Equal(s, sWant, "last error");
        True(Terminated(s), "text ends with a NUL");
    }
}

void CheckRestoreRefusesHostNames(void* pPlugin, HostChannel& channel)
{
    for (size_t n : kLengths) {
        Scope scope("RestoreFilespace of a name of " + std::to_string(n) + " chars");
        FileSpace fs = MakeFileSpace(n, 5);
        channel.messages.clear();
        bool bRc = Slot<RestoreFn>(pPlugin, kRestoreFilespace)(pPlugin, &fs);
        CheckFailureReported(pPlugin, bRc, channel);
        True(Same(fs, MakeFileSpace(n, 5)), "the host's record is unchanged");
    }
}

void CheckNoArgFails(void* pPlugin, int iSlot, const char* pName, HostChannel& channel)
{
    Scope scope(pName);
    channel.messages.clear();
    CheckFailureReported(pPlugin, Slot<NoArgFn>(pPlugin, iSlot)(pPlugin), channel);
}

} // namespace

void CheckFailureReported(void* pPlugin, bool bRc, const HostChannel& channel)
{
    True(!bRc, "operation fails");
    const std::wstring sError = LastError(pPlugin);
    IsReason(sError, "last error gives the reason");
    Equal(channel.LastErrorMessage(), sError, "log callback got the last error at level 3");
}

std::wstring LastError(void* pPlugin)
{
    std::wstring s;
    Slot<GetTextFn>(pPlugin, kGetLastErrorMsg)(pPlugin, s);
    return s;
}

void CheckFreshPlugin(void* pPlugin)
{
    Scope scope("new CRPL object");
    CheckLastErrorEverywhere(pPlugin, L"No error");
    for (int iSlot : kUnusedSlots) {
        Scope slot("slot " + std::to_string(iSlot));
        True(Slot<NoArgFn>(pPlugin, iSlot)(pPlugin), "unused slot answers true");
    }
    const struct {
        int iCapability;
        bool bWant;
    } capabilities[] = {{1, false}, {2, false}, {3, true},   {4, false}, {5, false},
                        {6, false}, {0, false}, {-1, false}, {7, false}};
    for (const auto& c : capabilities) {
        Scope slot("HasCapability(" + std::to_string(c.iCapability) + ")");
        bool bGot = Slot<HasCapabilityFn>(pPlugin, kHasCapability)(pPlugin, c.iCapability);
        Equal(bGot, c.bWant, "answer");
    }
}

void CheckProperties(void* pPlugin)
{
    unsigned uiRc = 0;
    const std::wstring sBanner = Property(pPlugin, 1, L"", uiRc);
    const std::wstring sVersion = Property(pPlugin, 2, L"", uiRc);
    StartsWith(sBanner, kBanner, "property 1 is the banner");
    True(sVersion.find(L" (build ") != std::wstring::npos, "property 2 is the version");
    for (size_t n : kLengths) {
        Scope scope("GetModuleProperty into a " + LengthName(n));
        Equal(Property(pPlugin, 1, Pattern(n, 1), uiRc), sBanner, "property 1");
        Equal(uiRc, 0, "property 1 answers 0");
        Equal(Property(pPlugin, 2, Pattern(n, 2), uiRc), sVersion, "property 2");
        Equal(uiRc, 0, "property 2 answers 0");
        const std::wstring s3 = Property(pPlugin, 3, Pattern(n, 3), uiRc);
        Equal(s3, Pattern(n, 3), "property 3 leaves the host's text");
        True(Terminated(s3), "the host's text still ends with a NUL");
        Equal(uiRc, 1, "property 3 answers 1");
    }
}

void CheckOperationsFailBeforeInit(void* pPlugin, void* pCredentials, HostChannel& channel)
{
    Scope scope("before Init");
    {
        Scope op("Init with credentials that name no server");
        channel.messages.clear();
        bool bRc = Slot<InitFn>(pPlugin, kInit)(pPlugin, pCredentials);
        CheckFailureReported(pPlugin, bRc, channel);
        CheckLastErrorEverywhere(pPlugin, LastError(pPlugin));
    }
    {
        Scope op("GetFilespaceList into 1000 host records");
        FileSpaceList list = Prefilled(1000);
        const FileSpace* pData = list.data();
        channel.messages.clear();
        bool bRc = Slot<ListFn>(pPlugin, kGetFilespaceList)(pPlugin, &list);
        CheckFailureReported(pPlugin, bRc, channel);
        True(list.data() == pData, "the host's vector keeps its buffer");
        CheckPrefilled(list, 1000);
    }
    CheckRestoreRefusesHostNames(pPlugin, channel);
    CheckNoArgFails(pPlugin, kPrepareSystem, "PrepareSystem", channel);
    CheckNoArgFails(pPlugin, kCheckSystemState, "CheckSystemState", channel);
    Scope op("Fini(true)");
    True(Slot<FiniFn>(pPlugin, kFini)(pPlugin, true), "Fini answers true");
    CheckLastErrorEverywhere(pPlugin, L"No error");
}

} // namespace abi
