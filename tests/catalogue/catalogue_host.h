// The host's side of the catalogue tests inside a sandbox machine: CVEX.DLL loaded by name and
// driven through its exports, the answers of the host's callbacks, and the machine's knobs
// (backup store, client tools, fault knobs of the simulated tools).
#pragma once
#include "catalogue/catalogue_types.h"
#include "credentials/crpl_credentials.h"
#include "plugin/crpl.h"

#include "tests/common/test_util.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace cataloguetest
{

extern const wchar_t kBin[];       // "X:\PROGRA~1\Legato\nsr\bin\"
extern const wchar_t kConfigDir[]; // the host's configuration folder
extern const wchar_t kResDir[];    // where the client keeps its imported certificate

using Message = testutil::HostMessage;

// One expected filespace record: time is day of March 2021, hour and minute.
struct ExpectedFilespace {
    const wchar_t* pName;
    wchar_t wcLetter;
    unsigned long ulFlags;
    const wchar_t* pFsType;
    int iDay, iHour, iMinute;
};
// One expected system-state entry, at a day of March 2021, hour and minute.
struct ExpectedEntry {
    unsigned eType;
    int iDay, iHour, iMinute;
};

// The stores built for these tests, one per shape ("standard", "nmm-74", ...).
std::wstring StoreFolder(const std::wstring& sShape);
// The file as the backup store holds it: the object sPath ("C:\QERNCFG\NWCert") of the newest
// saveset named sSaveset saved on or before the day of March 2021 (0: any day).
std::string StoreFile(const std::wstring& sShape, const std::wstring& sSaveset, const std::wstring& sPath, int iDay);
std::string FileBytes(const std::wstring& sPath);

} // namespace cataloguetest

class CatalogueHost : public ::testing::Test
{
protected:
    static void SetUpTestSuite();
    void SetUp() override;
    void TearDown() override;

    // The simulated tools use this store from their next run on.
    void UseStore(const std::wstring& sShape);
    // Copies the client tools of a variant ("bin", "bin-8.2") over those of the machine.
    void UseTools(const std::wstring& sVariant);
    // Replaces the fault knobs of the simulated tools (none for an empty list).
    void SetFaults(const std::vector<std::wstring>& faults);
    // Init with the sample credentials; sPit is an answer-file point in time "DD/MM/YYYY HH:MM:SS".
    bool Init(const std::wstring& sPit = L"");
    bool List();
    std::wstring LastError();
    std::wstring Text(unsigned uiId);
    // The messages since the last call to Init or List.
    std::vector<unsigned> MessageIds();
    bool Logged(unsigned uiId, unsigned uiLevel);
    const std::vector<SystemStateEntry>& SystemState();
    // What the plug-in added to its trace since the test began.
    std::wstring NewTrace();

    void ExpectFilespaces(const std::vector<cataloguetest::ExpectedFilespace>& expected);
    void ExpectSystemState(const std::vector<cataloguetest::ExpectedEntry>& expected);
    // The four configuration items in the host's folder are those of the store; the certificate
    // and key were imported.
    void ExpectConfigurationFrom(const std::wstring& sShape, int iDay);

    static HMODULE s_hDll;
    CRPL* m_pPlugin = nullptr;
    CrplCredentials* m_pCredentials = nullptr;
    FileSpaceList m_list;
    std::vector<cataloguetest::Message> m_messages;
    size_t m_nTraceAt = 0;
    unsigned m_uiAbortAnswer = 0; // the answer to heartbeats
    bool m_bToolsChanged = false; // the machine's own tools are put back at the end

private:
    void CopyTools(const std::wstring& sVariant);
    static int Log(unsigned uiLevel, const wchar_t* pText, void* pContext);
    static unsigned Progress(ProgressRecord* pRecord, void* pContext);
};
