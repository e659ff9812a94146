#include "host/recover_job.h"

#include "host/abort_watch.h"
#include "host/answer_file_command.h"
#include "host/host_output.h"
#include "host/listing.h"
#include "host/recover_report.h"
#include "host/recovery_job.h"
#include "support/handle.h"
#include "support/vstring.h"

#include <tlhelp32.h>

#include <cstdio>
#include <cwctype>

namespace refhost
{
namespace
{

std::wstring UtcNow()
{
    SYSTEMTIME st = {};
    GetSystemTime(&st);
    wchar_t wsz[40] = {};
    std::swprintf(wsz, 40, L"%04u-%02u-%02uT%02u:%02u:%02u.%03uZ", st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute,
                  st.wSecond, st.wMilliseconds);
    return wsz;
}

// The plug-in's message texts, read from its string table, to give each message its id.
std::map<unsigned, std::wstring> MessageTable()
{
    std::map<unsigned, std::wstring> table;
    HMODULE hDll = GetModuleHandleW(L"CVEX.DLL");
    for (unsigned uiId = 100; hDll && uiId < 300; ++uiId) {
        wchar_t wsz[1024] = {};
        if (LoadStringW(hDll, uiId, wsz, 1024) > 0)
            table[uiId] = wsz;
    }
    return table;
}

struct RecoverSession {
    RecoverRun run;
    std::map<unsigned, std::wstring> table;
};

void CollectMessage(unsigned uiLevel, const std::wstring& sText, void* pContext)
{
    auto* session = static_cast<RecoverSession*>(pContext);
    session->run.messages.push_back({MatchMessageId(sText, session->table), uiLevel, sText, UtcNow()});
}

// Times one phase and, when it ends, adds it to the run and prints its line.
class Phase
{
public:
    Phase(RecoverRun& run, std::wstring sName) : m_run(run), m_dStart(NowSeconds())
    {
        m_phase.sName = std::move(sName);
        m_phase.sStart = UtcNow();
    }
    void End(const std::wstring& sOutcome, const std::wstring& sDetail = {})
    {
        m_phase.sOutcome = sOutcome;
        m_phase.sDetail = sDetail;
        m_phase.sEnd = UtcNow();
        m_phase.dSeconds = NowSeconds() - m_dStart;
        m_run.phases.push_back(m_phase);
        Print(FormatPhaseLine(m_phase));
    }

private:
    RecoverRun& m_run;
    PhaseOutcome m_phase;
    double m_dStart;
};

// The second abort request came: what failed since was ended by the operator.
bool Ended()
{
    return AbortRequests() >= 2;
}

std::wstring FailedOrAborted()
{
    return Ended() ? L"aborted" : L"failed";
}

// Init and the listing report to the plain callback; its answer becomes the operator's abort
// once the second request came, so that the running tool is ended through the plug-in.
unsigned RecoverProgressCallback(ProgressRecord* pRecord, void* pContext)
{
    unsigned uiAnswer = ProgressCallback(pRecord, pContext);
    return AbortAnswer() ? 1 : uiAnswer;
}

void Skip(RecoverRun& run, const std::wstring& sName, const std::wstring& sWhy)
{
    Phase(run, sName).End(L"skipped", sWhy);
}

std::wstring LastError(CRPL& plugin)
{
    std::wstring sError;
    plugin.GetLastErrorMsg(sError);
    return sError;
}

// Tools of the NetWorker client still running; after an abort there must be none.
std::vector<std::wstring> ToolsRunning()
{
    std::vector<std::wstring> names;
    velmora::unique_file snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot)
        return names;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL b = Process32FirstW(snapshot.get(), &entry); b; b = Process32NextW(snapshot.get(), &entry)) {
        std::wstring s = entry.szExeFile;
        for (wchar_t& wc : s)
            wc = static_cast<wchar_t>(std::towlower(wc));
        if (s == L"recover.exe" || s == L"mminfo.exe" || s == L"nsradmin.exe")
            names.push_back(entry.szExeFile);
    }
    return names;
}

bool LoadAnswers(RecoverRun& run, CvexCredentials& cred, const RecoverOptions& options)
{
    Phase phase(run, L"answer file");
    if (!cred.GetCredentialsFromAnsFile(options.sAnswerFile)) {
        phase.End(L"failed", options.sAnswerFile + L" cannot be loaded");
        return false;
    }
    bool bChecked = cred.Check();
    for (const std::wstring& sLine : DescribeCredentials(cred))
        Print(sLine);
    run.sServer = cred.m_sServerName;
    run.sClient = cred.m_sClientName;
    run.sPit = PitText(cred);
    if (!bChecked) {
        phase.End(L"failed", options.sAnswerFile + L" does not pass the check");
        return false;
    }
    phase.End(L"succeeded");
    return true;
}

struct Restores {
    std::vector<FilespaceOutcome> outcomes;
    PathSet cBefore, cRestored;
    bool bSnapshot = false;
    bool bAnyFailed = false;
};

void RestoreEach(CRPL& plugin, RecoverRun& run, const Listing& listing, const RecoverOptions& options,
                 Restores& restores)
{
    RestoreOptions choice;
    choice.bAll = options.only.empty();
    choice.names = options.only;
    std::vector<std::wstring> missing;
    std::vector<FileSpace> chosen = ChooseFilespaces(listing.filespaces, choice, missing);
    for (const std::wstring& sName : missing) {
        FilespaceOutcome outcome;
        outcome.sName = sName;
        outcome.bInListing = false;
        run.filespaces.push_back(outcome);
        Phase(run, L"RestoreFilespace " + sName).End(L"failed", L"not in the backup");
        restores.bAnyFailed = true;
    }
    for (const FileSpace& fs : chosen) {
        if (AbortRequests())
            return;
        RestoreOptions one;
        one.bRestore = one.bAll = true;
        one.bVerify = options.bVerify && !restores.bSnapshot;
        one.bPasswordGiven = options.bPasswordGiven;
        one.sPassword = options.sPassword;
        Phase phase(run, L"RestoreFilespace " + fs.sFsName);
        RestoreRun one_run = RunRestores(plugin, {fs}, one);
        FilespaceOutcome& outcome = one_run.outcomes.front();
        RestoreResult enResult = Decide(outcome);
        outcome.bAborted = enResult == RestoreResult::Failed && Ended();
        run.filespaces.push_back(outcome);
        restores.outcomes.push_back(outcome);
        if (TargetLetter(fs) == L'C' && !restores.bSnapshot && options.bVerify) {
            restores.cBefore = one_run.cBefore;
            restores.bSnapshot = true;
        }
        restores.cRestored.insert(one_run.cRestored.begin(), one_run.cRestored.end());
        if (enResult == RestoreResult::Failed) {
            restores.bAnyFailed = true;
            phase.End(outcome.bAborted ? L"aborted" : L"failed", LastError(plugin));
        } else {
            phase.End(enResult == RestoreResult::Restored ? L"succeeded" : ResultName(enResult));
        }
    }
}

void PrepareSystem(CRPL& plugin, RecoverRun& run)
{
    Phase phase(run, L"PrepareSystem");
    SystemRun system = RunPrepareSystem(plugin);
    for (const std::wstring& sLine : FormatSystemSummary(system))
        Print(sLine);
    bool bAborted = !system.bPrepared && Ended();
    for (ComponentOutcome& c : system.components)
        c.bAborted = bAborted && !c.bFinished;
    run.components = system.components;
    if (system.bPrepared)
        phase.End(L"succeeded");
    else
        phase.End(bAborted ? L"aborted" : L"failed", system.sError);
}

// Everything after Init, up to (not including) Fini.
void RecoverAfterInit(CRPL& plugin, RecoverRun& run, const CvexCredentials& cred, const RecoverOptions& options)
{
    Phase listPhase(run, L"GetFilespaceList");
    Listing listing = RunListing(plugin);
    for (const std::wstring& sLine : FormatListing(listing))
        Print(sLine);
    listPhase.End(listing.bListed ? L"succeeded" : FailedOrAborted(), listing.sListError);
    if (!listing.bListed)
        return;
    bool bSystemState = !options.bSkipSystemState;
    // CheckSystemState ran with the listing; its phase only tells its answer.
    if (!bSystemState) {
        Skip(run, L"CheckSystemState", L"--skip-system-state");
    } else {
        Phase phase(run, L"CheckSystemState");
        bSystemState = listing.bSystemStateComplete;
        phase.End(bSystemState ? L"succeeded" : L"failed",
                  bSystemState ? L"" : L"no complete system state: " + listing.sCheckError);
    }
    if (AbortRequests())
        return;
    Restores restores;
    RestoreEach(plugin, run, listing, options, restores);
    RecoveryJobOptions verifyOptions = ParseRecoveryJobOptions({});
    verifyOptions.sNwsimIni = options.sNwsimIni;
    if (!options.sVerifyScript.empty())
        verifyOptions.sVerifyScript = options.sVerifyScript;
    VerifyContext context = MakeVerifyContext(cred, verifyOptions);
    if (AbortRequests())
        return;
    if (options.bVerify && !restores.outcomes.empty()) {
        std::vector<DriveCheck> checks =
            PlanChecks(listing.filespaces, restores.outcomes, restores.cBefore, restores.cRestored);
        Phase phase(run, L"verify filespaces");
        bool bSame = VerifyDrives(checks, context);
        run.bVerified = run.bVerified && bSame;
        phase.End(bSame ? L"succeeded" : L"failed", bSame ? L"" : L"differences from the backup");
    }
    if (!bSystemState || restores.bAnyFailed) {
        Skip(run, L"PrepareSystem",
             options.bSkipSystemState ? L"--skip-system-state"
             : restores.bAnyFailed    ? L"a filespace was not restored: the system state would have no base"
                                      : L"the backup holds no complete system state");
        return;
    }
    if (AbortRequests())
        return;
    PrepareSystem(plugin, run);
    if (options.bVerify && run.phases.back().sOutcome == L"succeeded" && !AbortRequests()) {
        Phase phase(run, L"verify system state");
        bool bSame = VerifySystemOnDrives(listing, context);
        run.bVerified = run.bVerified && bSame;
        phase.End(bSame ? L"succeeded" : L"failed", bSame ? L"" : L"differences from the backup");
    }
}

bool WriteReport(const std::wstring& sPath, const RecoverRun& run)
{
    std::string sText = RecoverReportJson(run);
    FILE* pFile = _wfopen(sPath.c_str(), L"wb");
    if (!pFile)
        return false;
    bool bOk = std::fwrite(sText.data(), 1, sText.size(), pFile) == sText.size();
    return std::fclose(pFile) == 0 && bOk;
}

int Finish(RecoverSession& session, const RecoverOptions& options)
{
    SetMessageSink(nullptr, nullptr);
    RecoverRun& run = session.run;
    run.uiAbortRequests = AbortRequests();
    if (run.uiAbortRequests) {
        std::vector<std::wstring> left = ToolsRunning();
        std::wstring sLeft;
        for (const std::wstring& s : left)
            sLeft += L" " + s;
        Print(left.empty() ? L"Abort: no tool left running" : L"Abort: still running:" + sLeft);
    }
    for (const std::wstring& sLine : FormatRecoverSummary(run))
        Print(sLine);
    if (!options.sReport.empty())
        Print(WriteReport(options.sReport, run) ? L"Report: written to " + options.sReport
                                                : L"Report: cannot write " + options.sReport);
    return DecideVerdict(run).iExit;
}

} // namespace

int RunRecover(CRPL& plugin, CrplCredentials& credentials, const RecoverOptions& options)
{
    RecoverSession session;
    RecoverRun& run = session.run;
    session.table = MessageTable();
    plugin.GetModuleProperty(1, run.sModule);
    plugin.GetModuleProperty(2, run.sModuleVersion);
    run.sHostVersion = L"refhost " + run.sModuleVersion;
    run.bVerifyAsked = options.bVerify;
    run.bVerified = true;
    SetMessageSink(&CollectMessage, &session);
    WatchAbortFile(options.sAbortFile);
    HostAnswers answers;
    answers.sPassword = options.sPassword;
    plugin.SetProgMsgCallbackFn(&RecoverProgressCallback, &answers);
    auto& cred = static_cast<CvexCredentials&>(credentials);
    // Nothing on the machine changes before the answer file passed its check.
    if (!LoadAnswers(run, cred, options) || AbortRequests())
        return Finish(session, options);
    Phase init(run, L"Init");
    Print(L"Init: connecting the recovery environment to the NetWorker server ...");
    bool bInit = plugin.Init(&credentials);
    init.End(bInit ? L"succeeded" : FailedOrAborted(), bInit ? L"" : LastError(plugin));
    if (bInit && !AbortRequests())
        RecoverAfterInit(plugin, run, cred, options);
    Phase fini(run, L"Fini");
    fini.End(plugin.Fini(true) ? L"succeeded" : L"failed");
    return Finish(session, options);
}

} // namespace refhost
