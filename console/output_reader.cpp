// Reading a tool's output line by line, with heartbeats, abort and the connection watch.
#include "console/engine_state.h"
#include "console/tcp_watch.h"
#include "plugin/cvex_impl.h"
#include "plugin/message_ids.h"
#include "support/cnm.h"
#include "trace/trace.h"

#include <iphlpapi.h>

namespace
{

const DWORD kPollSleepMs = 10;
const unsigned kHeartbeatsPerWaitingMessage = 4;

} // namespace

void CVEXImpl::CloseOutputPipe()
{
    CloseSessionHandle(m_Handles.hStdOutRd, L"CVEXImpl::ReadChar", L"CloseHandle(STDOUT-RD)");
}

bool CVEXImpl::AbortRead()
{
    m_bUserAborted = true;
    LogStdMsg(ML_ERROR, MSG_USER_ABORTED);
    CloseOutputPipe();
    return false;
}

// Asks the pipe for more output. False when the output ended or failed (pipe closed).
bool CVEXImpl::FillReadBuffer(const wchar_t* pFn, bool& bGotData)
{
    ConsoleEngineState& engine = Engine();
    bGotData = false;
    DWORD dwAvailable = 0;
    if (!PeekNamedPipe(m_Handles.hStdOutRd, nullptr, 0, nullptr, &dwAvailable, nullptr)) {
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
    DWORD dwWanted =
        dwAvailable < engine.readBuffer.size() ? dwAvailable : static_cast<DWORD>(engine.readBuffer.size());
    DWORD dwRead = 0;
    if (!ReadFile(m_Handles.hStdOutRd, engine.readBuffer.data(), dwWanted, &dwRead, nullptr)) {
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
    engine.nReadAvailable = dwRead;
    engine.nReadMoved = 0;
    bGotData = true;
    return true;
}

// One heartbeat period of silence: tell the host, warn every fourth time, check the connection.
void CVEXImpl::Heartbeat()
{
    ConsoleEngineState& engine = Engine();
    if (HasProgressCallback()) {
        ProgressRecord record;
        record.uiKind = PK_HEARTBEAT;
        record.sText1 = L"Heartbeat";
        engine.uiLastProgressAnswer = SendProgress(record);
    }
    if (++engine.uiHeartbeatPeriods >= kHeartbeatsPerWaitingMessage) {
        LogStdMsg(ML_WARNING, MSG_WAITING_FOR_SERVER);
        engine.uiHeartbeatPeriods = 0;
    }
    bool bConnected = m_NetWorkerCredentials.m_ServerIPAddress.family() == AF_INET6 ? CheckNetWorkerConnection6()
                                                                                    : CheckNetWorkerConnection4();
    if (!bConnected) {
        ProgressRecord record;
        record.uiKind = PK_MESSAGE;
        record.sText5 = LoadMessageText(MSG_CONNECTION_LOST);
        // An abort asked for at the heartbeat stands, whatever the answer to this message.
        unsigned uiAnswer = SendProgress(record);
        if (engine.uiLastProgressAnswer != 1)
            engine.uiLastProgressAnswer = uiAnswer;
        m_bConnectionLost = true;
    }
}

bool CVEXImpl::ReadChar(unsigned char* c)
{
    bool bGotByte = false;
    return c && ReadByte(*c, bGotByte);
}

// As ReadChar, and tells whether a byte was delivered (none while a password is awaited).
bool CVEXImpl::ReadByte(unsigned char& c, bool& bGotByte)
{
    const wchar_t* fn = L"CVEXImpl::ReadChar";
    ConsoleEngineState& engine = Engine();
    bGotByte = false;
    if (m_Handles.hStdOutRd == INVALID_HANDLE_VALUE)
        return false;
    for (;;) {
        // A period is its number of polls or their nominal time on the clock, whichever ends
        // first: on a loaded machine the sleeps last longer, and the host still hears in time.
        const ULONGLONG ullPeriodMs = static_cast<ULONGLONG>(m_uiPollsPerHeartbeat) * kPollSleepMs;
        const ULONGLONG ullStart = GetTickCount64();
        for (unsigned uiPoll = 0; uiPoll < m_uiPollsPerHeartbeat && GetTickCount64() - ullStart < ullPeriodMs;
             ++uiPoll) {
            if (engine.ring.get(c)) {
                bGotByte = true;
                return engine.uiLastProgressAnswer == 1 ? AbortRead() : true;
            }
            if (engine.nReadMoved < engine.nReadAvailable) {
                engine.nReadMoved += engine.ring.put(engine.readBuffer.data() + engine.nReadMoved,
                                                     engine.nReadAvailable - engine.nReadMoved);
                continue;
            }
            bool bGotData = false;
            if (!FillReadBuffer(fn, bGotData))
                return false;
            if (bGotData)
                continue;
            if (engine.bPasswordRequired)
                return true; // no new byte: the caller sees the password request
            SleepEx(kPollSleepMs, TRUE);
        }
        Heartbeat();
        if (engine.uiLastProgressAnswer == 1)
            return AbortRead();
    }
}

bool CVEXImpl::GetLine(std::wstring& sLine, bool bTrace)
{
    const wchar_t* fn = L"CVEXImpl::GetLine";
    ConsoleEngineState& engine = Engine();
    unsigned char c = 0;
    for (;;) {
        bool bGotByte = false;
        if (!ReadByte(c, bGotByte))
            return false;
        if (!bGotByte) {
            // The tool waits for a password: the caller answers with ProvidePassword.
            sLine.clear();
            return true;
        }
        LineAssembler::Result result = engine.assembler.push(c);
        if (result == LineAssembler::Result::More)
            continue;
        sLine = engine.assembler.line();
        if (result == LineAssembler::Result::LongLine)
            CvexTrace().Line(TL_INFO, fn, L"Long Line");
        if (bTrace)
            CvexTrace().Str(TL_INFO, fn, result == LineAssembler::Result::Prompt ? L"PROMPT" : L"wszLine", sLine);
        return true;
    }
}

namespace
{

bool ReportNsrexecdRow(const wchar_t* pFn, const std::vector<TcpRow>& rows)
{
    int i = FindNsrexecdRow(rows);
    if (i < 0) {
        CvexTrace().EndFail(pFn, L"NetWorker nsrexecd Port not found", TL_WARNING);
        return false;
    }
    CvexTrace().Line(TL_VERBOSE, pFn, L"Found NetWorker nsrexecd Port");
    std::wstring sState = NsrexecdStateText(rows[i].dwState);
    if (sState.empty()) {
        CvexTrace().Line(TL_INFO, pFn, (std::wstring(pFn) + L" : Unknown State").c_str());
        CvexTrace().Int(TL_INFO, pFn, L"pTcpTable->table[ i ].dwState", rows[i].dwState);
    } else {
        CvexTrace().Line(TL_VERBOSE, pFn, sState.c_str());
    }
    return true;
}

// Calls a table getter with the grow-on-122 protocol; empty on failure.
template <typename Getter>
bool FetchTable(const wchar_t* pFn, const wchar_t* pCall, std::vector<unsigned char>& buf, Getter get)
{
    ULONG ulSize = 4096;
    for (int tries = 0; tries < 4; ++tries) {
        try {
            buf.resize(ulSize);
        } catch (const std::bad_alloc&) {
            CvexTrace().EndFail(pFn, L"Error allocating memory");
            return false;
        }
        DWORD dwRc = get(buf.data(), ulSize);
        if (dwRc == NO_ERROR)
            return true;
        if (dwRc != ERROR_INSUFFICIENT_BUFFER) {
            CvexTrace().Int(TL_ERROR, pFn, (std::wstring(pCall) + L" failed : dwRc").c_str(), dwRc);
            return false;
        }
    }
    return false;
}

} // namespace

bool CVEXImpl::CheckNetWorkerConnection4()
{
    const wchar_t* fn = L"CVEXImpl::CheckNetWorkerConnection4";
    CvexTrace().Start(fn);
    std::vector<unsigned char> buf;
    if (!FetchTable(fn, L"GetTcpTable", buf, [](unsigned char* p, ULONG& ul) {
            return GetTcpTable(reinterpret_cast<MIB_TCPTABLE*>(p), &ul, TRUE);
        }))
        return false;
    const MIB_TCPTABLE* pTable = reinterpret_cast<const MIB_TCPTABLE*>(buf.data());
    std::vector<TcpRow> rows;
    for (DWORD i = 0; i < pTable->dwNumEntries; ++i)
        rows.push_back({ntohs(static_cast<u_short>(pTable->table[i].dwRemotePort)), pTable->table[i].dwState});
    return ReportNsrexecdRow(fn, rows);
}

bool CVEXImpl::CheckNetWorkerConnection6()
{
    const wchar_t* fn = L"CVEXImpl::CheckNetWorkerConnection6";
    CvexTrace().Start(fn);
    std::vector<unsigned char> buf;
    if (!FetchTable(fn, L"CNM::GetTcp6Table", buf, [](unsigned char* p, ULONG& ul) {
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
    return ReportNsrexecdRow(fn, rows);
}
