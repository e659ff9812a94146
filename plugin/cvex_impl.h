// CVEXImpl: the object that does the module's work behind the CVEX facade.
#pragma once
#include "catalogue/catalogue_types.h"
#include "client/file_info.h"
#include "credentials/cvex_credentials.h"
#include "plugin/crpl_impl.h"
#include "restore/file_list.h"

#include <string>
#include <vector>

class CrplCredentials;
namespace catalogue
{
enum class FetchResult;
}

class CVEXImpl : public CRPLImpl
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
    bool RestoreSystem();
    bool CheckSystemState();

    // Console engine: one NetWorker tool at a time in the module's private hidden console.
    bool RunCommand(const std::wstring& sCmd, bool bTrace);
    void Abort();
    bool Fini(bool bHardReset);
    static DWORD WINAPI ThreadWaitForProcessTermination(LPVOID pBlock);
    bool ReadChar(unsigned char* c);
    bool GetLine(std::wstring& sLine, bool bTrace);
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
    bool QueryPorts(const std::wstring& sHost);
    bool ImportCertAndPKeyFiles(const std::wstring& sCertFile, const std::wstring& sPKeyFile);

    // The NetWorker server's version, read with nsradmin.
    bool GetNetWorkerServerVersion(std::wstring& sVersion);

    // The saveset catalogue: the media database report, the filespace listing and the
    // configuration saved with the backup.
    bool ParseMminfo(const std::wstring& sLine, bool bTypePresent, std::vector<SystemStateEntry>& entries);
    void ParseMminfo(const std::wstring& sLine, const std::wstring& sTarget, std::vector<SsidInfo>& savesets);
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

    bool UserAborted() const { return m_bUserAborted; }
    bool ConnectionLost() const { return m_bConnectionLost; }
    // Heartbeat period in 10 ms polls, Abort's closing pause and the monitoring thread's pause
    // after a password prompt; shortened only by tests.
    void SetEngineTimingForTesting(unsigned uiPollsPerHeartbeat, DWORD dwAbortPauseMs, DWORD dwPasswordPauseMs);

    // Read-only views for the reference host and tests.
    wchar_t WinSystemLetter() const { return m_wcWinSYSTEM; }
    wchar_t WinBootLetter() const { return m_wcWinBOOT; }
    wchar_t WinEfiLetter() const { return m_wcWinEFI; }
    const std::wstring& Password() const { return m_sPassword; }
    const ConsoleHandles& Handles() const { return m_Handles; }
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

protected:
    // Operations that are not built yet end here with a clear last error.
    bool NotAvailable(const wchar_t* pFn);

    // Pieces of the console engine.
    void WaitForPreviousCommand();
    // Closes the console input and both ends of the output pipe of the session, if open.
    void CloseConsoleHandles(const wchar_t* pFn);
    void ReleaseEndedCommand(const wchar_t* pFn);
    bool OpenConsoleInput(const wchar_t* pFn, SECURITY_ATTRIBUTES& sa);
    bool StartChild(const wchar_t* pFn, const std::wstring& sCmd, SECURITY_ATTRIBUTES& sa);
    bool StartMonitor(const wchar_t* pFn);
    void WaitForCommandMutex(const wchar_t* pFn);
    bool ReadByte(unsigned char& c, bool& bGotByte);
    bool FillReadBuffer(const wchar_t* pFn, bool& bGotData);
    void Heartbeat();
    bool AbortRead();
    void CloseOutputPipe();
    // Steps of Init (client/init*.cpp); each posts its own message when it fails.
    struct ConnectionTest {
        bool bRepeat = false;  // run recover again (a 7.4 client without a route yet)
        bool bFailed = false;  // a failure message was posted
        bool bSession = false; // recover opened its session
    };
    bool InitNameResolution(const CvexCredentials& cred);
    void AcceptCredentials(const CvexCredentials& cred);
    bool InitRegistry(const std::wstring& sHostname);
    bool InitNetworkSettings();
    void ReadClientRegistration();
    bool InitCurrentDirectory();
    bool ProveConnection();
    bool RunConnectionTest(ConnectionTest& test);
    void NoteConnectionFailure(const std::wstring& sLine, ConnectionTest& test);
    bool WriteNsradminCommandFile(const std::wstring& sPath);
    // Steps of the filespace listing and the configuration fetch (catalogue/).
    void ForgetCatalogue();
    bool ListTopLevel(FileSpaceList& found);
    void ClassifyListingLine(const std::wstring& sLine, FileSpaceList& found);
    bool CheckForNmm(bool bTypePresent);
    bool FindAndFetchConfig(const FileSpaceList& found);
    void MarkSystemVolumes(FileSpaceList& found);
    bool ImportSavedCertificate();
    bool FailConfig(const wchar_t* pFn, const wchar_t* pReason);
    bool PrepareConfigFolders(const std::wstring& sStaging);
    bool FetchConfigItems(const std::wstring& sStaging, const std::wstring& sSaveset);
    catalogue::FetchResult FetchConfigItem(const std::wstring& sStaging, const std::wstring& sPath);
    void ReadBackupClientVersion();
    bool EndedAfterAbortOrLoss(const wchar_t* pFn);

    unsigned m_uiPollsPerHeartbeat = 1000;
    DWORD m_dwAbortPauseMs = 5000;

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
    bool m_bUserAborted = false;
    bool m_bConnectionLost = false;
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

    std::wstring m_sWorking5;
    std::vector<std::wstring> m_RunRecords;

    std::wstring m_sBootFilespace;
    std::wstring m_sEFIFilespace;
    std::wstring m_sSystemFilespace;
    bool m_bEFI = false;

    std::vector<SystemStateEntry> m_SystemState;
    std::wstring m_sConfigDir;
    bool m_bVistaOrLater = false;
};
