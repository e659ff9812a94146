#include "client/hosts_file.h"

#include <cwchar>
#include <cwctype>

namespace
{

const wchar_t kCommentMarker = L'#';
const wchar_t kFieldSeparator[] = L"\t";
const char kLineEnd[] = "\r\n";

bool IsBlank(wchar_t wc)
{
    return wc == L' ' || wc == L'\t' || wc == L'\r' || wc == L'\n' || wc == L'\v' || wc == L'\f';
}

std::wstring Upper(std::wstring s)
{
    for (wchar_t& wc : s)
        wc = static_cast<wchar_t>(std::towupper(wc));
    return s;
}

std::vector<std::wstring> Fields(const std::wstring& sLine)
{
    std::vector<std::wstring> fields;
    size_t i = 0;
    while (i < sLine.size()) {
        while (i < sLine.size() && IsBlank(sLine[i]))
            ++i;
        size_t iStart = i;
        while (i < sLine.size() && !IsBlank(sLine[i]))
            ++i;
        if (i > iStart)
            fields.push_back(sLine.substr(iStart, i - iStart));
    }
    return fields;
}

} // namespace

namespace hostsfile
{

std::vector<std::string> SplitFileLines(const std::string& sBytes)
{
    std::vector<std::string> lines;
    size_t iStart = 0;
    while (iStart < sBytes.size()) {
        size_t iEnd = sBytes.find('\n', iStart);
        std::string sLine = sBytes.substr(iStart, iEnd == std::string::npos ? std::string::npos : iEnd - iStart);
        if (iEnd != std::string::npos && !sLine.empty() && sLine.back() == '\r')
            sLine.pop_back();
        lines.push_back(sLine);
        if (iEnd == std::string::npos)
            break;
        iStart = iEnd + 1;
    }
    return lines;
}

std::vector<std::wstring> NamesOfLine(const std::wstring& sLine)
{
    std::vector<std::wstring> names;
    if (!sLine.empty() && sLine[0] == kCommentMarker)
        return names;
    std::vector<std::wstring> fields = Fields(sLine);
    for (size_t i = 1; i < fields.size() && fields[i][0] != kCommentMarker; ++i)
        names.push_back(fields[i]);
    return names;
}

bool ReplaceEntries(std::vector<velmora::string>& table, const std::wstring& sName, const std::wstring& sNewLine)
{
    const std::wstring sWanted = Upper(sName);
    bool bReplaced = false;
    for (velmora::string& sLine : table) {
        for (const std::wstring& sField : NamesOfLine(sLine)) {
            if (Upper(sField) == sWanted) {
                sLine = sNewLine;
                bReplaced = true;
                break;
            }
        }
    }
    return bReplaced;
}

std::string FileBytes(const std::vector<velmora::string>& table, const std::vector<std::string>& originals)
{
    std::string sBytes;
    for (size_t i = 0; i < table.size(); ++i) {
        std::wstring sLine = table[i];
        if (!sLine.empty() && sLine.back() == L'\n')
            sLine.pop_back();
        bool bUnchanged = i < originals.size() && velmora::widen(originals[i]) == sLine;
        sBytes += bUnchanged ? originals[i] : velmora::narrow(sLine);
        sBytes += kLineEnd;
    }
    return sBytes;
}

std::wstring QualifiedName(const std::wstring& sName, const std::wstring& sDomain)
{
    if (sDomain.empty() || sName.find(L'.') != std::wstring::npos)
        return sName;
    return sName + L"." + sDomain;
}

Table Table::FromBytes(const std::string& sBytes)
{
    Table table;
    table.m_originals = SplitFileLines(sBytes);
    for (const std::string& sLine : table.m_originals)
        table.m_lines.push_back(velmora::widen(sLine) + L"\n");
    return table;
}

velmora::string Table::EntryLine(const std::wstring& sName, const velmora::ip_address& address)
{
    return address.to_string() + kFieldSeparator + sName + L"\n";
}

bool Table::MapName(const std::wstring& sName, const velmora::ip_address& address)
{
    const velmora::string sNewLine = EntryLine(sName, address);
    if (ReplaceEntries(m_lines, sName, sNewLine))
        return true;
    m_lines.push_back(sNewLine);
    return false;
}

void NoteBoundAddress(ConflictNotes& notes, const velmora::ip_address& bound, const velmora::ip_address& target)
{
    if (!bound.is_valid())
        return;
    if (bound == target) {
        notes.bFoundTarget = true;
        return;
    }
    if (bound.family() != target.family())
        return;
    const std::wstring sText = bound.to_string();
    const wchar_t* pPrefix = bound.family() == AF_INET ? L"169.254." : L"fe80:";
    if (sText.compare(0, wcslen(pPrefix), pPrefix) == 0)
        notes.bFoundLinkLocal = true;
}

} // namespace hostsfile
