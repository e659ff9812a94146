// Reading a tool's output line by line, with heartbeats, abort and the connection watch.
#include "console/console_session.h"
#include "console/tcp_watch.h"
#include "hostapi/message_ids.h"
#include "support/cnm.h"
#include "trace/trace_scope.h"

#include <algorithm>
#include <iphlpapi.h>

namespace
{

const unsigned kHeartbeatsPerWaitingMessage = 4;

} // namespace

void ConsoleSession::ResetReader()
{
    m_ring.clear();
    m_nReadAvailable = m_nReadMoved = 0;
    m_assembler.reset();
    m_uiLastProgressAnswer = 0;
    m_uiHeartbeatPeriods = 0;
    m_pace.Activity(GetTickCount64()); // a tool just started prints soon
}

void ConsoleSession::CloseOutputPipe()
{
    if (!m_hStdOutRd.close()) {
        DWORD dwError = GetLastError();
        CvexTrace().ApiFailure(L"CVEXImpl::ReadChar", L"CloseHandle(STDOUT-RD)", dwError);
    }
}

bool ConsoleSession::AbortRead()
{
    m_bUserAborted = true;
    TellUserAbort();
    CloseOutputPipe();
    return false;
}

// Asks the pipe for more output. False when the output ended or failed (pipe closed).
bool ConsoleSession::FillReadBuffer(const wchar_t* pFn, bool& bGotData)
{
    bGotData = false;
    DWORD dwAvailable = 0;
    if (!PeekNamedPipe(m_hStdOutRd.get(), nullptr, 0, nullptr, &dwAvailable, nullptr)) {
        DWORD dwError = GetLastError();
        if (dwError == ERROR_BROKEN_PIPE)
            CvexTrace().Line(TL_VERBOSE, pFn, L"PeekNamedPipe[STDOUT] input finished");
        else
            CvexTrace().ApiFailure(pFn, L"PeekNamedPipe[STDOUT] error", dwError);
        CloseOutputPipe();
        return false;
    }
    if (dwAvailable == 0)
        return true;
    DWORD dwWanted = dwAvailable < m_readBuffer.size() ? dwAvailable : static_cast<DWORD>(m_readBuffer.size());
    DWORD dwRead = 0;
    if (!ReadFile(m_hStdOutRd.get(), m_readBuffer.data(), dwWanted, &dwRead, nullptr)) {
        CvexTrace().ApiFailure(pFn, L"ReadFile", GetLastError());
        CvexTrace().EndFail(pFn, L"ReadFile failed");
        CloseOutputPipe();
        return false;
    }
    if (dwRead != dwWanted) {
        CvexTrace().EndFail(pFn, L"Didn't read promised data amount");
        CloseOutputPipe();
        return false;
    }
    m_nReadAvailable = dwRead;
    m_nReadMoved = 0;
    bGotData = true;
    m_pace.Activity(GetTickCount64(), dwRead);
    return true;
}

// One heartbeat period of silence: tell the host, warn every fourth time, check the connection.
void ConsoleSession::Heartbeat()
{
    if (m_host.CanReportProgress()) {
        ProgressRecord record;
        record.uiKind = PK_HEARTBEAT;
        record.sText1 = L"Heartbeat";
        m_uiLastProgressAnswer = m_host.ReportProgress(record);
    }
    if (++m_uiHeartbeatPeriods >= kHeartbeatsPerWaitingMessage) {
        m_host.LogMessage(ML_WARNING, MSG_WAITING_FOR_SERVER);
        m_uiHeartbeatPeriods = 0;
    }
    bool bConnected =
        m_host.ServerAddressFamily() == AF_INET6 ? CheckNetWorkerConnection6() : CheckNetWorkerConnection4();
    if (!bConnected) {
        ProgressRecord record;
        record.uiKind = PK_MESSAGE;
        record.sText5 = m_host.MessageText(MSG_CONNECTION_LOST);
        // An abort asked for at the heartbeat stands, whatever the answer to this message.
        unsigned uiAnswer = m_host.ReportProgress(record);
        if (m_uiLastProgressAnswer != 1)
            m_uiLastProgressAnswer = uiAnswer;
        m_bConnectionLost = true;
    }
}

bool ConsoleSession::Pause(DWORD dwMs)
{
    const ULONGLONG ullPeriodMs = static_cast<ULONGLONG>(m_timing.uiPollsPerHeartbeat) * PollPace::kRegularMs;
    const ULONGLONG ullStart = GetTickCount64();
    ULONGLONG ullNextBeat = ullStart;
    for (;;) {
        const ULONGLONG ullNow = GetTickCount64();
        if (ullNow >= ullNextBeat) {
            // No tool runs, so the connection is not watched here: only the host is asked.
            ProgressRecord record;
            record.uiKind = PK_HEARTBEAT;
            record.sText1 = L"Heartbeat";
            if (m_host.CanReportProgress() && m_host.ReportProgress(record) == 1) {
                m_bUserAborted = true;
                TellUserAbort();
                return false;
            }
            ullNextBeat = ullNow + ullPeriodMs;
        }
        if (ullNow - ullStart >= dwMs)
            return true;
        Sleep(static_cast<DWORD>(std::min({ullNextBeat - ullNow, ullStart + dwMs - ullNow, ULONGLONG{100}})));
    }
}

// A password request is announced once (GetLine's empty line); while it stays unanswered the
// reader waits as it does for silence, with heartbeats and the host's abort, instead of handing
// out empty lines as fast as the caller asks for them.
bool ConsoleSession::AnnouncePasswordRequest()
{
    if (!m_shared.bPasswordRequired) {
        m_bPasswordAnnounced = false;
        return false;
    }
    if (m_bPasswordAnnounced)
        return false;
    m_bPasswordAnnounced = true;
    return true;
}

bool ConsoleSession::ReadChar(unsigned char* c)
{
    bool bGotByte = false;
    return c && ReadByte(*c, bGotByte);
}

// As ReadChar, and tells whether a byte was delivered (none while a password is awaited).
bool ConsoleSession::ReadByte(unsigned char& c, bool& bGotByte)
{
    const wchar_t* fn = L"CVEXImpl::ReadChar";
    bGotByte = false;
    if (!m_hStdOutRd)
        return false;
    // The common case, a byte already waiting, takes neither the clock nor the pipe.
    if (m_ring.get(c)) {
        bGotByte = true;
        return m_uiLastProgressAnswer == 1 ? AbortRead() : true;
    }
    for (;;) {
        // A period is its number of regular polls, counted in time slept, or that time on the
        // clock, whichever ends first: on a loaded machine the sleeps last longer, and the host
        // still hears in time.
        const ULONGLONG ullPeriodMs = static_cast<ULONGLONG>(m_timing.uiPollsPerHeartbeat) * PollPace::kRegularMs;
        const ULONGLONG ullStart = GetTickCount64();
        for (ULONGLONG ullSlept = 0; ullSlept < ullPeriodMs && GetTickCount64() - ullStart < ullPeriodMs;) {
            if (m_ring.get(c)) {
                bGotByte = true;
                return m_uiLastProgressAnswer == 1 ? AbortRead() : true;
            }
            if (m_nReadMoved < m_nReadAvailable) {
                m_nReadMoved += m_ring.put(m_readBuffer.data() + m_nReadMoved, m_nReadAvailable - m_nReadMoved);
                continue;
            }
            bool bGotData = false;
            if (!FillReadBuffer(fn, bGotData))
                return false;
            if (bGotData)
                continue;
            if (AnnouncePasswordRequest())
                return true; // no new byte: the caller sees the password request
            const unsigned uiSleepMs = m_pace.SleepMs(GetTickCount64());
            SleepEx(uiSleepMs, TRUE);
            ullSlept += uiSleepMs;
        }
        Heartbeat();
        if (m_uiLastProgressAnswer == 1)
            return AbortRead();
    }
}

bool ConsoleSession::GetLine(std::wstring& sLine, bool bTrace)
{
    const wchar_t* fn = L"CVEXImpl::GetLine";
    unsigned char c = 0;
    for (;;) {
        LineAssembler::Result result = LineAssembler::Result::More;
        size_t nReady = 0;
        const unsigned char* pReady = m_ring.readable(nReady);
        if (nReady > 0 && m_hStdOutRd && m_uiLastProgressAnswer != 1) {
            // Bytes already waiting go to the assembler in one piece.
            size_t nTaken = 0;
            result = m_assembler.push(pReady, nReady, nTaken);
            m_ring.consume(nTaken);
        } else {
            bool bGotByte = false;
            if (!ReadByte(c, bGotByte))
                return false;
            if (!bGotByte) {
                // The tool waits for a password: the caller answers with ProvidePassword.
                sLine.clear();
                m_bLastPiece = false;
                return true;
            }
            result = m_assembler.push(c);
        }
        if (result == LineAssembler::Result::More)
            continue;
        sLine = m_assembler.line();
        m_bLastPiece = m_assembler.piece();
        if (result == LineAssembler::Result::LongLine)
            CvexTrace().Line(TL_INFO, fn, L"Long Line");
        if (bTrace)
            CvexTrace().Str(TL_INFO, fn, result == LineAssembler::Result::Prompt ? L"PROMPT" : L"wszLine", sLine);
        return true;
    }
}

namespace
{

bool ReportNsrexecdRow(TraceScope& scope, const std::vector<TcpRow>& rows)
{
    const wchar_t* fn = scope.fn();
    int i = FindNsrexecdRow(rows);
    if (i < 0)
        return scope.Fail(L"NetWorker nsrexecd Port not found", TL_WARNING);
    CvexTrace().Line(TL_VERBOSE, fn, L"Found NetWorker nsrexecd Port");
    std::wstring sState = NsrexecdStateText(rows[i].dwState);
    if (sState.empty()) {
        CvexTrace().Line(TL_INFO, fn, (std::wstring(fn) + L" : Unknown State").c_str());
        CvexTrace().Int(TL_INFO, fn, L"pTcpTable->table[ i ].dwState", rows[i].dwState);
    } else {
        CvexTrace().Line(TL_VERBOSE, fn, sState.c_str());
    }
    return scope.End();
}

// Calls a table getter with the grow-on-122 protocol; false (the scope ended) on failure.
template <typename Getter>
bool FetchTable(TraceScope& scope, const wchar_t* pCall, std::vector<unsigned char>& buf, Getter get)
{
    ULONG ulSize = 4096;
    for (int tries = 0; tries < 4; ++tries) {
        try {
            buf.resize(ulSize);
        } catch (const std::bad_alloc&) {
            return scope.Fail(L"Error allocating memory");
        }
        DWORD dwRc = get(buf.data(), ulSize);
        if (dwRc == NO_ERROR)
            return true;
        if (dwRc != ERROR_INSUFFICIENT_BUFFER) {
            CvexTrace().Int(TL_ERROR, scope.fn(), (std::wstring(pCall) + L" failed : dwRc").c_str(), dwRc);
            return scope.Fail(L"TCP table not read");
        }
    }
    return scope.Fail(L"TCP table keeps growing");
}

} // namespace

bool ConsoleSession::CheckNetWorkerConnection4()
{
    TraceScope scope(L"CVEXImpl::CheckNetWorkerConnection4");
    std::vector<unsigned char> buf;
    if (!FetchTable(scope, L"GetTcpTable", buf, [](unsigned char* p, ULONG& ul) {
            return GetTcpTable(reinterpret_cast<MIB_TCPTABLE*>(p), &ul, TRUE);
        }))
        return false;
    const MIB_TCPTABLE* pTable = reinterpret_cast<const MIB_TCPTABLE*>(buf.data());
    std::vector<TcpRow> rows;
    for (DWORD i = 0; i < pTable->dwNumEntries; ++i)
        rows.push_back({ntohs(static_cast<u_short>(pTable->table[i].dwRemotePort)), pTable->table[i].dwState});
    return ReportNsrexecdRow(scope, rows);
}

bool ConsoleSession::CheckNetWorkerConnection6()
{
    TraceScope scope(L"CVEXImpl::CheckNetWorkerConnection6");
    std::vector<unsigned char> buf;
    if (!FetchTable(scope, L"CNM::GetTcp6Table", buf, [](unsigned char* p, ULONG& ul) {
            DWORD dwSize = ul;
            DWORD dwRc = CNM::GetTcp6Table(p, dwSize, true);
            ul = dwSize;
            return dwRc;
        }))
        return false;
    const MIB_TCP6TABLE* pTable = reinterpret_cast<const MIB_TCP6TABLE*>(buf.data());
    std::vector<TcpRow> rows;
    for (DWORD i = 0; i < pTable->dwNumEntries; ++i)
        rows.push_back(
            {ntohs(static_cast<u_short>(pTable->table[i].dwRemotePort)), static_cast<DWORD>(pTable->table[i].State)});
    return ReportNsrexecdRow(scope, rows);
}
