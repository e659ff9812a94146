// The rows of the fault matrix. Ids are the module's message ids; the last-error texts are
// parts of the messages' texts.
#include "hostapi/message_ids.h"
#include "tests/faults/fault_matrix.h"

namespace faultmatrix
{

namespace
{

constexpr unsigned kBound = 30;     // seconds: any run of a faulted operation
constexpr unsigned kHangBound = 45; // a tool that stays silent 6 s, with the heartbeats around it
constexpr unsigned kSlowBound = 60; // a server that waits 3 s before each of a call's sessions

Expect Ok(std::vector<unsigned> ids = {}, unsigned uiBound = kBound)
{
    return {std::move(ids), true, nullptr, uiBound, true};
}

Expect Fails(std::vector<unsigned> ids, const wchar_t* pLastError, unsigned uiBound = kBound)
{
    return {std::move(ids), false, pLastError, uiBound, true};
}

Expect NotRun()
{
    Expect e;
    e.bRun = false;
    return e;
}

// A fault that strikes when the session opens: only the first position is a run of its own.
std::array<Expect, kPositions> AtOpen(const Expect& e)
{
    return {e, NotRun(), NotRun()};
}

const wchar_t kNotRegistered[] = L"client name is not registered on NetWorker server localhost";
const wchar_t kAddressNotRegistered[] = L"client address is not registered on NetWorker server localhost";
const wchar_t kLost[] = L"Lost connection to NetWorker server";
const wchar_t kRestoreFailed[] = L"Failed to restore filespace";
const wchar_t kCountCutShort[] = L"a count cut short is no count: the fault strikes the first session only, and the "
                                 L"second count is whole";
const wchar_t kShortLost[] = L"restored; the connection to the NetWorker server was lost";

const wchar_t kSummaryCut[] = L"the summary did not come; after the last line the configuration is complete";

// A configuration fetch that ends early: it fails until the tool's last line has come.
std::array<Expect, kPositions> SummaryCut()
{
    const Expect cut = Fails({MSG_EXTRACT_CONFIG_FAILED}, L"extract configuration");
    return {cut, cut, Ok()};
}

std::vector<Row> RestoreRows()
{
    const unsigned W = MSG_NETWORKER_MESSAGE;
    static const wchar_t kPassed[] = L"passed on as a message of recover (the line holds \":recover:\")";
    static const wchar_t kIgnored[] = L"not a text the restore reacts to";
    std::vector<Row> rows = {
        {Phase::Restore, Fault::Line, L"secured_data",
         Same(Fails({MSG_NTFS_TO_NON_NTFS}, L"NTFS volume on to a non-NTFS")),
         L"failure flag set; recover is read to its end"},
        {Phase::Restore, Fault::Line, L"not_configured", Same(Fails({MSG_CLIENT_NAME_NOT_REGISTERED}, kNotRegistered)),
         L"the line names the client"},
        {Phase::Restore, Fault::Line, L"not_configured_address",
         Same(Fails({MSG_CLIENT_ADDRESS_NOT_REGISTERED}, kAddressNotRegistered)), L"the line names another host"},
        {Phase::Restore, Fault::Line, L"ddcl", Same(Fails({MSG_DDCL_OPEN_FAILED}, L"Cannot open file via DDCL")),
         L"failure flag set"},
        {Phase::Restore, Fault::Line, L"stale_rpc",
         Same(Fails({MSG_STALE_RPC_HANDLE}, L"stale asynchronous RPC handle")), L"failure flag set"},
        {Phase::Restore, Fault::Line, L"threads_failed",
         Same(Fails({MSG_RECOVER_THREADS_FAILED}, L"recover threads failed")), L"failure flag set"},
        {Phase::Restore,
         Fault::Line,
         L"forcibly_closed",
         {Fails({MSG_CONNECTION_LOST, MSG_RESTORE_SHORT}, kShortLost),
          Fails({MSG_CONNECTION_LOST, MSG_RESTORE_SHORT}, kShortLost), Fails({MSG_CONNECTION_LOST}, kLost)},
         L"the session is lost: at the end, with both counts when objects are missing"},
        {Phase::Restore, Fault::Line, L"recover_message", Same(Ok({W})),
         L"message 169 with the text after \":recover:\""},
        {Phase::Restore, Fault::Line, L"incorrect_password", Same(Ok()), L"the held password is cleared"},
        {Phase::Restore, Fault::Line, L"password_prompt", Same(Ok()), L"a prompt is answered when recover waits"},
        {Phase::Restore, Fault::Line, L"file_exists", Same(Ok()), L"ignored"},
        {Phase::Restore, Fault::Line, L"not_found", Same(Ok({W})), L"a per-file error: a warning, not an object"},
        {Phase::Restore, Fault::Line, L"compressed", Same(Ok({W})), L"a per-file error: a warning, not an object"},
        {Phase::Restore, Fault::Line, L"\"recover> \"", Same(Ok()), kIgnored},
    };
    for (const wchar_t* p : {L"no_backups", L"busy", L"no_route", L"no_volumes", L"port_range", L"init_ports",
                             L"timed_out", L"rpc_call", L"rap_error", L"no_response"})
        rows.push_back({Phase::Restore, Fault::Line, p, Same(Ok({W})), kPassed});
    for (const wchar_t* p : {L"banner", L"recovering_writer", L"dns_lookup", L"reverse_dns", L"rpc_error",
                             L"skipping_password", L"simultaneous", L"asr"})
        rows.push_back({Phase::Restore, Fault::Line, p, Same(Ok()), kIgnored});
    rows.push_back({Phase::Restore,
                    Fault::ServerDrop,
                    L"",
                    {Fails({MSG_CONNECTION_LOST, MSG_RESTORE_SHORT}, kShortLost),
                     Fails({MSG_CONNECTION_LOST, MSG_RESTORE_SHORT}, kShortLost), NotRun()},
                    L"recover reports the reset at its next line; a drop after the last line is its normal end"});
    rows.push_back({Phase::Restore,
                    Fault::ExitNonZero,
                    L"",
                    {Fails({MSG_RESTORE_SHORT}, L"recover ended with exit code 1"),
                     Fails({MSG_RESTORE_SHORT}, L"recover ended with exit code 1"), Ok()},
                    L"objects missing that recover did not name fail the restore; after the last one the exit code "
                    L"changes nothing"});
    rows.push_back(
        {Phase::Restore,
         Fault::Crash,
         L"",
         {Fails({MSG_RESTORE_SHORT}, L"recover ended abnormally"),
          Fails({MSG_RESTORE_SHORT}, L"recover ended abnormally"),
          Fails({MSG_RESTORE_FILESPACE_FAILED}, kRestoreFailed)},
         L"a crashed recover fails the restore, whatever it brought back; the counts when some are missing"});
    rows.push_back({Phase::Restore, Fault::Hang, L"", Same(Ok({}, kHangBound)),
                    L"the host is kept informed while recover is silent"});
    return rows;
}

std::vector<Row> CountRows()
{
    static const wchar_t kIgnored[] = L"the count reads only the banner, prompts and objects";
    std::vector<Row> rows;
    for (const wchar_t* p : {L"secured_data", L"not_configured", L"ddcl", L"stale_rpc", L"threads_failed",
                             L"recover_message", L"no_backups", L"not_found", L"incorrect_password", L"banner"})
        rows.push_back({Phase::Count, Fault::Line, p, Same(Ok()), kIgnored});
    const Expect neverOpens = Fails({MSG_COUNT_CUT_SHORT, MSG_RESTORE_FILESPACE_FAILED}, kRestoreFailed);
    rows.push_back({Phase::Count, Fault::ServerRefuse, L"", AtOpen(neverOpens),
                    L"the session never opens, nor does the second count's"});
    rows.push_back({Phase::Count, Fault::ServerBusy, L"", AtOpen(neverOpens),
                    L"the session never opens, nor does the second count's"});
    rows.push_back({Phase::Count, Fault::ServerSlow, L"", AtOpen(Ok()), L"only later"});
    rows.push_back({Phase::Count, Fault::ServerDrop, L"", {Ok(), Ok(), NotRun()}, kCountCutShort});
    rows.push_back({Phase::Count, Fault::ExitNonZero, L"", Same(Ok()), kCountCutShort});
    rows.push_back({Phase::Count, Fault::Crash, L"", Same(Ok()), kCountCutShort});
    rows.push_back({Phase::Count, Fault::Hang, L"", Same(Ok({}, kHangBound)), L"the host is kept informed"});
    return rows;
}

// Init's middle line is still before the banner, as its first is: Init runs each fault at its
// first line and at the line before the prompt, the one after the session was proven.
std::array<Expect, kPositions> FirstAndLast(const Expect& first, const Expect& last)
{
    return {first, NotRun(), last};
}

std::vector<Row> InitRows()
{
    static const wchar_t kIgnored[] = L"not a text of the connection test";
    static const wchar_t kFailed[] = L"test failed, also after the banner proved the session";
    const Expect noSession = Fails({MSG_NO_SESSION}, L"Could not establish session");
    std::vector<Row> rows = {
        {Phase::Init, Fault::Line, L"no_backups",
         FirstAndLast(Fails({MSG_NO_BACKUPS}, L"No files have been backed up"),
                      Fails({MSG_NO_BACKUPS}, L"No files have been backed up")),
         kFailed},
        {Phase::Init, Fault::Line, L"threads_failed",
         FirstAndLast(Fails({MSG_RECOVER_THREADS_FAILED}, L"recover threads failed"),
                      Fails({MSG_RECOVER_THREADS_FAILED}, L"recover threads failed")),
         kFailed},
        {Phase::Init, Fault::Line, L"no_response",
         FirstAndLast(Fails({MSG_CONNECTION_TIMED_OUT}, L"timed out"), Fails({MSG_CONNECTION_TIMED_OUT}, L"timed out")),
         kFailed},
        {Phase::Init, Fault::Line, L"rpc_call",
         FirstAndLast(Fails({MSG_SERVER_NOT_CONTACTED}, L"could not be contacted"),
                      Fails({MSG_SERVER_NOT_CONTACTED}, L"could not be contacted")),
         L"no duplicate address: the server name is wrong"},
        {Phase::Init, Fault::Line, L"not_configured",
         FirstAndLast(Fails({MSG_CLIENT_NAME_NOT_REGISTERED}, kNotRegistered),
                      Fails({MSG_CLIENT_NAME_NOT_REGISTERED}, kNotRegistered)),
         kFailed},
        {Phase::Init, Fault::Line, L"not_configured_address",
         FirstAndLast(Fails({MSG_CLIENT_ADDRESS_NOT_REGISTERED}, kAddressNotRegistered),
                      Fails({MSG_CLIENT_ADDRESS_NOT_REGISTERED}, kAddressNotRegistered)),
         kFailed},
        {Phase::Init, Fault::Line, L"forcibly_closed",
         FirstAndLast(Fails({MSG_CONNECTION_FORCIBLY_CLOSED}, L"forcibly closed"),
                      Fails({MSG_CONNECTION_FORCIBLY_CLOSED}, L"forcibly closed")),
         kFailed},
        {Phase::Init, Fault::Line, L"no_route", FirstAndLast(noSession, noSession),
         L"a 9.2 client: the test fails at once; message 163 tells the host why"},
    };
    // A text Init does not react to is ignored wherever it comes: one run each.
    for (const wchar_t* p : {L"ddcl", L"stale_rpc", L"recover_message", L"busy", L"timed_out", L"secured_data"})
        rows.push_back({Phase::Init, Fault::Line, p, AtOpen(Ok()), kIgnored});
    rows.push_back({Phase::Init, Fault::ServerRefuse, L"", AtOpen(noSession), L"no banner: no session"});
    rows.push_back({Phase::Init, Fault::ServerBusy, L"", AtOpen(noSession), L"no banner: no session"});
    rows.push_back({Phase::Init, Fault::ServerSlow, L"", AtOpen(Ok()), L"only later"});
    static const wchar_t kBanner[] = L"no banner: no session; after the banner the session stands without the prompt";
    rows.push_back({Phase::Init, Fault::ExitNonZero, L"", FirstAndLast(noSession, Ok()), kBanner});
    rows.push_back({Phase::Init, Fault::Crash, L"", FirstAndLast(noSession, Ok()), kBanner});
    rows.push_back({Phase::Init, Fault::Hang, L"", AtOpen(Ok({}, kHangBound)), L"the host is kept informed"});
    return rows;
}

std::vector<Row> ListingRows()
{
    static const wchar_t kIgnored[] = L"the listing reads prompts, filespace and system-state lines";
    static const wchar_t kIncomplete[] = L"recover ended before the listing was complete; after its last line the "
                                         L"listing stands";
    const Expect incomplete = Fails({MSG_FILESPACE_LIST_FAILED}, L"Failed to get a list of filespaces");
    const Expect lost = Fails({MSG_CONNECTION_LOST}, kLost);
    std::vector<Row> rows;
    for (const wchar_t* p : {L"banner", L"ddcl", L"not_configured"})
        rows.push_back({Phase::Listing, Fault::Line, p, Same(Ok()), kIgnored});
    rows.push_back({Phase::Listing,
                    Fault::Line,
                    L"\"recover> \"",
                    {Fails({MSG_EXTRACT_CONFIG_FAILED}, L"extract configuration"), Ok(), Ok()},
                    L"a prompt before the banner moves the dialogue on, so the listing goes unread; within the "
                    L"listing or after it, it only ends the dialogue early"});
    rows.push_back(
        {Phase::Listing, Fault::Line, L"forcibly_closed", Same(lost), L"the listing seen is not the whole backup"});
    rows.push_back({Phase::Listing, Fault::ServerRefuse, L"", AtOpen(incomplete), L"the session never opens"});
    rows.push_back({Phase::Listing, Fault::ServerBusy, L"", AtOpen(incomplete), L"the session never opens"});
    rows.push_back({Phase::Listing, Fault::ServerSlow, L"", AtOpen(Ok({}, kSlowBound)),
                    L"only later; every session of the call waits"});
    rows.push_back({Phase::Listing, Fault::ServerDrop, L"", {lost, lost, NotRun()}, L"the connection watch sees it"});
    rows.push_back({Phase::Listing, Fault::ExitNonZero, L"", {incomplete, incomplete, Ok()}, kIncomplete});
    rows.push_back({Phase::Listing, Fault::Crash, L"", {incomplete, incomplete, Ok()}, kIncomplete});
    rows.push_back({Phase::Listing, Fault::Hang, L"", AtOpen(Ok({}, kHangBound)), L"the host is kept informed"});
    return rows;
}

std::vector<Row> ConfigRows()
{
    std::vector<Row> rows = {
        {Phase::Config, Fault::Line, L"ddcl", Same(Fails({MSG_DDCL_OPEN_FAILED}, L"Cannot open file via DDCL")),
         L"the fetch fails"},
        {Phase::Config, Fault::Line, L"busy", Same(Fails({MSG_SERVER_BUSY}, L"BUSY")), L"the fetch fails"},
        {Phase::Config, Fault::Line, L"forcibly_closed",
         Same(Fails({MSG_CONNECTION_FORCIBLY_CLOSED}, L"forcibly closed")), L"the fetch fails"},
        {Phase::Config, Fault::Line, L"no_volumes", Same(Fails({MSG_NO_VOLUMES}, L"No volumes found")),
         L"the fetch fails"},
        {Phase::Config, Fault::Line, L"stale_rpc",
         Same(Fails({MSG_STALE_RPC_HANDLE}, L"stale asynchronous RPC handle")), L"the fetch fails"},
        {Phase::Config, Fault::Line, L"threads_failed",
         Same(Fails({MSG_RECOVER_THREADS_FAILED}, L"recover threads failed")), L"the fetch fails"},
        {Phase::Config, Fault::Line, L"compressed",
         Same(Fails({MSG_CONFIG_COMPRESSED}, L"configuration is compressed")), L"the fetch fails"},
        {Phase::Config, Fault::Line, L"timed_out", Same(Ok({MSG_CONNECTION_RETRYING}, kBound)),
         L"the item is fetched again 5 s later", L"once"},
        {Phase::Config, Fault::Line, L"recover_message", Same(Ok({MSG_NETWORKER_MESSAGE})), L"message 169"},
        {Phase::Config, Fault::Line, L"not_configured", Same(Ok({MSG_NETWORKER_MESSAGE})),
         L"not a text of the fetch: passed on as a message of recover"},
        {Phase::Config, Fault::Line, L"skipping_password", Same(Ok()), L"noted in the trace"},
        {Phase::Config, Fault::Line, L"incorrect_password", Same(Ok()), L"the held password is cleared"},
        {Phase::Config,
         Fault::ServerDrop,
         L"",
         {Fails({MSG_CONNECTION_FORCIBLY_CLOSED}, L"forcibly closed"),
          Fails({MSG_CONNECTION_FORCIBLY_CLOSED}, L"forcibly closed"), NotRun()},
         L"recover reports the reset"},
        {Phase::Config, Fault::ExitNonZero, L"", SummaryCut(), kSummaryCut},
        {Phase::Config, Fault::Crash, L"", SummaryCut(), kSummaryCut},
        {Phase::Config, Fault::Hang, L"", Same(Ok({}, kHangBound)), L"the host is kept informed"},
    };
    return rows;
}

// The system-state kinds read their tools' output with one code (the count of each kind, the
// restore of each kind, the end of a pass), so the rows of the writers' kind carry every text
// and fault at its positions, and the other kinds run, once each, what differs: the message of
// their component, the warning of a shortfall, a failure text of each pass, a crash and a drop,
// and (those restored by id) the report.
enum PositionMask : unsigned { S = 1, M = 2, L = 4 };

std::array<Expect, kPositions> Only(std::array<Expect, kPositions> at, unsigned uiMask)
{
    for (unsigned p = 0; p < kPositions; ++p)
        if (!(uiMask & (1u << p)))
            at[p] = NotRun();
    return at;
}

// A system-state kind as the matrix's stores hold it: the phases of its component's two passes
// and the message its failure gives; the text of that message is the last error (the
// preparation's first failure).
struct SystemKind {
    Phase count;
    Phase restore;
    unsigned uiFailed;
    const wchar_t* pFailed;
};

const wchar_t kSystemFailed[] = L"the component fails; the walk goes on, the preparation fails";
const wchar_t kSystemIgnored[] = L"not a text the pass reacts to";
const wchar_t kNoSession[] = L"recover has no session: the count fails with the reason, and the component (the "
                             L"empty saveset's rule does not apply)";
const wchar_t kNoReport[] = L"the report cannot be had: no saveset of the kind is found";

class SystemRowsOf
{
public:
    SystemRowsOf(std::vector<Row>& rows, const SystemKind& kind) : m_rows(rows), m_kind(kind) {}

    // A text that fails the pass: its own message, then the component's.
    void Failing(Phase phase, const wchar_t* pText, unsigned uiId, unsigned uiMask,
                 const wchar_t* pNote = kSystemFailed)
    {
        Add(phase, Fault::Line, pText, Same(FailsWith(uiId)), uiMask, pNote);
    }
    void Passing(Phase phase, const wchar_t* pText, std::vector<unsigned> ids, unsigned uiMask, const wchar_t* pNote)
    {
        Add(phase, Fault::Line, pText, Same(Ok(std::move(ids))), uiMask, pNote);
    }
    void Add(Phase phase, Fault fault, const wchar_t* pArgument, const std::array<Expect, kPositions>& at,
             unsigned uiMask, const wchar_t* pNote, bool bReport = false)
    {
        m_rows.push_back({phase, fault, pArgument, Only(at, uiMask), pNote, L"", bReport});
    }
    // The server's faults meet the preparation's first tool, the count of the component: recover
    // says it has no session, and the count fails with the reason.
    void ServerRows()
    {
        Add(m_kind.count, Fault::ServerRefuse, L"", AtOpen(FailsWith(MSG_NO_SESSION)), S, kNoSession);
        Add(m_kind.count, Fault::ServerBusy, L"", AtOpen(FailsWith(MSG_SERVER_BUSY)), S, kNoSession);
        SlowAndSilent(false);
    }
    // The kinds restored by id meet them in the report first: every component of the kind in the
    // store is missing from it (ids: their messages, in the walk's order).
    void ReportServerRows(const std::vector<unsigned>& ids)
    {
        const Expect missing = Fails(ids, m_kind.pFailed);
        Add(m_kind.count, Fault::ServerRefuse, L"", AtOpen(missing), S, kNoReport, true);
        Add(m_kind.count, Fault::ServerBusy, L"", AtOpen(missing), S, kNoReport, true);
        SlowAndSilent(true);
    }
    void SlowAndSilent(bool bReport)
    {
        Add(m_kind.count, Fault::ServerSlow, L"", AtOpen(Ok({}, kSlowBound)), S, L"only later", bReport);
        Add(m_kind.count, Fault::Hang, L"", Same(Ok({}, kHangBound)), S, L"the host is kept informed", bReport);
    }
    Expect Failed() const { return Fails({m_kind.uiFailed}, m_kind.pFailed); }
    Expect FailsWith(unsigned uiId) const { return Fails({uiId, m_kind.uiFailed}, m_kind.pFailed); }
    // Exit 1 in the restore: nothing restored fails, a shortfall is warning 201, none after the last.
    std::array<Expect, kPositions> RestoreExit() const { return {Failed(), Ok({MSG_COMPONENT_INCOMPLETE}), Ok()}; }
    std::array<Expect, kPositions> Lost() const
    {
        return {FailsWith(MSG_CONNECTION_LOST), FailsWith(MSG_CONNECTION_LOST), NotRun()};
    }

private:
    std::vector<Row>& m_rows;
    const SystemKind& m_kind;
};

const wchar_t kRestoreExit[] = L"the exit code is not read: nothing restored fails the component, fewer objects than "
                               L"counted is warning 201";
const wchar_t kCrashed[] = L"a crashed recover fails the component, whatever it brought back";
const wchar_t kLostNote[] = L"the connection watch sees it; one message at the end";

void VssRows(std::vector<Row>& rows)
{
    const SystemKind k{Phase::VssCount, Phase::VssRestore, MSG_RESTORE_VSS_OTHER_FAILED,
                       L"Failed to restore VSS OTHER"};
    SystemRowsOf r(rows, k);
    const Phase c = k.count, x = k.restore;
    r.Failing(x, L"secured_data", MSG_NTFS_TO_NON_NTFS, S | M | L,
              L"failure noted, recover read to its end; the component fails, the walk goes on");
    r.Failing(x, L"not_configured", MSG_CLIENT_NAME_NOT_REGISTERED, S | M | L);
    r.Failing(x, L"not_configured_address", MSG_CLIENT_ADDRESS_NOT_REGISTERED, M);
    r.Failing(x, L"ddcl", MSG_DDCL_OPEN_FAILED, M, L"a failure text of the filespace restore fails the component too");
    r.Failing(x, L"forcibly_closed", MSG_CONNECTION_LOST, M, L"the session is lost: one message at the end");
    r.Passing(x, L"recover_message", {MSG_NETWORKER_MESSAGE}, S | M | L,
              L"message 169 with the text after \":recover:\"");
    r.Passing(x, L"not_found", {MSG_NETWORKER_MESSAGE}, M, L"a per-file error: a warning, not an object");
    r.Passing(x, L"recovering_writer", {}, S | M | L,
              L"the staging folder is looked up until found; before recover made it, none is");
    for (const wchar_t* p : {L"file_exists", L"asr", L"compressed", L"simultaneous"})
        r.Passing(x, p, {}, M, kSystemIgnored);
    r.Add(x, Fault::ExitNonZero, L"", r.RestoreExit(), S | M | L, kRestoreExit);
    r.Add(x, Fault::Crash, L"", Same(r.Failed()), S | M | L, kCrashed);
    r.Add(x, Fault::Hang, L"", Same(Ok({}, kHangBound)), S, L"the host is kept informed");
    r.Add(x, Fault::ServerDrop, L"", r.Lost(), S | M, kLostNote);

    r.Failing(c, L"not_configured", MSG_CLIENT_NAME_NOT_REGISTERED, S | M | L, L"the count fails, and the component");
    r.Failing(c, L"not_configured_address", MSG_CLIENT_ADDRESS_NOT_REGISTERED, S | M | L,
              L"the count fails, and the component");
    r.Failing(c, L"secured_data", MSG_NTFS_TO_NON_NTFS, M, L"a failure text of the restore fails the count too");
    for (const wchar_t* p : {L"file_exists", L"compressed"})
        r.Passing(c, p, {}, M, L"never an object of the count");
    r.Failing(c, L"busy", MSG_SERVER_BUSY, S, kNoSession);
    r.Failing(c, L"no_route", MSG_NO_SESSION, S, kNoSession);
    r.Add(c, Fault::ExitNonZero, L"", Same(Ok()), S | M | L,
          L"a count cut short is raised to the objects the restore brings back");
    r.Add(c, Fault::Crash, L"", Same(r.Failed()), S | M | L, L"a crashed recover fails the count");
    r.Add(c, Fault::ServerDrop, L"", r.Lost(), S | M, kLostNote);
    r.ServerRows();
}

void LegacyRows(std::vector<Row>& rows)
{
    const SystemKind k{Phase::LegacyCount, Phase::LegacyRestore, MSG_RESTORE_SYSTEM_FILES_FAILED,
                       L"Failed to restore SYSTEM FILES"};
    SystemRowsOf r(rows, k);
    r.Failing(k.restore, L"not_configured", MSG_CLIENT_NAME_NOT_REGISTERED, M);
    r.Passing(k.restore, L"recover_message", {MSG_NETWORKER_MESSAGE}, M, L"message 169");
    r.Add(k.restore, Fault::ExitNonZero, L"", r.RestoreExit(), M, kRestoreExit);
    r.Add(k.restore, Fault::Crash, L"", Same(r.Failed()), M, kCrashed);
    r.Failing(k.restore, L"secured_data", MSG_NTFS_TO_NON_NTFS, M);
    r.Add(k.restore, Fault::ServerDrop, L"", r.Lost(), M, kLostNote);
    r.Failing(k.count, L"not_configured", MSG_CLIENT_NAME_NOT_REGISTERED, M, L"the count fails, and the component");
    r.Add(k.count, Fault::Crash, L"", Same(r.Failed()), M, L"a crashed recover fails the count");
    r.ServerRows();
}

// The kinds restored by id: the report first (its first line names no saveset of the kind).
void ByIdRows(std::vector<Row>& rows, const SystemKind& k, const std::vector<unsigned>& ids)
{
    SystemRowsOf r(rows, k);
    r.Add(k.count, Fault::ExitNonZero, L"", Same(r.Failed()), S, L"no saveset of the kind found in the report", true);
    r.Add(k.count, Fault::ServerDrop, L"", Same(r.FailsWith(MSG_CONNECTION_LOST)), S | M,
          L"mminfo says the session was reset: a report cut short is not trusted", true);
    r.Add(k.restore, Fault::ExitNonZero, L"", r.RestoreExit(), M, kRestoreExit);
    r.Add(k.restore, Fault::Crash, L"", Same(r.Failed()), M, kCrashed);
    r.Add(k.restore, Fault::ServerDrop, L"", r.Lost(), M, kLostNote);
    r.Passing(k.restore, L"recover_message", {MSG_NETWORKER_MESSAGE}, M, L"message 169");
    r.Add(k.count, Fault::Crash, L"", Same(r.Failed()), M, L"a crashed recover fails the count");
    r.Add(k.count, Fault::Hang, L"", Same(Ok({}, kHangBound)), S, L"the host is kept informed");
    r.ReportServerRows(ids);
}

void NmmRows(std::vector<Row>& rows)
{
    const SystemKind k{Phase::NmmCount, Phase::NmmRestore, MSG_RESTORE_NMM_APPLICATIONS_FAILED,
                       L"Failed to restore (NMM) APPLICATIONS"};
    SystemRowsOf r(rows, k);
    r.Failing(k.restore, L"secured_data", MSG_NTFS_TO_NON_NTFS, M);
    r.Failing(k.count, L"not_configured_address", MSG_CLIENT_ADDRESS_NOT_REGISTERED, M,
              L"the count fails, and the component");
    // The store holds the three NMM savesets, which the listing finds only together.
    ByIdRows(
        rows, k,
        {MSG_RESTORE_NMM_APPLICATIONS_FAILED, MSG_RESTORE_NMM_SYSTEM_COMPONENTS_FAILED, MSG_RESTORE_NMM_VSS_FAILED});
}

void DrRows(std::vector<Row>& rows)
{
    const SystemKind k{Phase::DrCount, Phase::DrRestore, MSG_RESTORE_DISASTER_RECOVERY_FAILED,
                       L"Failed to restore DISASTER_RECOVERY"};
    SystemRowsOf r(rows, k);
    r.Failing(k.restore, L"not_configured_address", MSG_CLIENT_ADDRESS_NOT_REGISTERED, M);
    r.Failing(k.count, L"secured_data", MSG_NTFS_TO_NON_NTFS, M, L"a failure text of the restore fails the count too");
    ByIdRows(rows, k, {MSG_RESTORE_DISASTER_RECOVERY_FAILED});
}

std::vector<Row> SystemRows()
{
    std::vector<Row> rows;
    VssRows(rows);
    LegacyRows(rows);
    NmmRows(rows);
    DrRows(rows);
    return rows;
}

std::vector<Row> AllRows()
{
    std::vector<Row> rows;
    for (auto part : {InitRows, ListingRows, ConfigRows, CountRows, RestoreRows, SystemRows}) {
        std::vector<Row> some = part();
        rows.insert(rows.end(), some.begin(), some.end());
    }
    return rows;
}

} // namespace

const std::vector<Row>& Rows()
{
    static const std::vector<Row> rows = AllRows();
    return rows;
}

} // namespace faultmatrix
