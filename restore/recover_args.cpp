#include "restore/recover_args.h"

std::wstring QuoteArgument(const std::wstring& sArgument)
{
    if (!sArgument.empty() && sArgument.find_first_of(L" \t\"") == std::wstring::npos)
        return sArgument;
    std::wstring s = L"\"";
    size_t nBackslashes = 0;
    for (wchar_t c : sArgument) {
        if (c == L'\\') {
            ++nBackslashes;
            continue;
        }
        // Backslashes before a quote are doubled, and the quote itself escaped.
        s.append(c == L'"' ? 2 * nBackslashes + 1 : nBackslashes, L'\\');
        nBackslashes = 0;
        s += c;
    }
    s.append(2 * nBackslashes, L'\\');
    return s + L"\"";
}

namespace
{

std::wstring InQuotes(const std::wstring& s)
{
    return L"\"" + s + L"\"";
}

} // namespace

std::wstring RestoreCommandLine(const std::wstring& sRecoverPath, const std::wstring& sServer,
                                const std::wstring& sClient, const std::wstring& sPointInTime,
                                const std::wstring& sFilespace)
{
    std::wstring s = sRecoverPath + L" -a -iY -s " + InQuotes(sServer) + L" -c " + InQuotes(sClient);
    if (!sPointInTime.empty())
        s += L" -t " + InQuotes(sPointInTime);
    return s + L" " + QuoteArgument(sFilespace);
}

std::wstring CountCommandLine(const std::wstring& sRecoverPath, const std::wstring& sServer,
                              const std::wstring& sClient)
{
    return sRecoverPath + L" -s " + InQuotes(sServer) + L" -c " + InQuotes(sClient);
}
