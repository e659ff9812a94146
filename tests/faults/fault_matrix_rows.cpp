// The rows of the fault matrix: one per decision the module makes about a fault, each run at the
// positions whose outcomes differ. Ids are the module's message ids; the last-error texts are
// parts of the messages' texts.
#include "hostapi/message_ids.h"
#include "tests/faults/fault_matrix.h"

namespace faultmatrix
{

namespace
{

constexpr unsigned kBound = 30; // seconds: any run of a faulted operation

Expect Ok(std::vector<unsigned> ids = {})
{
    return {std::move(ids), true, nullptr, kBound, true};
}

Expect Fails(std::vector<unsigned> ids, const wchar_t* pLastError)
{
    return {std::move(ids), false, pLastError, kBound, true};
}

Expect NotRun()
{
    Expect e;
    e.bRun = false;
    return e;
}

std::array<Expect, kPositions> First(const Expect& e)
{
    return {e, NotRun(), NotRun()};
}

std::array<Expect, kPositions> Mid(const Expect& e)
{
    return {NotRun(), e, NotRun()};
}

std::array<Expect, kPositions> Last(const Expect& e)
{
    return {NotRun(), NotRun(), e};
}

std::array<Expect, kPositions> MidLast(const Expect& middle, const Expect& last)
{
    return {NotRun(), middle, last};
}

std::array<Expect, kPositions> FirstMid(const Expect& first, const Expect& middle)
{
    return {first, middle, NotRun()};
}

std::array<Expect, kPositions> FirstLast(const Expect& first, const Expect& last)
{
    return {first, NotRun(), last};
}

const wchar_t kNotRegistered[] = L"client name is not registered on NetWorker server localhost";
const wchar_t kAddressNotRegistered[] = L"client address is not registered on NetWorker server localhost";
const wchar_t kLost[] = L"Lost connection to NetWorker server";
const wchar_t kRestoreFailed[] = L"Failed to restore filespace";
const wchar_t kShortLost[] = L"restored; the connection to the NetWorker server was lost";
const wchar_t kCutShort[] = L"a count cut short is counted again; the second count is whole";
const wchar_t kIncomplete[] = L"recover ended before its last line: the listing is incomplete";

// The texts of recover that fail a restore, an Init or a configuration fetch with their message.
struct FailingText {
    const wchar_t* pPreset;
    unsigned uiId;
    const wchar_t* pLastError;
};

const FailingText kSecured{L"secured_data", MSG_NTFS_TO_NON_NTFS, L"NTFS volume on to a non-NTFS"};
const FailingText kNotConfigured{L"not_configured", MSG_CLIENT_NAME_NOT_REGISTERED, kNotRegistered};
const FailingText kNotConfiguredAddress{L"not_configured_address", MSG_CLIENT_ADDRESS_NOT_REGISTERED,
                                        kAddressNotRegistered};
const FailingText kDdcl{L"ddcl", MSG_DDCL_OPEN_FAILED, L"Cannot open file via DDCL"};
const FailingText kStale{L"stale_rpc", MSG_STALE_RPC_HANDLE, L"stale asynchronous RPC handle"};
const FailingText kThreads{L"threads_failed", MSG_RECOVER_THREADS_FAILED, L"recover threads failed"};

void AddFailing(std::vector<Row>& rows, Phase phase, const FailingText& t)
{
    rows.push_back({phase, Fault::Line, t.pPreset, Mid(Fails({t.uiId}, t.pLastError)), L""});
}

std::vector<Row> RestoreRows()
{
    const unsigned W = MSG_NETWORKER_MESSAGE;
    const Expect shortLost = Fails({MSG_CONNECTION_LOST, MSG_RESTORE_SHORT}, kShortLost);
    std::vector<Row> rows;
    for (const FailingText& t : {kSecured, kNotConfigured, kNotConfiguredAddress, kDdcl, kStale, kThreads})
        AddFailing(rows, Phase::Restore, t);
    rows.insert(
        rows.end(),
        {
            {Phase::Restore, Fault::Line, L"forcibly_closed", MidLast(shortLost, Fails({MSG_CONNECTION_LOST}, kLost)),
             L"after the last object nothing is missing: the lost session alone is told"},
            {Phase::Restore, Fault::Line, L"recover_message", Mid(Ok({W})), L""},
            // Texts another phase reacts to: in a restore only their ":recover:" makes them a message.
            {Phase::Restore, Fault::Line, L"busy", Mid(Ok({W})), L""},
            {Phase::Restore, Fault::Line, L"not_found", Mid(Ok({W})), L"a per-file failure: a warning"},
            {Phase::Restore, Fault::Line, L"compressed", Mid(Ok({W})), L"a per-file failure: a warning"},
            {Phase::Restore, Fault::Line, L"incorrect_password", Mid(Ok()), L""},
            {Phase::Restore, Fault::Line, L"password_prompt", Mid(Ok()), L""},
            {Phase::Restore, Fault::Line, L"file_exists", Mid(Ok()), L""},
            {Phase::Restore, Fault::Line, L"\"recover> \"", Mid(Ok()), L""},
            {Phase::Restore, Fault::ServerDrop, L"", Mid(shortLost), L""},
            {Phase::Restore, Fault::ExitNonZero, L"",
             MidLast(Fails({MSG_RESTORE_SHORT}, L"recover ended with exit code 1"), Ok()),
             L"after the last object the exit code changes nothing"},
            {Phase::Restore, Fault::Crash, L"",
             MidLast(Fails({MSG_RESTORE_SHORT}, L"recover ended abnormally"),
                     Fails({MSG_RESTORE_FILESPACE_FAILED}, kRestoreFailed)),
             L"a crashed recover fails the restore, whatever it brought back"},
            {Phase::Restore, Fault::Hang, L"", Mid(Ok()), L""},
        });
    return rows;
}

std::vector<Row> CountRows()
{
    const Expect neverOpens = Fails({MSG_COUNT_CUT_SHORT, MSG_RESTORE_FILESPACE_FAILED}, kRestoreFailed);
    return {
        {Phase::Count, Fault::Line, L"secured_data", Mid(Ok()), L"the count reads only prompts and objects"},
        {Phase::Count, Fault::Line, L"password_prompt",
         Mid(Fails({MSG_NETWORKER_MESSAGE, MSG_RESTORE_FILESPACE_FAILED}, kRestoreFailed)),
         L"listing asks no password: recover is ended, the count and the filespace fail"},
        {Phase::Count, Fault::Password, L"",
         Mid(Fails({MSG_NETWORKER_MESSAGE, MSG_RESTORE_FILESPACE_FAILED}, kRestoreFailed)),
         L"the prompt switches console input off: no command may be waiting to be read as the password"},
        {Phase::Count, Fault::ServerRefuse, L"", First(neverOpens), L"the second count does not open either"},
        {Phase::Count, Fault::ServerBusy, L"", First(neverOpens), L"the second count does not open either"},
        {Phase::Count, Fault::ServerSlow, L"", First(Ok()), L""},
        {Phase::Count, Fault::ServerDrop, L"", Mid(Ok()), kCutShort},
        {Phase::Count, Fault::ExitNonZero, L"", Mid(Ok()), kCutShort},
        {Phase::Count, Fault::Crash, L"", Mid(Ok()), kCutShort},
    };
}

// Init's middle line is still before the banner, as its first is: Init runs a fault at its first
// line or at the line before the prompt, after the banner proved the session.
std::vector<Row> InitRows()
{
    const Expect noSession = Fails({MSG_NO_SESSION}, L"Could not establish session");
    const FailingText texts[] = {
        {L"threads_failed", MSG_RECOVER_THREADS_FAILED, L"recover threads failed"},
        {L"no_response", MSG_CONNECTION_TIMED_OUT, L"timed out"},
        {L"rpc_call", MSG_SERVER_NOT_CONTACTED, L"could not be contacted"},
        {L"not_configured", MSG_CLIENT_NAME_NOT_REGISTERED, kNotRegistered},
        {L"not_configured_address", MSG_CLIENT_ADDRESS_NOT_REGISTERED, kAddressNotRegistered},
        {L"forcibly_closed", MSG_CONNECTION_FORCIBLY_CLOSED, L"forcibly closed"},
    };
    const Expect noBackups = Fails({MSG_NO_BACKUPS}, L"No files have been backed up");
    std::vector<Row> rows = {
        {Phase::Init, Fault::Line, L"no_backups", FirstLast(noBackups, noBackups),
         L"the text fails the test also after the banner proved the session"},
        {Phase::Init, Fault::Line, L"no_route", Last(noSession), L"a 9.2 client: the test fails at once"},
        {Phase::Init, Fault::Line, L"busy", First(Ok()), L""},
        {Phase::Init, Fault::ServerRefuse, L"", First(noSession), L""},
        {Phase::Init, Fault::ServerBusy, L"", First(noSession), L""},
        {Phase::Init, Fault::ExitNonZero, L"", FirstLast(noSession, Ok()),
         L"after the banner the session stands without the prompt"},
        {Phase::Init, Fault::Crash, L"", FirstLast(noSession, Ok()),
         L"after the banner the session stands without the prompt"},
    };
    for (const FailingText& t : texts)
        rows.push_back({Phase::Init, Fault::Line, t.pPreset, Last(Fails({t.uiId}, t.pLastError)), L""});
    return rows;
}

std::vector<Row> ListingRows()
{
    const Expect incomplete = Fails({MSG_FILESPACE_LIST_FAILED}, L"Failed to get a list of filespaces");
    const Expect lost = Fails({MSG_CONNECTION_LOST}, kLost);
    return {
        {Phase::Listing, Fault::Line, L"ddcl", Mid(Ok()), L""},
        {Phase::Listing, Fault::Line, L"\"recover> \"", FirstMid(incomplete, incomplete),
         L"an extra prompt moves the dialogue on: entries after the prompt taken as the answer's end show it was cut"},
        {Phase::Listing, Fault::Line, L"forcibly_closed", Mid(lost), L""},
        {Phase::Listing, Fault::ServerRefuse, L"", First(incomplete), L""},
        {Phase::Listing, Fault::ServerBusy, L"", First(incomplete), L""},
        {Phase::Listing, Fault::ServerDrop, L"", Mid(lost), L""},
        {Phase::Listing, Fault::ExitNonZero, L"", MidLast(incomplete, Ok()), kIncomplete},
        {Phase::Listing, Fault::Crash, L"", Mid(incomplete), kIncomplete},
    };
}

std::vector<Row> ConfigRows()
{
    const FailingText texts[] = {
        kDdcl,
        kStale,
        kThreads,
        {L"busy", MSG_SERVER_BUSY, L"BUSY"},
        {L"forcibly_closed", MSG_CONNECTION_FORCIBLY_CLOSED, L"forcibly closed"},
        {L"no_volumes", MSG_NO_VOLUMES, L"No volumes found"},
        {L"compressed", MSG_CONFIG_COMPRESSED, L"configuration is compressed"},
    };
    const Expect cut = Fails({MSG_EXTRACT_CONFIG_FAILED}, L"extract configuration");
    std::vector<Row> rows = {
        {Phase::Config, Fault::Line, L"timed_out", Mid(Ok({MSG_CONNECTION_RETRYING})), L"the item is fetched again",
         L"once"},
        {Phase::Config, Fault::Line, L"recover_message", Mid(Ok({MSG_NETWORKER_MESSAGE})), L""},
        {Phase::Config, Fault::Line, L"skipping_password", Mid(Ok()), L""},
        {Phase::Config, Fault::ServerDrop, L"", Mid(Fails({MSG_CONNECTION_FORCIBLY_CLOSED}, L"forcibly closed")),
         L"recover reports the reset"},
        {Phase::Config, Fault::ExitNonZero, L"", MidLast(cut, Ok()),
         L"the summary did not come; after the last line the configuration is whole"},
        {Phase::Config, Fault::Crash, L"", Mid(cut), L"the summary did not come"},
        {Phase::Config, Fault::Hang, L"", Mid(Ok()), L""},
    };
    for (const FailingText& t : texts)
        AddFailing(rows, Phase::Config, t);
    return rows;
}

// A system-state kind as the matrix's stores hold it: the phases of its component's two passes
// and the message its failure gives; the text of that message is the last error (the
// preparation's first failure). The kinds read their tools' output with one code, so the
// writers' kind carries every text and the others what differs: their component's message, a
// failure text of each pass, a crash, a drop and (those restored by id) the report.
struct SystemKind {
    Phase count;
    Phase restore;
    unsigned uiFailed;
    const wchar_t* pFailed;
};

class SystemRowsOf
{
public:
    SystemRowsOf(std::vector<Row>& rows, const SystemKind& kind) : m_rows(rows), m_kind(kind) {}

    // A text that fails the pass: its own message, then the component's.
    void Failing(Phase phase, const FailingText& t) { Add(phase, Fault::Line, t.pPreset, Mid(FailsWith(t.uiId))); }
    void Add(Phase phase, Fault fault, const wchar_t* pArgument, const std::array<Expect, kPositions>& at,
             const wchar_t* pNote = L"", bool bReport = false)
    {
        m_rows.push_back({phase, fault, pArgument, at, pNote, L"", bReport});
    }
    // The passes' own faults, each kind: a crash of either, an exit and a drop in the restore.
    void PassRows()
    {
        Add(m_kind.count, Fault::Crash, L"", Mid(Failed()));
        Add(m_kind.restore, Fault::Crash, L"", Mid(Failed()), L"whatever recover brought back");
        Add(m_kind.restore, Fault::ExitNonZero, L"", {Failed(), Ok({MSG_COMPONENT_INCOMPLETE}), Ok()},
            L"the exit code is not read: nothing restored fails the component, fewer objects than counted is "
            L"warning 201");
        Add(m_kind.restore, Fault::ServerDrop, L"", Mid(FailsWith(MSG_CONNECTION_LOST)));
        Add(m_kind.restore, Fault::Line, L"recover_message", Mid(Ok({MSG_NETWORKER_MESSAGE})));
    }
    Expect Failed() const { return Fails({m_kind.uiFailed}, m_kind.pFailed); }
    Expect FailsWith(unsigned uiId) const { return Fails({uiId, m_kind.uiFailed}, m_kind.pFailed); }

private:
    std::vector<Row>& m_rows;
    const SystemKind& m_kind;
};

const wchar_t kNoSession[] = L"recover has no session: the count fails with the reason, and the component";

void VssRows(std::vector<Row>& rows)
{
    const SystemKind k{Phase::VssCount, Phase::VssRestore, MSG_RESTORE_VSS_OTHER_FAILED,
                       L"Failed to restore VSS OTHER"};
    SystemRowsOf r(rows, k);
    for (const FailingText& t : {kSecured, kNotConfigured, kNotConfiguredAddress, kDdcl})
        r.Failing(k.restore, t);
    r.Add(k.restore, Fault::Line, L"forcibly_closed", Mid(r.FailsWith(MSG_CONNECTION_LOST)));
    r.Add(k.restore, Fault::Line, L"not_found", Mid(Ok({MSG_NETWORKER_MESSAGE})), L"a per-file failure: a warning");
    r.Add(k.restore, Fault::Line, L"recovering_writer", {Ok(), Ok(), NotRun()},
          L"the staging folder is looked up until found; before recover made it, none is");
    r.PassRows();
    for (const FailingText& t : {kNotConfigured, kSecured})
        r.Failing(k.count, t);
    r.Add(k.count, Fault::Line, L"busy", First(r.FailsWith(MSG_SERVER_BUSY)), kNoSession);
    r.Add(k.count, Fault::ExitNonZero, L"", Mid(Ok()), L"a count cut short is raised to the objects restored");
    r.Add(k.count, Fault::ServerDrop, L"", Mid(r.FailsWith(MSG_CONNECTION_LOST)));
    r.Add(k.count, Fault::ServerRefuse, L"", First(r.FailsWith(MSG_NO_SESSION)), kNoSession);
    r.Add(k.count, Fault::ServerBusy, L"", First(r.FailsWith(MSG_SERVER_BUSY)), kNoSession);
}

void LegacyRows(std::vector<Row>& rows)
{
    const SystemKind k{Phase::LegacyCount, Phase::LegacyRestore, MSG_RESTORE_SYSTEM_FILES_FAILED,
                       L"Failed to restore SYSTEM FILES"};
    SystemRowsOf r(rows, k);
    r.Failing(k.restore, kNotConfigured);
    r.Failing(k.count, kNotConfigured);
    r.PassRows();
}

// The kinds restored by id look their savesets up in the report first.
void ByIdRows(std::vector<Row>& rows, const SystemKind& k, const std::vector<unsigned>& missing)
{
    SystemRowsOf r(rows, k);
    r.Add(k.count, Fault::ExitNonZero, L"", First(r.Failed()), L"no saveset of the kind found in the report", true);
    r.Add(k.count, Fault::ServerDrop, L"", Mid(r.FailsWith(MSG_CONNECTION_LOST)), L"a report cut short is not trusted",
          true);
    r.Add(k.count, Fault::ServerBusy, L"", First(Fails(missing, k.pFailed)),
          L"no report: every component of the kind in the store is missing", true);
    r.PassRows();
}

void NmmRows(std::vector<Row>& rows)
{
    const SystemKind k{Phase::NmmCount, Phase::NmmRestore, MSG_RESTORE_NMM_APPLICATIONS_FAILED,
                       L"Failed to restore (NMM) APPLICATIONS"};
    SystemRowsOf(rows, k).Failing(k.restore, kSecured);
    // The store holds the three NMM savesets, which the listing finds only together.
    ByIdRows(
        rows, k,
        {MSG_RESTORE_NMM_APPLICATIONS_FAILED, MSG_RESTORE_NMM_SYSTEM_COMPONENTS_FAILED, MSG_RESTORE_NMM_VSS_FAILED});
}

void DrRows(std::vector<Row>& rows)
{
    const SystemKind k{Phase::DrCount, Phase::DrRestore, MSG_RESTORE_DISASTER_RECOVERY_FAILED,
                       L"Failed to restore DISASTER_RECOVERY"};
    SystemRowsOf(rows, k).Failing(k.count, kSecured);
    ByIdRows(rows, k, {MSG_RESTORE_DISASTER_RECOVERY_FAILED});
}

std::vector<Row> AllRows()
{
    std::vector<Row> rows;
    for (auto part : {InitRows, ListingRows, ConfigRows, CountRows, RestoreRows}) {
        std::vector<Row> some = part();
        rows.insert(rows.end(), some.begin(), some.end());
    }
    for (auto kind : {VssRows, LegacyRows, NmmRows, DrRows})
        kind(rows);
    return rows;
}

} // namespace

const std::vector<Row>& Rows()
{
    static const std::vector<Row> rows = AllRows();
    return rows;
}

} // namespace faultmatrix
