// What the client tests inside a sandbox machine share: the client folder, a look at the
// running processes that does not go through the code under test, and a fixture that leaves
// no client tool running and no client registration behind.
#pragma once
#include "support/win.h"
#include "tests/common/test_util.h"
#include "tests/init/client_impl.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace sandbox
{

extern const wchar_t kNsr[]; // "X:\PROGRA~1\Legato\nsr\"
extern const wchar_t kBin[]; // "X:\PROGRA~1\Legato\nsr\bin\"

using testutil::ProcessesNamed;
// Running processes of any of the six client tools.
std::vector<DWORD> RunningClientTools();
// Waits until exactly n processes of that name run; false after the time-out.
bool WaitForCount(const std::wstring& sName, size_t n, DWORD dwTimeoutMs = 10000);
void EndProcesses(const std::vector<DWORD>& ids);

bool IsFolder(const std::wstring& sPath);
bool KeyExists(const std::wstring& sKey); // below HKEY_LOCAL_MACHINE
std::wstring ReadString(const std::wstring& sKey, const wchar_t* pName);
// Sets a string value below HKEY_LOCAL_MACHINE, making the key; a null value removes it.
void SetString(const std::wstring& sKey, const wchar_t* pName, const wchar_t* pValue);
void DeleteTree(const std::wstring& sKey);

// Puts client tools of a variant built beside this one (e.g. "bin-7.4", "bin-x86") in the
// machine's bin folder: every tool, or the one named.
bool UseTools(const std::wstring& sVariant, const wchar_t* pOnly = nullptr);

// Starts a copy of the daemon outside the module, the way an earlier session would have left one.
bool StartDaemonCopy(const std::wstring& sProgram);

} // namespace sandbox

class ClientSandbox : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;
    ClientImpl impl;
};
