// The host's side of the filespace-restore tests inside a sandbox machine: CVEX.DLL loaded by
// name, the progress records and messages it sends, the host's answers (passwords, an abort at
// an object), the machine's knobs (store, fault knobs, server drops), and the comparison of a
// restored drive with the backup store by the store's own verifier.
#pragma once
#include "credentials/crpl_credentials.h"
#include "plugin/crpl.h"

#include "tests/common/test_util.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

namespace restoretest
{

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

std::wstring StoreFolder(const std::wstring& sStore);
// The store's saveset of that name, the newest saved on or before the time (empty: any).
StoreTotals TotalsOf(const std::wstring& sStore, const std::wstring& sSaveset, const std::wstring& sNotAfter = L"");
// The kinds of the records in order, runs of one kind shown once ("1 7 1 2 4"); heartbeats and
// password requests, which come at any time, left out unless asked for.
std::wstring KindSequence(const std::vector<Record>& records, bool bAll = false);

} // namespace restoretest

class RestoreHost : public ::testing::Test
{
protected:
    static void SetUpTestSuite();
    void SetUp() override;
    void TearDown() override;

    void UseStore(const std::wstring& sStore);
    void SetFaults(const std::vector<std::wstring>& faults);
    // [server] knobs of the simulated server (none for an empty list of key=value).
    void SetServerKnobs(const std::vector<std::pair<std::wstring, std::wstring>>& knobs);
    bool Init(const std::wstring& sPit = L"");
    bool List();
    // The listed filespace of that name; fails the test when there is none.
    FileSpace Listed(const std::wstring& sName);
    // Restores a filespace, recording its messages and progress afresh.
    bool Restore(FileSpace fs);
    bool Restore(const std::wstring& sName) { return Restore(Listed(sName)); }

    std::wstring LastError();
    std::wstring Text(unsigned uiId);
    std::vector<unsigned> MessageIds();
    bool Logged(unsigned uiId, unsigned uiLevel);
    std::vector<const restoretest::Record*> RecordsOfKind(unsigned uiKind);
    bool NoRecoverRunning();

    // Remembers what is on drive C: now, so that a later check of C: leaves Wine's files out.
    void SnapshotWineC();
    // Runs the store's verifier on a drive; the output when it fails, empty when it passes.
    std::wstring VerifyDrive(wchar_t wcLetter, const std::vector<std::wstring>& options = {});
    // Runs the store's verifier with these arguments (after --store); the output when it fails.
    std::wstring RunStoreVerifier(const std::vector<std::wstring>& verifierArgs, bool bWineC = false);
    // The Linux folder behind a drive letter of the machine.
    static std::wstring LinuxDriveFolder(wchar_t wcLetter);
    // Removes what a restore left on a drive (its root stays, and the mount point folders).
    void ClearDrive(wchar_t wcLetter);

    static HMODULE s_hDll;
    CRPL* m_pPlugin = nullptr;
    CrplCredentials* m_pCredentials = nullptr;
    FileSpaceList m_list;
    std::wstring m_sStore = L"standard";
    std::vector<restoretest::Message> m_messages;
    std::vector<restoretest::Record> m_records;
    std::deque<std::wstring> m_passwords; // answers to password requests, in turn; then none
    unsigned m_uiPasswordRequests = 0;
    unsigned m_uiAbortAtObject = 0; // the host aborts at the record of that restored object
    bool m_bWineCSnapshot = false;

private:
    static int Log(unsigned uiLevel, const wchar_t* pText, void* pContext);
    static unsigned Progress(ProgressRecord* pRecord, void* pContext);
};

#define EXPECT_VERIFIED(letter, ...)                                                                                   \
    do {                                                                                                               \
        std::wstring sVerdict = VerifyDrive(letter, ##__VA_ARGS__);                                                    \
        EXPECT_TRUE(sVerdict.empty()) << testing::PrintToString(sVerdict);                                             \
    } while (0)
