// The host's side of every test inside a sandbox machine: CVEX.DLL loaded by name and driven
// through its exports, what the host's callbacks were given (messages, progress records) and what
// they answered (passwords, an abort at the n-th record of a kind), the machine's knobs (store,
// client tools, fault and server knobs of the simulated tools), the trace since the test began,
// the files of the backup store, and a restored drive compared with the store by its verifier.
//
// A program using it is built with CVEX_SANDBOX_STORES (the Linux folder of its stores) and
// CVEX_STORE_VERIFIER (tests/restore/verify_in_sandbox.py).
#pragma once
#include "catalogue/catalogue_types.h"
#include "credentials/crpl_credentials.h"
#include "hostapi/host_types.h"
#include "plugin/crpl.h"

#include "tests/common/test_util.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <utility>
#include <vector>

class CVEXImpl;

namespace sandboxtest
{

extern const wchar_t kBin[];       // the client tools: "X:\PROGRA~1\Legato\nsr\bin\"
extern const wchar_t kConfigDir[]; // the host's configuration folder
extern const wchar_t kResDir[];    // where the client keeps its imported certificate

using Message = testutil::HostMessage;

// What one progress record said when it arrived.
struct Record {
    unsigned uiKind;
    std::wstring sText1, sText5;
    wchar_t wcDriveLetter;
    unsigned uiFilesRestored, uiTotalFiles;
    unsigned long long ullCurrentSize, ullTotalBytes;
};

inline Record RecordOf(const ProgressRecord& r)
{
    return {r.uiKind,          r.sText1,       r.sText5,         r.wcDriveLetter,
            r.uiFilesRestored, r.uiTotalFiles, r.ullCurrentSize, r.ullTotalBytes};
}

// Objects and bytes of a saveset as the store's digests list them.
struct StoreTotals {
    unsigned uiObjects = 0;
    unsigned uiFolders = 0;
    unsigned long long ullBytes = 0;
    unsigned long long ullLargest = 0; // the largest file
};

// The store's folder as the machine sees it ("Z:\...").
std::wstring StoreFolder(const std::wstring& sStore);
// The SSID of the newest saveset of that name saved not after sNotAfter ("YYYY-MM-DD HH:MM:SS",
// empty: any); empty when there is none.
std::wstring SsidOf(const std::wstring& sStore, const std::wstring& sSaveset, const std::wstring& sNotAfter = L"");
StoreTotals TotalsOf(const std::wstring& sStore, const std::wstring& sSaveset, const std::wstring& sNotAfter = L"");
// The bytes of the object sPath ("C:\QERNCFG\NWCert") in that saveset; "<no saveset>" when none.
std::string StoreFile(const std::wstring& sStore, const std::wstring& sSaveset, const std::wstring& sPath,
                      const std::wstring& sNotAfter = L"");
std::string FileBytes(const std::wstring& sPath);
// The kinds of the records in order, runs of one kind shown once ("1 7 1 2 4"); heartbeats and
// password requests, which come at any time, left out unless asked for.
std::wstring KindSequence(const std::vector<Record>& records, bool bAll = false);

} // namespace sandboxtest

// The names the fault programs knew it by.
namespace restoretest = sandboxtest;

class SandboxHost : public ::testing::Test
{
protected:
    static void SetUpTestSuite();
    void SetUp() override;
    void TearDown() override;

    // The machine's knobs; each holds until it is set again or the test ends.
    void UseStore(const std::wstring& sStore);
    // Replaces the client tools by a variant of the simulator's build ("bin-8.2", ...); Fini first.
    void UseTools(const std::wstring& sVariant);
    void SetFaults(const std::vector<std::wstring>& faults);
    void SetServerKnobs(const std::vector<std::pair<std::wstring, std::wstring>>& knobs);
    // Any other key of the simulated tools' settings (null value: removed at once and at the end).
    void SetKnob(const wchar_t* pSection, const wchar_t* pKey, const wchar_t* pValue);

    // The exports, each recording its messages and progress afresh. Init takes the sample
    // credentials; sPit is an answer-file point in time "DD/MM/YYYY HH:MM:SS".
    bool Init(const std::wstring& sPit = L"");
    bool List();
    bool Restore(FileSpace fs);
    bool Restore(const std::wstring& sName) { return Restore(Listed(sName)); }
    bool PrepareSystem();
    bool CheckSystemState();
    // The listed filespace of that name; fails the test when there is none.
    FileSpace Listed(const std::wstring& sName);
    // Restores every listed filespace whose drive the machine has; false at the first failure.
    bool RestoreFilespaces();
    CVEXImpl& Impl();
    const std::vector<SystemStateEntry>& SystemState();

    // What the host was told: messages as ids of the DLL's table (0: none of it).
    std::wstring LastError();
    unsigned LastErrorId();
    std::wstring Text(unsigned uiId);
    // The id of the DLL's message a text is (0: none).
    static unsigned IdOf(const std::wstring& sText);
    // The last error is the message of that id, naming each of the parts.
    void ExpectLastError(unsigned uiId, const std::vector<std::wstring>& parts = {});
    std::vector<unsigned> MessageIds();
    std::vector<unsigned> ErrorIds();
    bool Logged(unsigned uiId, unsigned uiLevel);
    // Whether a message of that id named sPart in its text.
    bool LoggedNaming(unsigned uiId, const std::wstring& sPart);
    std::vector<const sandboxtest::Record*> RecordsOfKind(unsigned uiKind);
    // The first progress record of each component, in order: its title.
    std::vector<std::wstring> ComponentTitles();
    // The host answers "abort" at the n-th record of that kind from the next operation on (0: never).
    void AbortAt(unsigned uiKind, unsigned uiNth);

    // What the plug-in traced since SetUp or the last MarkTrace.
    std::wstring NewTrace();
    void MarkTrace();
    std::vector<std::wstring> DumpLines();

    bool NoRecoverRunning();
    bool NoToolRunning();
    // Remembers what is on drive C: now, so that a later check of C: leaves Wine's files out.
    void SnapshotWineC();
    // The store's verifier over a drive, or over the system state on drives "W,D,S"; the
    // verifier's output when it fails, empty when it passes.
    std::wstring VerifyDrive(wchar_t wcLetter, const std::vector<std::wstring>& options = {});
    std::wstring VerifySystemState(const std::wstring& sLetters, const std::vector<std::wstring>& options = {});
    std::wstring RunStoreVerifier(const std::vector<std::wstring>& verifierArgs, bool bWineC = false);
    static std::wstring LinuxDriveFolder(wchar_t wcLetter);
    // Removes what a restore left on a drive (its root stays, and the mount point folders).
    void ClearDrive(wchar_t wcLetter);
    // Names (lower case) below Wine's own Windows folder, to prove that nothing there changed.
    static std::vector<std::wstring> WineWindowsFiles();

    static HMODULE s_hDll;
    CRPL* m_pPlugin = nullptr;
    CrplCredentials* m_pCredentials = nullptr;
    FileSpaceList m_list;
    std::wstring m_sStore = L"standard";
    std::vector<sandboxtest::Message> m_messages;
    std::vector<sandboxtest::Record> m_records;
    std::deque<std::wstring> m_passwords; // answers to password requests, in turn; then none
    unsigned m_uiPasswordRequests = 0;
    unsigned m_uiAbortKind = 0, m_uiAbortNth = 0, m_uiAbortSeen = 0;
    bool m_bWineCSnapshot = false;
    bool m_bToolsChanged = false;
    std::vector<std::pair<std::wstring, std::wstring>> m_knobsSet; // section, key
    size_t m_nTraceAt = 0;
    std::wstring m_sNetWorkerTrace; // the groups of tool dialogue the module traces (empty: its default)

private:
    static int Log(unsigned uiLevel, const wchar_t* pText, void* pContext);
    static unsigned Progress(ProgressRecord* pRecord, void* pContext);
};

#define EXPECT_VERIFIED(letter, ...)                                                                                   \
    do {                                                                                                               \
        std::wstring sVerdict = VerifyDrive(letter, ##__VA_ARGS__);                                                    \
        EXPECT_TRUE(sVerdict.empty()) << testing::PrintToString(sVerdict);                                             \
    } while (0)

#define EXPECT_SYSTEM_VERIFIED(letters, ...)                                                                           \
    do {                                                                                                               \
        std::wstring sVerdict = VerifySystemState(letters, ##__VA_ARGS__);                                             \
        EXPECT_TRUE(sVerdict.empty()) << testing::PrintToString(sVerdict);                                             \
    } while (0)
