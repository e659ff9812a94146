// Every message of the DLL's string table against the expected texts kept in message_texts.txt:
// the same ids in both, the texts equal character for character. Other tests check messages by id.
#include "tests/common/test_util.h"

#include <gtest/gtest.h>

#include <map>

namespace
{

// "id<TAB>text" lines; "#" starts a comment line and "\n" in a text stands for a line break.
std::map<unsigned, std::wstring> ExpectedTexts()
{
    std::map<unsigned, std::wstring> texts;
    for (const std::wstring& sLine : testutil::SplitLines(testutil::ReadTextFile(CVEX_MESSAGE_TEXTS))) {
        const size_t uTab = sLine.find(L'\t');
        if (sLine.empty() || sLine[0] == L'#' || uTab == std::wstring::npos)
            continue;
        std::wstring sText = sLine.substr(uTab + 1);
        for (size_t at = 0; (at = sText.find(L"\\n", at)) != std::wstring::npos; ++at)
            sText.replace(at, 2, L"\n");
        texts[std::stoul(sLine.substr(0, uTab))] = sText;
    }
    return texts;
}

BOOL CALLBACK AddBlock(HMODULE, LPCWSTR, LPWSTR pName, LONG_PTR pIds)
{
    if (IS_INTRESOURCE(pName)) { // block n holds the ids 16 (n - 1) to 16 n - 1
        const unsigned uFirst = (static_cast<unsigned>(reinterpret_cast<ULONG_PTR>(pName)) - 1) * 16;
        for (unsigned u = uFirst; u < uFirst + 16; ++u)
            reinterpret_cast<std::vector<unsigned>*>(pIds)->push_back(u);
    }
    return TRUE;
}

} // namespace

TEST(MessageTexts, EveryMessageOfTheDllHasItsExpectedTextAndNoneIsMissing)
{
    const HMODULE hDll = GetModuleHandleW(L"CVEX.DLL");
    ASSERT_NE(hDll, nullptr);
    const std::map<unsigned, std::wstring> expected = ExpectedTexts();
    ASSERT_GE(expected.size(), 99u) << "message_texts.txt was not read";
    std::vector<unsigned> candidates;
    EnumResourceNamesW(hDll, MAKEINTRESOURCEW(6), AddBlock, reinterpret_cast<LONG_PTR>(&candidates));
    std::map<unsigned, std::wstring> inDll;
    for (unsigned u : candidates) {
        const wchar_t* p = nullptr;
        const int n = LoadStringW(hDll, u, reinterpret_cast<LPWSTR>(&p), 0);
        if (n > 0)
            inDll[u] = std::wstring(p, n);
    }
    for (const auto& [uId, sText] : expected) {
        auto it = inDll.find(uId);
        ASSERT_NE(it, inDll.end()) << "message " << uId << " is not in the DLL";
        EXPECT_EQ(it->second, sText) << "message " << uId;
    }
    for (const auto& [uId, sText] : inDll)
        EXPECT_TRUE(expected.count(uId)) << "message " << uId << " of the DLL is not expected";
}
