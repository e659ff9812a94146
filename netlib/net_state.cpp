#include "netlib/net_state.h"

#include <algorithm>
#include <cwctype>
#include <sstream>

namespace halvo_nm
{

namespace
{

const wchar_t* const kOperations[] = {
    L"GetAdapterList",        L"GetAdapterOperStatus", L"GetAdaptersIpAddrs", L"SetAdaptersIpAddrs",
    L"GetDefaultGatewayList", L"SetDefaultGateway",    L"IsDhcpEnabled",      L"ReleaseDhcp",
    L"GetAdapterIndex",       L"AddAdapterRoute",      L"GetTcp6Table",
};

const wchar_t* const kStatusNames[] = {L"Up",      L"Down",       L"Testing",       L"Unknown",
                                       L"Dormant", L"NotPresent", L"LowerLayerDown"};

std::wstring Trim(const std::wstring& s)
{
    size_t b = 0, e = s.size();
    while (b < e && std::iswspace(s[b]))
        ++b;
    while (e > b && std::iswspace(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

bool SameText(const std::wstring& a, const std::wstring& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](wchar_t x, wchar_t y) {
               return std::towlower(x) == std::towlower(y);
           });
}

std::vector<std::wstring> SplitWords(const std::wstring& s)
{
    std::wistringstream in(s);
    std::vector<std::wstring> words;
    std::wstring w;
    while (in >> w)
        words.push_back(w);
    return words;
}

// Decimal digits only, no sign, at most dwMax.
bool ParseNumber(const std::wstring& s, DWORD dwMax, DWORD& dwValue)
{
    if (s.empty() || s.size() > 10)
        return false;
    unsigned long long ull = 0;
    for (wchar_t c : s) {
        if (c < L'0' || c > L'9')
            return false;
        ull = ull * 10 + static_cast<unsigned>(c - L'0');
    }
    if (ull > dwMax)
        return false;
    dwValue = static_cast<DWORD>(ull);
    return true;
}

bool ParseYesNo(const std::wstring& s, bool& b)
{
    if (SameText(s, L"Yes") || s == L"1") {
        b = true;
        return true;
    }
    if (SameText(s, L"No") || s == L"0") {
        b = false;
        return true;
    }
    return false;
}

bool ParseStatus(const std::wstring& s, int& iStatus)
{
    for (int i = kStatusLowest; i <= kStatusHighest; ++i) {
        if (SameText(s, kStatusNames[i - 1])) {
            iStatus = i;
            return true;
        }
    }
    DWORD dw = 0;
    if (!ParseNumber(s, kStatusHighest, dw) || dw < kStatusLowest)
        return false;
    iStatus = static_cast<int>(dw);
    return true;
}

bool ParseAddressLine(const std::wstring& sValue, AddressEntry& entry)
{
    std::vector<std::wstring> words = SplitWords(sValue);
    if (words.empty() || !ParseAddressWithPrefix(words[0], entry.address, entry.ucPrefix))
        return false;
    if (words.size() == 1)
        return true;
    DWORD dwFlags = 0;
    if (words.size() != 3 || !SameText(words[1], L"flags") || !ParseNumber(words[2], 255, dwFlags))
        return false;
    entry.ucFlags = static_cast<unsigned char>(dwFlags);
    return true;
}

bool ParseGatewayLine(const std::wstring& sValue, velmora::ip_address& gateway)
{
    gateway = velmora::ip_address(velmora::string(sValue));
    return gateway.is_valid();
}

bool ParseRouteLine(const std::wstring& sValue, RouteEntry& route)
{
    std::vector<std::wstring> words = SplitWords(sValue);
    if (words.size() != 3 && words.size() != 5)
        return false;
    if (!ParseAddressWithPrefix(words[0], route.destination, route.ucPrefix) || !SameText(words[1], L"via"))
        return false;
    route.nextHop = velmora::ip_address(velmora::string(words[2]));
    if (!route.nextHop.is_valid())
        return false;
    return words.size() == 3 || (SameText(words[3], L"last") && ParseNumber(words[4], MAXDWORD, route.dwLast));
}

bool ParseFailList(const std::wstring& sValue, std::set<std::wstring>& failing)
{
    std::wstring sList = sValue;
    std::replace(sList.begin(), sList.end(), L',', L' ');
    std::vector<std::wstring> words = SplitWords(sList);
    for (const std::wstring& w : words) {
        if (!IsKnownOperation(w))
            return false;
        failing.insert(w);
    }
    return !words.empty();
}

// Reads the file line by line; the first fault ends the parse with its line number.
class Parser
{
public:
    ParseResult Run(const std::wstring& sText);

private:
    bool Line(const std::wstring& sLine);
    bool Section(const std::wstring& sName);
    bool AdapterKey(const std::wstring& sKey, const std::wstring& sValue);
    bool Once(const std::wstring& sKey);
    bool Fail(const std::wstring& sWhat);
    // Parses one value of a repeatable key and adds it to its list.
    template <typename T, typename ParseFn>
    bool Append(std::vector<T>& list, const std::wstring& sValue, ParseFn parse, const std::wstring& sBad)
    {
        T item;
        if (!parse(sValue, item))
            return Fail(sBad);
        list.push_back(item);
        return true;
    }
    bool CheckAdapters();

    NetState m_state;
    enum { kNone, kLibrary, kAdapter } m_section = kNone;
    bool m_bLibrarySeen = false;
    std::set<std::wstring> m_keysSeen;
    std::wstring m_sError;
};

ParseResult Parser::Run(const std::wstring& sText)
{
    ParseResult result;
    std::wstring sAll = sText;
    if (!sAll.empty() && sAll[0] == 0xFEFF)
        sAll.erase(0, 1);
    std::replace(sAll.begin(), sAll.end(), L'\r', L'\n'); // CR-only and CR LF alike; blank lines are skipped
    size_t nLine = 0;
    for (size_t i = 0, j = 0; i <= sAll.size(); i = j + 1) {
        j = sAll.find(L'\n', i);
        if (j == std::wstring::npos)
            j = sAll.size();
        ++nLine;
        if (!Line(Trim(sAll.substr(i, j - i)))) {
            result.sError = L"line " + std::to_wstring(nLine) + L": " + m_sError;
            return result;
        }
    }
    if (!CheckAdapters()) {
        result.sError = m_sError;
        return result;
    }
    result.bOk = true;
    result.state = std::move(m_state);
    return result;
}

bool Parser::Fail(const std::wstring& sWhat)
{
    m_sError = sWhat;
    return false;
}

bool Parser::Line(const std::wstring& sLine)
{
    if (sLine.empty() || sLine[0] == L'#' || sLine[0] == L';')
        return true;
    if (sLine.front() == L'[') {
        if (sLine.back() != L']')
            return Fail(L"section header without \"]\"");
        return Section(Trim(sLine.substr(1, sLine.size() - 2)));
    }
    size_t eq = sLine.find(L'=');
    if (eq == std::wstring::npos)
        return Fail(L"neither a section header nor key=value: \"" + sLine + L"\"");
    std::wstring sKey = Trim(sLine.substr(0, eq));
    std::wstring sValue = Trim(sLine.substr(eq + 1));
    if (m_section == kNone)
        return Fail(L"key \"" + sKey + L"\" before the first section");
    if (m_section == kLibrary) {
        if (!SameText(sKey, L"Fail"))
            return Fail(L"unknown key \"" + sKey + L"\" in [Library]");
        return ParseFailList(sValue, m_state.failing) || Fail(L"Fail names an unknown operation: \"" + sValue + L"\"");
    }
    return AdapterKey(sKey, sValue);
}

bool Parser::Section(const std::wstring& sName)
{
    m_keysSeen.clear();
    if (SameText(sName, L"Adapter")) {
        m_section = kAdapter;
        m_state.adapters.emplace_back();
        return true;
    }
    if (SameText(sName, L"Library")) {
        if (m_bLibrarySeen)
            return Fail(L"[Library] given twice");
        m_bLibrarySeen = true;
        m_section = kLibrary;
        return true;
    }
    return Fail(L"unknown section [" + sName + L"]");
}

bool Parser::Once(const std::wstring& sKey)
{
    std::wstring sLower = sKey;
    std::transform(sLower.begin(), sLower.end(), sLower.begin(),
                   [](wchar_t c) { return static_cast<wchar_t>(std::towlower(c)); });
    return m_keysSeen.insert(sLower).second || Fail(sKey + L" given twice in one adapter");
}

bool Parser::AdapterKey(const std::wstring& sKey, const std::wstring& sValue)
{
    AdapterState& a = m_state.adapters.back();
    const std::wstring sBad = L"bad " + sKey + L" \"" + sValue + L"\"";
    if (SameText(sKey, L"Name")) {
        a.sName = sValue;
        return Once(sKey) && (!sValue.empty() || Fail(L"empty Name"));
    }
    if (SameText(sKey, L"Description")) {
        a.sDescription = sValue;
        return Once(sKey);
    }
    if (SameText(sKey, L"HwAddr")) {
        a.sHwAddr = sValue;
        return Once(sKey);
    }
    if (SameText(sKey, L"Index"))
        return Once(sKey) && ((ParseNumber(sValue, MAXDWORD, a.dwIndex) && a.dwIndex != 0) || Fail(sBad));
    if (SameText(sKey, L"Status"))
        return Once(sKey) && (ParseStatus(sValue, a.iStatus) || Fail(sBad));
    if (SameText(sKey, L"DhcpIPv4"))
        return Once(sKey) && (ParseYesNo(sValue, a.bDhcp4) || Fail(sBad));
    if (SameText(sKey, L"DhcpIPv6"))
        return Once(sKey) && (ParseYesNo(sValue, a.bDhcp6) || Fail(sBad));
    if (SameText(sKey, L"Address"))
        return Append(a.addresses, sValue, ParseAddressLine, sBad);
    if (SameText(sKey, L"Gateway"))
        return Append(a.gateways, sValue, ParseGatewayLine, sBad);
    if (SameText(sKey, L"Route"))
        return Append(a.routes, sValue, ParseRouteLine, sBad);
    if (SameText(sKey, L"Fail"))
        return ParseFailList(sValue, a.failing) || Fail(L"Fail names an unknown operation: \"" + sValue + L"\"");
    return Fail(L"unknown key \"" + sKey + L"\" in [Adapter]");
}

bool Parser::CheckAdapters()
{
    std::set<std::wstring> names;
    std::set<DWORD> indexes;
    for (size_t i = 0; i < m_state.adapters.size(); ++i) {
        const AdapterState& a = m_state.adapters[i];
        const std::wstring sWhich = L"adapter " + std::to_wstring(i + 1) + L": ";
        if (a.sName.empty())
            return Fail(sWhich + L"no Name");
        if (a.dwIndex == 0)
            return Fail(sWhich + L"no Index");
        if (!names.insert(a.sName).second)
            return Fail(sWhich + L"Name \"" + a.sName + L"\" given to two adapters");
        if (!indexes.insert(a.dwIndex).second)
            return Fail(sWhich + L"Index " + std::to_wstring(a.dwIndex) + L" given to two adapters");
    }
    return true;
}

std::wstring AddressText(const velmora::ip_address& address, unsigned char ucPrefix)
{
    return address.to_string() + L"/" + std::to_wstring(ucPrefix);
}

std::wstring FailText(const std::set<std::wstring>& failing)
{
    std::wstring s;
    for (const std::wstring& op : failing)
        s += (s.empty() ? L"" : L",") + op;
    return s;
}

void FormatAdapter(const AdapterState& a, std::wstring& out)
{
    const wchar_t* nl = L"\r\n";
    out += std::wstring(L"[Adapter]") + nl;
    out += L"Name=" + a.sName + nl;
    out += L"Description=" + a.sDescription + nl;
    out += L"HwAddr=" + a.sHwAddr + nl;
    out += L"Index=" + std::to_wstring(a.dwIndex) + nl;
    out += L"Status=" + StatusName(a.iStatus) + nl;
    out += std::wstring(L"DhcpIPv4=") + (a.bDhcp4 ? L"Yes" : L"No") + nl;
    out += std::wstring(L"DhcpIPv6=") + (a.bDhcp6 ? L"Yes" : L"No") + nl;
    for (const AddressEntry& e : a.addresses)
        out += L"Address=" + AddressText(e.address, e.ucPrefix) +
               (e.ucFlags ? L" flags " + std::to_wstring(e.ucFlags) : std::wstring()) + nl;
    for (const velmora::ip_address& gw : a.gateways)
        out += L"Gateway=" + gw.to_string() + nl;
    for (const RouteEntry& r : a.routes)
        out += L"Route=" + AddressText(r.destination, r.ucPrefix) + L" via " + r.nextHop.to_string() + L" last " +
               std::to_wstring(r.dwLast) + nl;
    if (!a.failing.empty())
        out += L"Fail=" + FailText(a.failing) + nl;
}

} // namespace

AdapterState* NetState::Find(const std::wstring& sName)
{
    for (AdapterState& a : adapters)
        if (a.sName == sName)
            return &a;
    return nullptr;
}

bool NetState::Fails(const std::wstring& sOperation, const AdapterState* pAdapter) const
{
    return failing.count(sOperation) != 0 || (pAdapter && pAdapter->failing.count(sOperation) != 0);
}

ParseResult ParseNetState(const std::wstring& sText)
{
    return Parser().Run(sText);
}

std::wstring FormatNetState(const NetState& state)
{
    std::wstring out = L"# Network state of this machine, kept by halvo_nm.dll (rewritten on every change).\r\n";
    if (!state.failing.empty())
        out += L"\r\n[Library]\r\nFail=" + FailText(state.failing) + L"\r\n";
    for (const AdapterState& a : state.adapters) {
        out += L"\r\n";
        FormatAdapter(a, out);
    }
    return out;
}

bool IsKnownOperation(const std::wstring& sOperation)
{
    return std::any_of(std::begin(kOperations), std::end(kOperations),
                       [&](const wchar_t* p) { return sOperation == p; });
}

std::wstring StatusName(int iStatus)
{
    if (iStatus < kStatusLowest || iStatus > kStatusHighest)
        return std::to_wstring(iStatus);
    return kStatusNames[iStatus - 1];
}

unsigned MaxPrefix(const velmora::ip_address& address)
{
    if (address.family() == AF_INET)
        return 32;
    if (address.family() == AF_INET6)
        return 128;
    return 0;
}

bool ParseAddressWithPrefix(const std::wstring& sText, velmora::ip_address& address, unsigned char& ucPrefix)
{
    size_t slash = sText.find(L'/');
    if (slash == std::wstring::npos || slash == 0)
        return false;
    velmora::ip_address parsed{velmora::string(sText.substr(0, slash))};
    DWORD dwPrefix = 0;
    if (!parsed.is_valid() || !ParseNumber(sText.substr(slash + 1), MaxPrefix(parsed), dwPrefix))
        return false;
    address = parsed;
    ucPrefix = static_cast<unsigned char>(dwPrefix);
    return true;
}

} // namespace halvo_nm
