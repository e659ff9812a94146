// The ABI test host: loads CVEX.DLL from its own folder and drives it only through GetProcAddress
// and the raw virtual tables of the objects it hands out, as a host built by another compiler does.
// Every slot and exported member is called without a NetWorker server.
#include "tests/abi/abi_host.h"

#include <gtest/gtest.h>

using namespace abi;
using namespace rawabi;

namespace
{

std::wstring ProgramFolder()
{
    wchar_t wsz[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, wsz, MAX_PATH);
    std::wstring s = wsz;
    return s.substr(0, s.find_last_of(L'\\') + 1);
}

std::wstring TempFolder()
{
    wchar_t wsz[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, wsz);
    return wsz;
}

// The object's table lies in the module's read-only data, names the expected type, and every slot
// points into the module's code.
void CheckObjectTable(HMODULE hModule, const void* pObject, int nSlots, const char* pType)
{
    SCOPED_TRACE(std::string("virtual table of ") + pType);
    void* const* pVtable = VtableOf(pObject);
    EXPECT_TRUE(RegionOf(hModule, pVtable) == Region::ReadOnlyData) << "in read-only data";
    EXPECT_TRUE(RttiNameOfVtable(hModule, pVtable) == pType) << "type of the table";
    for (int i = 0; i < nSlots; ++i) {
        SCOPED_TRACE("slot " + std::to_string(i));
        EXPECT_TRUE(RegionOf(hModule, pVtable[i]) == Region::Code) << "points into code";
    }
}

void Delete(void* pObject, const char* pWhat)
{
    SCOPED_TRACE(pWhat);
    EXPECT_TRUE(Slot<DeletingDtorFn>(pObject, kDestructor)(pObject, 1) == pObject)
        << "deleting destructor returns the object";
}

void RunWithoutServer(HMODULE hModule, void* pPlugin, void* pCredentials, FactoryFn credentialsFactory,
                      HostChannel& channel)
{
    CheckFreshPlugin(pPlugin);
    CheckProperties(pPlugin);
    CheckCopiesAndComparisons(hModule, credentialsFactory, TempFolder());
    CheckOperationsFailBeforeInit(pPlugin, pCredentials, channel);
    CheckInitTakesHostNames(pPlugin, credentialsFactory, channel);
    CheckExportedVtable(hModule, pPlugin);
    CheckCopies(hModule, pPlugin);
}

} // namespace

TEST(AbiHost, EverySlotAndExportedMemberWithoutAServer)
{
    HMODULE hModule = LoadLibraryW((ProgramFolder() + L"CVEX.DLL").c_str());
    ASSERT_TRUE(hModule != nullptr) << "CVEX.DLL loads from the program's folder";
    auto factory = Export<FactoryFn>(hModule, "Factory");
    auto credentialsFactory = Export<FactoryFn>(hModule, "CredentialsFactory");
    ASSERT_TRUE(factory && credentialsFactory) << "factories exported";
    void* pPlugin = factory();
    void* pCredentials = credentialsFactory();
    ASSERT_TRUE(pPlugin && pCredentials) << "factories give objects";
    CheckObjectTable(hModule, pPlugin, kCrplSlots, ".?AVCVEX@@");
    CheckObjectTable(hModule, pCredentials, kCredentialsSlots, ".?AVCvexCredentials@@");
    HostChannel channel;
    channel.Attach(pPlugin);
    RunWithoutServer(hModule, pPlugin, pCredentials, credentialsFactory, channel);
    Delete(pPlugin, "CRPL object");
    Delete(pCredentials, "credentials object");
    EXPECT_EQ(BadContextCalls(), 0) << "callbacks with another context than the host's";
    EXPECT_TRUE(FreeLibrary(hModule) != FALSE);
    EXPECT_TRUE(GetModuleHandleW(L"CVEX.DLL") == nullptr) << "the module unloads";
}

int wmain(int argc, wchar_t** argv)
{
    FreeConsole(); // a console inherited from a Linux shell takes no key events
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
