// What a simulated tool prints: every line goes through here, so that the fault knobs can act at
// any line, the line end is the configured one, and the server learns how many lines were written.
#pragma once
#include "simulator/common/config.h"
#include "simulator/common/connection.h"

#include <set>
#include <string>

namespace nwsim
{

class Output
{
public:
    Output(const Config& cfg, std::string sTool, std::string sMode);

    void SetLink(ServerLink* link) { m_link = link; }
    void SetContext(const PresetContext& ctx) { m_ctx = ctx; }
    void SetPath(const std::string& sPath) { m_ctx.sPath = sPath; }
    const PresetContext& Context() const { return m_ctx; }

    // One line with the configured line end. Faults of "line:N" act before it is written; a lost
    // connection to the server ends the tool here with its complaint.
    void Line(const std::string& sText);
    void Noise(const std::string& sText); // a line printed only when the noise knob is on
    void Blank() { Noise(""); }
    // Text without line end (prompts).
    void Prompt(const std::string& sText);
    // Runs the faults registered for a named point of the run (start, end, object:N, ...).
    void Point(const std::string& sPoint);
    // A "skip" fault fired at the last point: the object there is not restored, and recover says
    // why with sText ("<path>: <sText>"). Cleared by asking.
    bool TakeSkip(std::string& sText);
    // Ends the tool: the "end" point first, then the exit code.
    [[noreturn]] void Finish(unsigned uExitCode);

private:
    void Apply(const Fault& f);
    void AskUnexpectedPassword(const Fault& f);
    void Write(const std::string& sBytes);
    void CheckConnection();

    const Config& m_cfg;
    std::string m_sTool, m_sMode, m_sLineEnd;
    PresetContext m_ctx;
    ServerLink* m_link = nullptr;
    unsigned m_uLines = 0;
    bool m_bInFault = false;
    bool m_bSkip = false;
    std::string m_sSkip;
    std::set<std::string> m_fired; // "once" entries that fired in this run
};

} // namespace nwsim
