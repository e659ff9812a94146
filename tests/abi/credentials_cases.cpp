#include "credentials/cvex_credentials.h"
#include "tests/abi/abi_host.h"

#include <cstring>

using namespace rawabi;

namespace abi
{

namespace
{

// Answers naming the sandbox's server "localhost" and the store's client.
const char kSessionAnswers[] = "[QernBackupLocation]\r\nServerName=localhost\r\nServerIPAddress=127.0.0.1\r\n"
                               "ClientName=winclient1\r\nClientIPAddress=192.168.10.7\r\n"
                               "ClientSubnetPrefixLength=24\r\nClientDefaultGateway=192.168.10.1\r\n";

std::wstring WriteAnswerFile(const std::wstring& sFolder, const wchar_t* pName, const char* pText)
{
    const std::wstring sPath = sFolder + pName;
    HANDLE h = CreateFileW(sPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD dwWritten = 0;
    bool bOk =
        h != INVALID_HANDLE_VALUE && WriteFile(h, pText, static_cast<DWORD>(std::strlen(pText)), &dwWritten, nullptr);
    if (h != INVALID_HANDLE_VALUE)
        CloseHandle(h);
    EXPECT_TRUE(bOk) << "answer file written";
    return sPath;
}

// The object's data members, read and written by the host's own standard library, as a host that
// compiles the class's declaration does.
CvexCredentials& Fields(void* pCredentials)
{
    return *static_cast<CvexCredentials*>(pCredentials);
}

struct Operators {
    AssignFn assign;
    CompareFn equal;
    CompareFn unequal;
};

void CheckComparisons(const Operators& ops, void* a, void* b, bool bWantEqual)
{
    EXPECT_EQ(ops.equal(a, b), bWantEqual) << "a == b";
    EXPECT_EQ(ops.equal(b, a), bWantEqual) << "b == a";
    EXPECT_EQ(ops.unequal(a, b), !bWantEqual) << "a != b";
}

// a's names set by the host, copied into b by the module, then changed and taken back by the host.
void CheckCopyOfLength(const Operators& ops, void* a, void* b, size_t n)
{
    SCOPED_TRACE("names of " + std::to_string(n) + " chars");
    Fields(a).m_sServerName.assign(Pattern(n, 1));
    Fields(a).m_sClientName.assign(Pattern(n, 2));
    EXPECT_TRUE(ops.assign(b, a) == b) << "operator= returns its object";
    EXPECT_EQ(Fields(b).m_sServerName, Pattern(n, 1)) << "copied server name";
    EXPECT_EQ(Fields(b).m_sClientName, Pattern(n, 2)) << "copied client name";
    EXPECT_EQ(Fields(a).m_sServerName, Pattern(n, 1)) << "source server name";
    EXPECT_EQ(Fields(b).m_sProduct, L"QERN") << "operator= keeps the product";
    CheckComparisons(ops, a, b, true);
    Fields(b).m_sClientName.push_back(L'!');
    CheckComparisons(ops, a, b, false);
    std::wstring sTaken;
    sTaken.swap(Fields(b).m_sServerName); // the module's buffer is now the host's to free
    EXPECT_EQ(sTaken, Pattern(n, 1)) << "server name taken over by the host";
}

void CheckAnswerFileRoundTrip(const Operators& ops, void* a, void* b, const std::wstring& sFolder)
{
    SCOPED_TRACE("answer file slots");
    const std::wstring sAnswers = WriteAnswerFile(sFolder, L"abi_answers.ini", kSessionAnswers);
    EXPECT_TRUE(Slot<PathFn>(a, kGetCredentialsFromAnsFile)(a, sAnswers) && Slot<NoArgFn>(a, kCheck)(a)) << "loaded";
    const std::wstring sStored = sFolder + L"abi_stored.ini";
    DeleteFileW(sStored.c_str());
    EXPECT_TRUE(Slot<PathFn>(a, kSetAnsFileFromCredentials)(a, sStored)) << "stored";
    EXPECT_TRUE(Slot<PathFn>(b, kGetCredentialsFromAnsFile)(b, sStored)) << "loaded back";
    CheckComparisons(ops, a, b, true);
    Slot<VoidFn>(b, kSetDefaults)(b);
    EXPECT_TRUE(Fields(b).m_sServerName.empty() && Fields(b).m_sClientName.empty()) << "defaults clear the names";
    CheckComparisons(ops, a, b, false);
    DeleteFileW(sAnswers.c_str());
    DeleteFileW(sStored.c_str());
}

void Delete(void* pObject)
{
    EXPECT_TRUE(Slot<DeletingDtorFn>(pObject, kCredDestructor)(pObject, 1) == pObject)
        << "deleting destructor returns the object";
}

} // namespace

void CheckCopiesAndComparisons(HMODULE hModule, FactoryFn credentialsFactory, const std::wstring& sFolder)
{
    SCOPED_TRACE("CvexCredentials");
    const Operators ops = {Export<AssignFn>(hModule, kCredentialsAssign), Export<CompareFn>(hModule, kCredentialsEqual),
                           Export<CompareFn>(hModule, kCredentialsUnequal)};
    ASSERT_TRUE(ops.assign && ops.equal && ops.unequal) << "exported operators found";
    void* a = credentialsFactory();
    void* b = credentialsFactory();
    ASSERT_TRUE(a && b) << "CredentialsFactory gives objects";
    CheckAnswerFileRoundTrip(ops, a, b, sFolder);
    for (size_t n : kLengths)
        CheckCopyOfLength(ops, a, b, n);
    Delete(a);
    Delete(b);
}

void CheckInitTakesHostNames(void* pPlugin, FactoryFn credentialsFactory, HostChannel& channel)
{
    for (size_t n : kLengths) {
        SCOPED_TRACE("Init with a server name of " + std::to_string(n) + " chars and no client name");
        void* pCredentials = credentialsFactory();
        Fields(pCredentials).m_sServerName.assign(Pattern(n, 4));
        channel.messages.clear();
        CheckFailureReported(pPlugin, Slot<InitFn>(pPlugin, kInit)(pPlugin, pCredentials), channel);
        EXPECT_EQ(Fields(pCredentials).m_sServerName, Pattern(n, 4)) << "the host's name is unchanged";
        Delete(pCredentials); // the module frees the name the host allocated
    }
}

} // namespace abi
