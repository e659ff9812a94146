#include "simulator/common/output.h"

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
        if (FaultMatches(f, m_sTool, m_sMode, sPoint))
            Apply(f);
    }
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
        std::string sLong = "Long line:";
        while (sLong.size() + 4 < n)
            sLong.append(1, ' ').append(std::to_string(sLong.size() % 10)).append(1, 'x');
        sLong.resize(n > 4 ? n - 4 : 0, '.');
        Line(sLong + " END");
        break;
    }
    case FaultAction::FormFeed: Line(std::string("\fRecover report for ").append(m_ctx.sClient).append("\f")); break;
    case FaultAction::CrOnly: m_sLineEnd.assign(1, '\r'); break;
    case FaultAction::Exit: ExitProcess(n);
    }
    m_bInFault = false;
}

} // namespace nwsim
