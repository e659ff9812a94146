// CVEXImpl: the object that does the module's work behind the CVEX facade.
#pragma once
#include "catalogue/catalogue_types.h"
#include "console/console_session.h"
#include "credentials/cvex_credentials.h"
#include "credentials/safe_text.h"
#include "plugin/crpl_impl.h"
#include "restore/file_list.h"
#include "support/handle.h"

#include <functional>
#include <string>
#include <vector>

class CrplCredentials;
class TraceScope;
struct FileInfo;
enum class RestoreLine;
struct DumpFacts;
namespace systemrules
{
struct ComponentRow;
}
namespace catalogue
{
enum class FetchResult;
}

// The engine reaches the host through the EngineHost side of this object; that base comes second,
// so the exported CRPLImpl part and its virtual table keep their layout.
class CVEXImpl : public CRPLImpl, private EngineHost
{
public:
    static const wchar_t kClientBinFolder[]; // "X:\PROGRA~1\Legato\nsr\bin"

    CVEXImpl();
    ~CVEXImpl() override;
    CVEXImpl(const CVEXImpl&) = delete;
    CVEXImpl& operator=(const CVEXImpl&) = delete;

    // Returns the object to its constructed state (construction and Fini(true)).
    void Reset();
    unsigned GetModuleProperty(unsigned uiId, std::wstring& sOut);

    bool Init(CrplCredentials* pCredentials);
    bool GetFilespaceList(FileSpaceList* pList);
    bool RestoreFilespace(FileSpace* pFileSpace);
    // Counts the objects and bytes of a filespace into the record (uiTotalFiles, ullTotalBytes),
    // sending a kind 7 record for each object; false when the count did not complete.
    bool CountFiles(ProgressRecord& progress, const std::wstring& sName);
    bool RestoreSystem();
    bool CheckSystemState();

    // The system-state restore (system/), component by component.
    bool RestoreVssSystemState(const std::wstring& sSaveset, const SYSTEMTIME& stBackupTime, DWORD dwCountGroup,
                               DWORD dwRestoreGroup, unsigned& uiFilesToRestore, unsigned& uiFilesRestored);
    bool CountVssSystemState(ProgressRecord& progress, const std::wstring& sSaveset, DWORD dwCountGroup);
    // The newest staging folder below <Windows letter>:\temp\nsr_recover, with a trailing
    // backslash; empty (and true) when there is none.
    bool GetTempDir(std::wstring& sDir);
    bool PreVssSystemBoot(velmora::unique_handle_null& hThread);
    bool PostVssSystemBoot(velmora::unique_handle_null& hThread);
    bool PostVssSystemFileset();
    bool RestoreNmmSaveset(const std::wstring& sTarget, const SYSTEMTIME& stBackupTime, unsigned& uiFilesToRestore,
                           unsigned& uiFilesRestored);
    bool CountNmmSaveset(const SsidInfo& info, ProgressRecord& progress);
    bool RestoreDisasterRecovery(const SYSTEMTIME& stBackupTime, unsigned& uiFilesToRestore, unsigned& uiFilesRestored);
    bool CountDisasterRecovery(const SsidInfo& info, ProgressRecord& progress);
    bool MoveRegistryFilesNSR();
    bool MoveRegistryFilesRepair();
    bool MoveSystemFiles();
    bool CopyBOOT();
    bool CopySYSTEM();
    void Dump();
    // Registry hive capture: a monitoring thread holds each hive file of the watched folder.
    static DWORD WINAPI ThreadMonitorDirectoryChanges(LPVOID pThreadArg);
    static bool ProcessDirectoryChange(const std::wstring& sDirectory);
    static bool GrabRegistryHives(const std::wstring& sDirectory, const WIN32_FIND_DATAW& data);
    static bool ReleaseRegistryHives();
    static unsigned HeldRegistryHives();
    static bool StartHiveCapture(const std::wstring& sDirectory, velmora::unique_handle_null& hThread);
    static void StopHiveCapture(velmora::unique_handle_null& hThread);
    // The hives of the table that are missing from the folder or empty there ("SAM missing",
    // "system empty"), in table order.
    static std::vector<std::wstring> MissingOrEmptyHives(const std::wstring& sFolder);
    // How ReleaseRegistryHives closes a held hive; tests make it fail. Null: CloseHandle.
    using CloseHiveFn = BOOL (*)(HANDLE hFile);
    static void SetHiveCloseForTesting(CloseHiveFn pfnClose);
    // TEMP and TMP as they were before the system-state restore pointed them at the Windows volume.
    void RestoreTempVariables();

    // Console engine (ConsoleSession): one NetWorker tool at a time in the module's private
    // hidden console. These forward to m_Console.
    bool RunCommand(const std::wstring& sCmd, bool bTrace);
    void Abort();
    bool Fini(bool bHardReset);
    bool ReadChar(unsigned char* c);
    bool GetLine(std::wstring& sLine, bool bTrace);
    // The last line GetLine gave is a piece of a line too long to be taken whole.
    bool LineWasPiece() const { return m_Console.LastLineWasPiece(); }
    bool CheckNetWorkerConnection4();
    bool CheckNetWorkerConnection6();
    bool SendResponse(const std::wstring& sResponse, bool bSecret);
    bool SimulateKeystroke(wchar_t wc, bool bKeyDown, INPUT_RECORD& record);
    bool ProvidePassword();
    bool IgnoreLine(const std::wstring& sLine);

    // NetWorker client software of the recovery environment.
    bool GetNetWorkerClientVersion(std::wstring& sVersion);
    bool GetNetWorkerClientFiles(const std::wstring& sPath, std::vector<FileInfo>& files);
    bool GetReleaseVersion(const FileInfo& file, std::wstring& sRelease, std::wstring& sVersion);
    bool CreateNsrDirs();
    bool SetNetWorkerClientEnv();
    // The client's execution daemon, its port ranges and its certificate.
    bool StartNsrExecDaemon();
    bool StopNsrExecDaemon();
    // Whether the daemon that StartNsrExecDaemon started is still running after a short, bounded
    // wait (one that cannot write its log folder ends at once); false when it has ended.
    bool StartedDaemonKeepsRunning(DWORD dwWaitMs);
    bool QueryPorts(const std::wstring& sHost);
    bool ImportCertAndPKeyFiles(const std::wstring& sCertFile, const std::wstring& sPKeyFile);

    // The NetWorker server's version, read with nsradmin.
    bool GetNetWorkerServerVersion(std::wstring& sVersion);

    // The saveset catalogue: the media database report, the filespace listing and the
    // configuration saved with the backup.
    bool ParseMminfo(const std::wstring& sLine, bool bTypePresent, std::vector<SystemStateEntry>& entries);
    void ParseMminfo(const std::wstring& sLine, const std::wstring& sTarget, std::vector<SsidInfo>& savesets);
    // The recovery client's media database report has a type column (not with 7.4 and 7.5).
    bool ReportHasTypeColumn() const;
    bool ParseDateTime3(const std::wstring& sDate, const std::wstring& sTime, struct tm& tm);
    bool ParseDateTime2(const std::wstring& sDate, const std::wstring& sTime, struct tm& tm);
    bool ParseSystemState(const std::wstring& sLine, SystemStateEntry& entry);
    bool ParseFilespace(const std::wstring& sLine, FileSpace& fs);
    bool CheckIfConfigFilespace(const std::wstring& sFilespace);
    bool GetConfig(const std::wstring& sConfigDir, const std::wstring& sFilespace);
    bool CopyConfig();
    bool GetBOOTandSYSTEM();
    bool RestoreQERNCFG();

    // Directory listings (appended to the list; true also when nothing matches). Reparse
    // points are neither listed nor walked into.
    bool GetFileList(const std::wstring& sBase, const std::wstring& sPattern, bool bSubfolders,
                     std::vector<FileListEntry>& files);
    bool GetDirList(const std::wstring& sBase, const std::wstring& sPattern, bool bSubfolders,
                    std::vector<std::wstring>& dirs);
    // The text after the first ":recover:" of a line (its leading blank kept), for message 169;
    // false, with the line copied into sText, when the line holds none. False for an empty line.
    static bool ParseRecoverMsg(const std::wstring& sLine, std::wstring& sText);
    // The size of one object line of recover's "list -l" (64 bits) into both current-size fields
    // of the record; false, the record untouched, for a line that is not one.
    static bool ParseFile(const std::wstring& sLine, ProgressRecord& progress);

    bool UserAborted() const { return m_Console.UserAborted(); }
    bool ConnectionLost() const { return m_Console.ConnectionLost(); }
    // Heartbeat period in 10 ms polls, Abort's closing pause and the monitoring thread's pause
    // after a password prompt; shortened only by tests.
    void SetEngineTimingForTesting(unsigned uiPollsPerHeartbeat, DWORD dwAbortPauseMs, DWORD dwPasswordPauseMs);
    // The engine itself, for tests that replace its seams.
    ConsoleSession& Console() { return m_Console; }

    // Read-only views for the reference host and tests.
    wchar_t WinSystemLetter() const { return m_wcWinSYSTEM; }
    wchar_t WinBootLetter() const { return m_wcWinBOOT; }
    wchar_t WinEfiLetter() const { return m_wcWinEFI; }
    const std::wstring& Password() const { return m_sPassword; }
    ConsoleHandles Handles() const { return m_Console.Handles(); }
    const std::wstring& MminfoPath() const { return m_sMminfoPath; }
    const std::wstring& RecoverPath() const { return m_sRecoverPath; }
    const std::wstring& NsradminPath() const { return m_sNsradminPath; }
    const std::wstring& NsrexecdPath() const { return m_sNsrexecdPath; }
    const std::wstring& NsrportsPath() const { return m_sNsrportsPath; }
    const std::wstring& NwinstcreatePath() const { return m_sNwinstcreatePath; }
    bool CopyBoot() const { return m_bCopyBOOT; }
    bool CopySystem() const { return m_bCopySYSTEM; }
    bool HasValidCredentials() const { return m_bValidCredentials; }
    const std::wstring& PointInTime() const { return m_sPointInTime; }
    const std::wstring& RecoverClientVersion() const { return m_sRecoverNetWorkerClientVersion; }
    const std::wstring& RecoverClientDir() const { return m_sRecoverNetWorkerClientDir; }
    const std::wstring& ServerVersion() const { return m_sRecoverNetWorkerServerVersion; }
    const std::wstring& CurrentDirectoryAtInit() const { return m_sCurrentDirectory; }
    const std::vector<SystemStateEntry>& SystemState() const { return m_SystemState; }
    const std::wstring& BootFilespace() const { return m_sBootFilespace; }
    const std::wstring& EfiFilespace() const { return m_sEFIFilespace; }
    const std::wstring& SystemFilespace() const { return m_sSystemFilespace; }
    const std::wstring& WinDir() const { return m_sWinDir; }
    const std::wstring& BackupClientVersion() const { return m_sBackupNetWorkerClientVersion; }
    bool IsEfi() const { return m_bEFI; }
    bool IsCore() const { return m_bIsCore; }
    bool Is64Bit() const { return m_bIs64Bit; }

    // The banner of property 1: "Velmora HALVO for NetWorker (CVEXImpl) created on <date> at <time>".
    static std::wstring Description();

    // True when the text may go into a tool's command line, a line typed at its prompt or the
    // hosts or servers file. Otherwise message 203 says what it is (pWhat: "server name") and
    // why it is refused, and nothing is run or changed with it.
    bool IsSafeText(const std::wstring& sText, safetext::Kind kind, const wchar_t* pWhat);

protected:
    // Refreshes the exported layout's mirrors of the session's handles.
    void MirrorConsole();
    // GetLine for a tool that is not expected to ask for a password. When it asks anyway, the
    // tool is ended, message 169 says so at uiLevel, and false is returned with bPasswordAsked
    // set: the caller then fails instead of waiting for an answer that never comes.
    bool GetLineNoPassword(std::wstring& sLine, bool bTrace, bool& bPasswordAsked, unsigned uiLevel = ML_ERROR);

    // Steps of Init (client/init*.cpp); each posts its own message when it fails.
    struct ConnectionTest {
        bool bRepeat = false;  // run recover again (a 7.4 client without a route yet)
        bool bFailed = false;  // a failure message was posted
        bool bSession = false; // recover opened its session
    };
    bool InitNameResolution(TraceScope& scope);
    void AcceptCredentials();
    bool InitRegistry(TraceScope& scope, const std::wstring& sHostname);
    bool InitNetworkSettings(TraceScope& scope);
    void ReadClientRegistration();
    bool InitCurrentDirectory(TraceScope& scope);
    bool ProveConnection(TraceScope& scope);
    bool DaemonEnded(TraceScope& scope);
    bool RunConnectionTest(TraceScope& scope, ConnectionTest& test);
    void NoteConnectionFailure(const std::wstring& sLine, ConnectionTest& test);
    bool WriteNsradminCommandFile(const std::wstring& sPath);
    // Steps of the filespace listing and the configuration fetch (catalogue/).
    void ForgetCatalogue();
    bool ListTopLevel(FileSpaceList& found);
    void ClassifyListingLine(const std::wstring& sLine, FileSpaceList& found);
    bool CheckForNmm(bool bTypePresent);
    bool FindAndFetchConfig(const FileSpaceList& found);
    // What the configuration check of one filespace found; Lost and Aborted say it could not tell.
    enum class ConfigCheck { Found, Absent, Lost, Aborted, Failed };
    ConfigCheck CheckConfigFilespace(const std::wstring& sFilespace);
    void MarkSystemVolumes(FileSpaceList& found);
    bool ImportSavedCertificate();
    bool FailConfig(const wchar_t* pFn, const wchar_t* pReason);
    bool PrepareConfigFolders(const std::wstring& sStaging);
    bool FetchConfigItems(const std::wstring& sStaging, const std::wstring& sSaveset);
    catalogue::FetchResult FetchConfigItem(const std::wstring& sStaging, const std::wstring& sPath);
    void ReadBackupClientVersion();
    bool EndedAfterAbortOrLoss(const wchar_t* pFn);
    bool AnswerPasswordRequest(const wchar_t* pFn);
    // Steps of the filespace restore (restore/).
    struct RestorePass {
        bool bFailed = false;              // a failure line was seen: the rest is read and ignored
        bool bPasswordFailed = false;      // a password could not be given: recover is ended
        bool bConnectionClosed = false;    // recover said its connection was closed
        bool bAbortAnswered = false;       // the host asked to abort in its answer to a record
        unsigned uiFileErrors = 0;         // per-file failures recover reported
        unsigned uiSessionLossMessage = 0; // recover said it had no session with the server
        bool bUnreadableLine = false;      // a line too long to be a path began with one
    };
    // One session of the count: what was sent and seen, and why its total cannot be trusted.
    struct CountSession;
    bool RunCount(TraceScope& scope, ProgressRecord& progress, const std::wstring& sName, CountSession& count);
    bool NoteCountLine(const std::wstring& sLine, const std::vector<std::wstring>& commands, ProgressRecord& progress,
                       CountSession& count);
    // Waits a little for the last tool to end and reads its exit code; false when it cannot.
    bool ToolExitCode(const wchar_t* pFn, unsigned long& ulExitCode);
    bool FailRestore(TraceScope& scope, const wchar_t* pReason);
    void ReadPassOutput(DWORD dwGroup, RestorePass& pass, const std::function<void(const std::wstring&)>& handle);
    void HandleRestoreLine(const std::wstring& sLine, ProgressRecord& progress, RestorePass& pass);
    bool NoteFailureLine(RestoreLine kind, RestorePass& pass);
    void NoteReportLine(RestoreLine kind, const std::wstring& sLine, RestorePass& pass);
    void NoteNoSession(const std::wstring& sLine, RestorePass& pass);
    void NoteNoSaveset(const std::wstring& sLine, RestorePass& pass);
    void ReportRestoredObject(const std::wstring& sPath, ProgressRecord& progress, RestorePass& pass);
    bool EndRestore(TraceScope& scope, ProgressRecord& progress, RestorePass& pass, unsigned uiCounted,
                    const std::wstring& sTarget);
    bool FailShortRestore(TraceScope& scope, ProgressRecord& progress, RestorePass& pass, unsigned uiCounted,
                          const std::wstring& sTarget);
    bool EndPass(TraceScope& scope, ProgressRecord& progress, RestorePass& pass, unsigned uiCrashMessage);
    bool RecoverCrashed(const wchar_t* pFn, unsigned uiMessage);
    // Sends a record that starts or ends a pass. False when the host answers it with an abort:
    // the host is then told (message 197, a kind 3 record) and the abort stands for the operation.
    bool SendPassRecord(ProgressRecord& progress, unsigned uiKind);
    // Steps of the system-state restore (system/).
    struct SystemPass {
        bool bInPlace = false; // objects are written to their own paths and sized there
        bool bStaged = false;  // writer objects land in a staging folder
        std::wstring sStaging; // that folder, once recover announced its writer
        unsigned long long ullBytes = 0;
        bool bSaidEmpty = false; // recover said the saveset holds no objects
    };
    struct SsidWalk {
        bool bDisasterRecovery;
        const wchar_t* pPitWarning; // the end of the point-in-time warning
        unsigned uiToRestore = 0;   // the counters of every saveset, added up
        unsigned uiRestored = 0;
    };
    void PointTempAtWindowsVolume();
    unsigned RestoreComponent(SystemStateEntry& entry);
    unsigned FailComponent(const systemrules::ComponentRow& row, unsigned uiMessage);
    void TellComponentFailed(const systemrules::ComponentRow& row);
    bool CapturedHivesComplete(velmora::unique_handle_null& hThread);
    bool RunComponentRestore(const systemrules::ComponentRow& row, SystemStateEntry& entry);
    bool RunPostSteps(const systemrules::ComponentRow& row, velmora::unique_handle_null& hMonitor);
    void WarnIfIncomplete(const systemrules::ComponentRow& row, const SystemStateEntry& entry);
    bool CopyConfigurationFiles(TraceScope& scope);
    void FixProgramFolderNames();
    bool RunSystemCount(TraceScope& scope, const std::wstring& sCmd, DWORD dwGroup, ProgressRecord& progress);
    void HandleSystemLine(const std::wstring& sLine, SystemPass& sys, ProgressRecord& progress, RestorePass& pass);
    unsigned long long SizeRestoredFile(const std::wstring& sPath, ProgressRecord& progress);
    bool FinishSystemRestore(TraceScope& scope, ProgressRecord& progress, const SYSTEMTIME& stBackupTime,
                             unsigned& uiFilesToRestore, unsigned& uiFilesRestored, const wchar_t* pOf,
                             bool bSaidEmpty);
    bool FindSsidSavesets(TraceScope& scope, const std::wstring& sTarget, DWORD dwGroup, std::vector<SsidInfo>& chosen);
    bool RestoreOneSsid(const SsidInfo& info, const std::wstring& sTitle, const SYSTEMTIME& stBackupTime,
                        SsidWalk& walk);
    std::wstring RepairRegistryFolder() const;
    wchar_t BootFolderLetter() const;
    bool MoveFolderContents(const std::wstring& sFrom, const std::wstring& sTo);
    bool MoveListedFiles(const std::vector<FileListEntry>& files, const std::wstring& sDestination, bool bHivesOnly);
    bool CopyConfigFiles(TraceScope& scope, const wchar_t* pKind, wchar_t wcTarget);
    DumpFacts CollectDumpFacts();
    void EndAbortedTool(const wchar_t* pFn, bool bTellHost);

    bool m_bValidCredentials = false;
    CvexCredentials m_NetWorkerCredentials;
    bool m_bCopyBOOT = true;
    bool m_bCopySYSTEM = true;
    bool m_bOptionCleared = false;
    std::wstring m_sWorking1;
    std::wstring m_sWorking2;
    std::wstring m_sWorking3;
    wchar_t m_wcWinSYSTEM = L'-';
    wchar_t m_wcWinBOOT = L'-';
    wchar_t m_wcWinEFI = L'-';
    std::wstring m_sWorking4;
    std::wstring m_sPassword;

    std::wstring m_sBackupNetWorkerClientVersion;
    unsigned short m_usBackupNetWorkerClientVersionMajor = 0;
    unsigned short m_usBackupNetWorkerClientVersionMinor = 0;
    unsigned short m_usBackupNetWorkerClientVersionSP = 0;
    std::wstring m_sBackupNetWorkerClientDir;
    std::wstring m_sRecoverNetWorkerClientVersion;
    unsigned short m_usRecoverNetWorkerClientVersionMajor = 0;
    unsigned short m_usRecoverNetWorkerClientVersionMinor = 0;
    unsigned short m_usRecoverNetWorkerClientVersionSP = 0;
    std::wstring m_sRecoverNetWorkerClientDir;
    std::wstring m_sRecoverNetWorkerServerVersion;

    std::wstring m_sPointInTime;
    std::wstring m_sCurrentDirectory;
    std::wstring m_sWinDir;
    std::wstring m_sServicePortRange;
    std::wstring m_sConnectionPortRange;

    std::wstring m_sMminfoPath;
    std::wstring m_sRecoverPath;
    std::wstring m_sNsradminPath;
    std::wstring m_sNsrexecdPath;
    std::wstring m_sNsrportsPath;
    std::wstring m_sNwinstcreatePath;

    // The process of the daemon StartNsrExecDaemon started last, kept only to see whether it
    // stays up; the daemon is found and ended by its name.
    velmora::unique_handle_null m_hStartedDaemon;

    std::wstring m_sWorking5;
    std::vector<std::wstring> m_RunRecords;

    std::wstring m_sBootFilespace;
    std::wstring m_sEFIFilespace;
    std::wstring m_sSystemFilespace;
    bool m_bEFI = false;

    std::vector<SystemStateEntry> m_SystemState;
    std::wstring m_sConfigDir;
    bool m_bVistaOrLater = false;

    ConsoleSession m_Console{*this};

    // What the system-state restore changed for the process and what it did last.
    bool m_bTempSaved = false;
    bool m_bHadTemp = false;
    bool m_bHadTmp = false;
    std::wstring m_sSavedTemp;
    std::wstring m_sSavedTmp;
    std::wstring m_sShortNameOutcome;
    // Why the component being restored failed, when more can be said than its message; and one
    // summary line for each component that failed.
    std::wstring m_sComponentFailure;
    std::vector<std::wstring> m_ComponentFailures;

private:
    // EngineHost: the engine's way to the host.
    int LogMessage(unsigned uiLevel, unsigned uiId) override;
    int LogMessageCode(unsigned uiLevel, unsigned uiId, DWORD dwCode) override;
    std::wstring MessageText(unsigned uiId) override;
    unsigned ReportProgress(ProgressRecord& record) override;
    bool CanReportProgress() const override;
    int ServerAddressFamily() const override;
};
