#include "simulator/common/output.h"

#include "simulator/common/console_input.h"
#include "simulator/common/fault_state.h"
#include "support/win.h"

#include <cstdlib>
#include <utility>

namespace nwsim
{

Output::Output(const Config& cfg, std::string sTool, std::string sMode)
    : m_cfg(cfg), m_sTool(std::move(sTool)), m_sMode(std::move(sMode)), m_sLineEnd(cfg.sLineEnd)
{
}

void Output::Write(const std::string& sBytes)
{
    // Unbuffered: a pipe reader sees every line (and every prompt) as soon as it is written.
    HANDLE hOut = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD dwWritten = 0;
    if (!sBytes.empty())
        WriteFile(hOut, sBytes.data(), static_cast<DWORD>(sBytes.size()), &dwWritten, nullptr);
}

void Output::CheckConnection()
{
    if (!m_link || m_link->Alive())
        return;
    m_link = nullptr;
    Write(PresetLine("forcibly_closed", m_ctx) + m_sLineEnd);
    ExitProcess(1);
}

void Output::Line(const std::string& sText)
{
    // "line:N" counts the tool's own lines; lines that faults add do not move the count.
    if (!m_bInFault)
        Point("line:" + std::to_string(++m_uLines));
    CheckConnection();
    Write(sText + m_sLineEnd);
    if (m_link)
        m_link->NotifyLine();
}

void Output::Noise(const std::string& sText)
{
    if (m_cfg.bNoise)
        Line(sText);
}

void Output::Prompt(const std::string& sText)
{
    CheckConnection();
    Write(sText);
}

void Output::Point(const std::string& sPoint)
{
    for (const Fault& f : m_cfg.faults) {
        if (!f.bArmed || !FaultMatches(f, m_sTool, m_sMode, sPoint) || m_fired.count(f.sKey))
            continue;
        if (f.bOnce) {
            m_fired.insert(f.sKey);
            MarkFaultFired(m_cfg.sStatePath, f);
        }
        RecordFiring(m_cfg.sStatePath, f);
        Apply(f);
    }
}

bool Output::TakeSkip(std::string& sText)
{
    if (!m_bSkip)
        return false;
    m_bSkip = false;
    sText = m_sSkip;
    return true;
}

void Output::Finish(unsigned uExitCode)
{
    Point("end");
    if (m_link)
        m_link->Close();
    ExitProcess(uExitCode);
}

void Output::Apply(const Fault& f)
{
    m_bInFault = true;
    unsigned long n = std::strtoul(f.sArgument.c_str(), nullptr, 10);
    switch (f.action) {
    case FaultAction::Say: Line(PresetLine(f.sArgument, m_ctx)); break;
    case FaultAction::Fail:
        Line(PresetLine(f.sArgument, m_ctx));
        m_bInFault = false;
        Finish(1);
    case FaultAction::Crash:
        // Half a line, then the process dies the way an access violation ends it.
        Write(std::string("Recovering files from server ").append(m_ctx.sServer).append(" ..."));
        TerminateProcess(GetCurrentProcess(), 0xC0000005);
        break;
    case FaultAction::Partial:
        Write(f.sArgument.empty() ? "Recover completion time: (unfinished)" : PresetLine(f.sArgument, m_ctx));
        ExitProcess(0);
    case FaultAction::Hang: Sleep(n * 1000); break;
    case FaultAction::LongLine: {
        // "longline N path": the line starts as a restored object's would, with the path named
        // last; "longline N list": as an object of "list -l" would.
        std::string sLong = "Long line:";
        if (f.sArgument.find(" path") != std::string::npos)
            sLong = m_ctx.sPath + "Long line";
        else if (f.sArgument.find(" list") != std::string::npos)
            sLong = "       1 f        10 03/08/2021 22:10 " + m_ctx.sPath + "Long line";
        while (sLong.size() + 4 < n)
            sLong.append(1, ' ').append(std::to_string(sLong.size() % 10)).append(1, 'x');
        sLong.resize(n > 4 ? n - 4 : 0, '.');
        Line(sLong + " END");
        break;
    }
    case FaultAction::FormFeed: Line(std::string("\fRecover report for ").append(m_ctx.sClient).append("\f")); break;
    case FaultAction::CrOnly: m_sLineEnd.assign(1, '\r'); break;
    case FaultAction::Exit: ExitProcess(n);
    case FaultAction::Password: AskUnexpectedPassword(f); break;
    case FaultAction::Skip:
        m_bSkip = true;
        m_sSkip = f.sArgument.empty() ? std::string("Permission denied") : PresetLine(f.sArgument, m_ctx);
        break;
    }
    m_bInFault = false;
}

// A password prompt where none is expected: every console input mode off, the prompt without line
// end, then an answer line or the time limit. An answer lets the tool go on; none ends it.
void Output::AskUnexpectedPassword(const Fault& f)
{
    unsigned uSeconds = 0;
    std::string sPrompt;
    ParsePasswordArgument(f.sArgument, uSeconds, sPrompt);
    if (uSeconds == 0)
        uSeconds = m_cfg.uPasswordTimeout;
    Prompt(PresetLine(sPrompt.empty() ? std::string("\"Password for file {path}: \"") : sPrompt, m_ctx));
    std::string sAnswer;
    bool bTimedOut = false;
    bool bRead = ToolInput().ReadSecret(sAnswer, uSeconds ? uSeconds * 1000 : INFINITE, bTimedOut);
    Line("");
    if (bRead)
        return;
    Line(m_sTool + (bTimedOut ? ": no password was given in time" : ": no password was given"));
    m_bInFault = false;
    Finish(1);
}

} // namespace nwsim
