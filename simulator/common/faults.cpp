#include "simulator/common/faults.h"

#include "simulator/common/text.h"

#include <cstring>
#include <utility>

namespace nwsim
{
namespace
{

struct Preset {
    const char* pszName;
    const char* pszLine; // {server}, {client} and {path} are filled in
};

// One realistic line per literal that the restore module recognises. Lines meant to be recognised as
// errors by the restore carry no drive path (":\"), as a path makes the restore take them for objects.
const Preset kPresets[] = {
    {"banner", "Current working directory is C:\\"},
    {"recovering_writer", "Recovering Writer \"System Writer\" components ..."},
    {"no_backups", "53014:{tool}: No files have been backed up for this client `{client}'."},
    {"not_configured", "39078:{tool}: Client `{client}' is not properly configured on the NetWorker Server"},
    {"not_configured_address", "39078:{tool}: Host 192.0.2.1 is not properly configured on the NetWorker Server"},
    {"ddcl", "91810:{tool}: Cannot open file via DDCL for save-set with ssid 4200001001: device not ready"},
    {"secured_data", "{path}: Cannot recover secured data to this file system"},
    {"dns_lookup", "6142:mminfo: SYSTEM warning: DNS lookup failed for host `{client}'"},
    {"busy", "32586:{tool}: Recover request to server `{server}' failed: busy"},
    {"forcibly_closed", "6202:{tool}: RPC receive operation failed; An existing connection was forcibly closed by the "
                        "remote host."},
    {"no_route", "12548:{tool}: Cannot connect to `{server}': Remote system error - No route to host"},
    {"no_volumes", "53049:{tool}: No volumes found for recover"},
    {"incorrect_password", "Incorrect password for file {path}"},
    {"port_range", "7136:{tool}: Failed to get port range from local nsrexecd: Program not registered"},
    {"init_ports", "7135:{tool}: Failed initialize ports: Program not registered"},
    {"reverse_dns", "6143:mminfo: SYSTEM warning: Reverse DNS lookup failed for address 192.0.2.1"},
    {"rpc_error", "6208:mminfo: RPC error: Remote system error - Unknown error"},
    {"stale_rpc", "15433:{tool}: Stale asynchronous RPC handle"},
    {"timed_out", "15501:{tool}: 352:Remote system error - Connection timed out"},
    {"rpc_call", "6203:{tool}: Cannot connect to `{server}': RPC cannot make a procedure call: Program not "
                 "registered"},
    {"rap_error", "5929:{tool}: RAP error: Service not available"},
    {"skipping_password", "Skipping recover of password protected file {path}"},
    {"threads_failed", "53339:{tool}: One or more recover threads failed to exit successfully"},
    {"no_response", "6205:{tool}: A connection attempt failed because the connected party did not properly respond "
                    "after a period of time, or established connection failed because connected host has failed "
                    "to respond."},
    {"asr", "ASR: Restoring the disk configuration saved by the ASR writer"},
    {"simultaneous", "Microsoft recommends simultaneous recovery of all system state writer components"},
    {"password_prompt", "Password for file {path}:"},
    {"recover_message", "48553:{tool}: Recovery completed with warnings from {server}"},
    {"compressed", "{path}: unable to set 'compressed' attribute: The request is not supported."},
    {"file_exists", "{path}: file exists, overwriting"},
    {"not_found", "{path}: not found"},
};

std::string ReplaceAll(std::string s, const std::string& sFrom, const std::string& sTo)
{
    for (size_t pos = s.find(sFrom); pos != std::string::npos; pos = s.find(sFrom, pos + sTo.size()))
        s.replace(pos, sFrom.size(), sTo);
    return s;
}

bool ActionFromName(const std::string& sName, FaultAction& action)
{
    static const std::pair<const char*, FaultAction> kActions[] = {
        {"say", FaultAction::Say},           {"fail", FaultAction::Fail},     {"crash", FaultAction::Crash},
        {"partial", FaultAction::Partial},   {"hang", FaultAction::Hang},     {"longline", FaultAction::LongLine},
        {"formfeed", FaultAction::FormFeed}, {"cronly", FaultAction::CrOnly}, {"exit", FaultAction::Exit},
        {"password", FaultAction::Password}, {"skip", FaultAction::Skip}};
    for (const auto& [name, value] : kActions) {
        if (EqualsNoCase(sName, name)) {
            action = value;
            return true;
        }
    }
    return false;
}

bool PointIsValid(const std::string& sPoint)
{
    if (sPoint == "start" || sPoint == "end" || sPoint == "password")
        return true;
    size_t colon = sPoint.find(':');
    if (colon == std::string::npos)
        return false;
    std::string sKind = sPoint.substr(0, colon);
    unsigned long long n = 0;
    if (sKind == "command")
        return colon + 1 < sPoint.size();
    return (sKind == "line" || sKind == "object" || sKind == "prompt") && ParseUnsigned(sPoint.substr(colon + 1), n) &&
           n > 0;
}

bool EndsWith(const std::string& s, const char* pEnd)
{
    const size_t n = std::strlen(pEnd);
    return s.size() >= n && s.compare(s.size() - n, n, pEnd) == 0;
}

bool NeedsNumber(FaultAction a)
{
    return a == FaultAction::Hang || a == FaultAction::LongLine || a == FaultAction::Exit;
}

std::string CutWord(std::string& rest)
{
    size_t blank = rest.find(' ');
    std::string sWord = rest.substr(0, blank);
    rest = blank == std::string::npos ? std::string() : Trim(rest.substr(blank + 1));
    return sWord;
}

// "run:N", "run:N-M" or "run:N-".
bool ParseRunRange(const std::string& sRange, Fault& f)
{
    size_t dash = sRange.find('-');
    unsigned long long from = 0, to = 0;
    if (!ParseUnsigned(sRange.substr(0, dash), from) || from == 0 || from > 0xFFFFFFFF)
        return false;
    f.uRunFrom = static_cast<unsigned>(from);
    f.uRunTo = f.uRunFrom;
    if (dash == std::string::npos)
        return true;
    if (dash + 1 == sRange.size()) {
        f.uRunTo = 0;
        return true;
    }
    if (!ParseUnsigned(sRange.substr(dash + 1), to) || to < from || to > 0xFFFFFFFF)
        return false;
    f.uRunTo = static_cast<unsigned>(to);
    return true;
}

// The conditions in front of the tool name; rest keeps what follows them.
bool ParseConditions(std::string& rest, Fault& f, std::string& sError)
{
    for (;;) {
        std::string sLower = Lower(rest);
        if (sLower.rfind("once", 0) == 0 && (rest.size() == 4 || rest[4] == ' ')) {
            f.bOnce = true;
            CutWord(rest);
        } else if (sLower.rfind("run:", 0) == 0) {
            std::string sWord = CutWord(rest);
            if (!ParseRunRange(sWord.substr(4), f)) {
                sError = "bad run condition '" + sWord + "'";
                return false;
            }
        } else if (sLower.rfind("for:\"", 0) == 0) {
            size_t close = rest.find('"', 5);
            if (close == std::string::npos || close == 5) {
                sError = "unterminated for:\"...\" condition";
                return false;
            }
            f.sFor = rest.substr(5, close - 5);
            rest = Trim(rest.substr(close + 1));
        } else if (sLower.rfind("for:", 0) == 0) {
            f.sFor = CutWord(rest).substr(4);
            if (f.sFor.empty()) {
                sError = "empty for: condition";
                return false;
            }
        } else {
            return true;
        }
    }
}

} // namespace

bool ParsePasswordArgument(const std::string& sArgument, unsigned& uSeconds, std::string& sPrompt)
{
    std::string rest = Trim(sArgument);
    uSeconds = 0;
    sPrompt.clear();
    if (!rest.empty() && rest.front() != '"') {
        unsigned long long n = 0;
        if (!ParseUnsigned(CutWord(rest), n) || n > 86400)
            return false;
        uSeconds = static_cast<unsigned>(n);
    }
    if (rest.empty())
        return true;
    if (rest.size() < 2 || rest.front() != '"' || rest.find('"', 1) != rest.size() - 1)
        return false;
    sPrompt = rest;
    return true;
}

bool NamedOnCommandLine(const std::string& sText, const std::vector<std::string>& words)
{
    for (const std::string& w : words) {
        if (EqualsNoCase(w, sText))
            return true;
        if (w.size() == sText.size() + 2 && w[0] == '-' && EqualsNoCase(w.substr(2), sText))
            return true;
    }
    return false;
}

bool ParseFault(const std::string& sSpec, Fault& fault, std::string& sError)
{
    std::vector<std::string> words;
    std::string rest = Trim(sSpec);
    Fault f;
    if (!ParseConditions(rest, f, sError))
        return false;
    for (int i = 0; i < 4 && !rest.empty(); ++i)
        words.push_back(CutWord(rest));
    if (words.size() < 4) {
        sError = "expected <tool> <mode> <point> <action> [argument]";
        return false;
    }
    f.sTool = Lower(words[0]);
    f.sMode = Lower(words[1]);
    f.sPoint = Lower(words[2]);
    f.sArgument = rest;
    if (f.sMode != "any" && f.sMode != "session" && f.sMode != "restore" && f.sMode != "count") {
        sError = "unknown mode '" + words[1] + "'";
        return false;
    }
    if (!PointIsValid(f.sPoint)) {
        sError = "unknown point '" + words[2] + "'";
        return false;
    }
    unsigned long long n = 0;
    if (!ActionFromName(words[3], f.action)) {
        sError = "unknown action '" + words[3] + "'";
        return false;
    }
    // "longline N path" and "longline N list": the number, then how the line starts.
    std::string sNumber = f.sArgument;
    if (f.action == FaultAction::LongLine && sNumber.size() > 5 &&
        (EndsWith(sNumber, " path") || EndsWith(sNumber, " list")))
        sNumber.resize(sNumber.size() - 5);
    if (NeedsNumber(f.action) && !ParseUnsigned(sNumber, n)) {
        sError = "action '" + words[3] + "' needs a number";
        return false;
    }
    if ((f.action == FaultAction::Say || f.action == FaultAction::Fail) && f.sArgument.empty()) {
        sError = "action '" + words[3] + "' needs a preset name or a quoted text";
        return false;
    }
    unsigned uSeconds = 0;
    std::string sPrompt;
    if (f.action == FaultAction::Password && !ParsePasswordArgument(f.sArgument, uSeconds, sPrompt)) {
        sError = "action 'password' takes [seconds] [\"prompt\"]";
        return false;
    }
    fault = f;
    return true;
}

bool FaultMatches(const Fault& f, const std::string& sTool, const std::string& sMode, const std::string& sPoint)
{
    return (f.sTool == "*" || f.sTool == sTool) && (f.sMode == "any" || f.sMode == sMode) && f.sPoint == sPoint;
}

std::string PresetLine(const std::string& sNameOrText, const PresetContext& ctx)
{
    std::string sLine = sNameOrText;
    if (sLine.size() >= 2 && sLine.front() == '"' && sLine.back() == '"') {
        sLine = sLine.substr(1, sLine.size() - 2);
    } else {
        for (const Preset& p : kPresets) {
            if (EqualsNoCase(sNameOrText, p.pszName)) {
                sLine = p.pszLine;
                break;
            }
        }
    }
    sLine = ReplaceAll(sLine, "{tool}", ctx.sTool.empty() ? std::string("recover") : ctx.sTool);
    sLine = ReplaceAll(sLine, "{server}", ctx.sServer);
    sLine = ReplaceAll(sLine, "{client}", ctx.sClient);
    return ReplaceAll(sLine, "{path}", ctx.sPath.empty() ? std::string("C:\\") : ctx.sPath);
}

std::vector<std::string> PresetNames()
{
    std::vector<std::string> names;
    for (const Preset& p : kPresets)
        names.push_back(p.pszName);
    return names;
}

} // namespace nwsim
