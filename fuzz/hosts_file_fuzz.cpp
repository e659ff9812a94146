// The hosts file: any bytes read and written back lose nothing but their line ends, and mapping
// a name leaves every line that does not name it as it was, the name findable and a second
// mapping changing nothing.
#include "client/hosts_file.h"
#include "fuzz_support.h"

#include <cwctype>

namespace
{

// A name that survives as one field of a line: printable ASCII, no blank, no comment marker.
bool IsPlainName(const std::wstring& sName)
{
    if (sName.empty())
        return false;
    for (wchar_t wc : sName)
        if (wc <= L' ' || wc > L'~' || wc == L'#')
            return false;
    return true;
}

// Bytes as the one-character-per-byte text that the table reads them as.
std::wstring Wide(const std::string& s)
{
    const unsigned char* p = reinterpret_cast<const unsigned char*>(s.data());
    return std::wstring(p, p + s.size());
}

bool Names(const std::wstring& sLine, const std::wstring& sName)
{
    for (std::wstring sField : hostsfile::NamesOfLine(sLine)) {
        if (sField.size() != sName.size())
            continue;
        bool bSame = true;
        for (size_t i = 0; i < sName.size(); ++i)
            bSame =
                bSame && std::towupper(static_cast<wint_t>(sField[i])) == std::towupper(static_cast<wint_t>(sName[i]));
        if (bSame)
            return true;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    if (nSize < 2)
        return 0;
    static const wchar_t* const kAddresses[] = {L"192.168.10.20", L"10.0.0.1", L"fe80::1", L"2001:db8::5"};
    const velmora::ip_address address{velmora::string(kAddresses[pData[0] % 4])};
    // The name is the first line after the selector byte; the file is the rest.
    const std::string sInput(reinterpret_cast<const char*>(pData + 1), nSize - 1);
    const size_t eol = sInput.find('\n');
    const std::string sNameBytes = sInput.substr(0, eol);
    const std::string sFile = eol == std::string::npos ? std::string() : sInput.substr(eol + 1);
    const std::wstring sName = Wide(sNameBytes);

    const std::vector<std::string> originals = hostsfile::SplitFileLines(sFile);
    hostsfile::Table table = hostsfile::Table::FromBytes(sFile);
    FUZZ_CHECK(table.Lines().size() == originals.size());
    std::string sExpected;
    for (const std::string& sLine : originals)
        sExpected += sLine + "\r\n";
    FUZZ_CHECK(table.Bytes() == sExpected);

    const bool bReplaced = table.MapName(sName, address);
    FUZZ_CHECK(table.Lines().size() == originals.size() + (bReplaced ? 0 : 1));
    if (!IsPlainName(sName))
        return 0;
    const std::string sWritten = table.Bytes();
    const std::vector<std::string> written = hostsfile::SplitFileLines(sWritten);
    FUZZ_CHECK(written.size() == table.Lines().size());
    bool bNamed = false;
    for (size_t i = 0; i < written.size(); ++i) {
        const std::wstring sLine = Wide(written[i]);
        const bool bLineNames = Names(sLine, sName);
        bNamed = bNamed || bLineNames;
        if (i < originals.size() && !Names(Wide(originals[i]), sName))
            FUZZ_CHECK(written[i] == originals[i]);
        if (bLineNames)
            FUZZ_CHECK(sLine == address.to_string() + L"\t" + sName);
    }
    FUZZ_CHECK(bNamed);
    hostsfile::Table again = hostsfile::Table::FromBytes(sWritten);
    FUZZ_CHECK(again.MapName(sName, address));
    FUZZ_CHECK(again.Bytes() == sWritten);
    return 0;
}
