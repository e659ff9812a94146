#include "console/line_assembler.h"

#include "support/win.h"

#include <cstdlib>

namespace
{
const wchar_t kRecoverPrompt[] = L"recover> ";
const size_t kRecoverPromptLen = 9;
const char kRecoverPromptBytes[] = "recover> ";

wchar_t ToWide(unsigned char c)
{
    wchar_t wc = L'?';
    char ch = static_cast<char>(c);
    return std::mbtowc(&wc, &ch, 1) == 1 ? wc : static_cast<wchar_t>(c);
}

bool HasHighByte(const std::string& s)
{
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80)
            return true;
    return false;
}

bool StartsWithPromptBytes(const std::string& s)
{
    size_t i = s.find_first_not_of(' ');
    return i != std::string::npos && s.compare(i, kRecoverPromptLen, kRecoverPromptBytes) == 0;
}
} // namespace

bool StartsWithRecoverPrompt(const std::wstring& s)
{
    size_t i = s.find_first_not_of(L' ');
    return i != std::wstring::npos && s.compare(i, kRecoverPromptLen, kRecoverPrompt) == 0;
}

std::wstring DecodeToolLine(const std::string& sBytes)
{
    if (HasHighByte(sBytes)) {
        const int n = static_cast<int>(sBytes.size());
        int nWide = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, sBytes.data(), n, nullptr, 0);
        if (nWide > 0) {
            std::wstring s(static_cast<size_t>(nWide), L'\0');
            MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, sBytes.data(), n, s.data(), nWide);
            return s;
        }
    }
    std::wstring s;
    s.reserve(sBytes.size());
    for (char c : sBytes)
        s += ToWide(static_cast<unsigned char>(c));
    return s;
}

size_t Utf8CutPoint(const std::string& s)
{
    // Back over at most three continuation bytes to the start of the last character.
    size_t i = s.size();
    size_t nBack = 0;
    while (i > 0 && nBack < 3 && (static_cast<unsigned char>(s[i - 1]) & 0xC0) == 0x80) {
        --i;
        ++nBack;
    }
    if (i == 0)
        return s.size();
    const unsigned char lead = static_cast<unsigned char>(s[i - 1]);
    size_t nLength = lead >= 0xF8 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    if (nLength == 1)
        return s.size();
    // The lead byte and its continuation bytes: complete, or held back whole.
    return nBack + 1 >= nLength ? s.size() : i - 1;
}

void LineAssembler::reset()
{
    m_sBuffer.clear();
    m_bInLong = false;
}

LineAssembler::Result LineAssembler::HandOutPiece()
{
    size_t nCut = Utf8CutPoint(m_sBuffer);
    if (nCut == 0)
        nCut = m_sBuffer.size();
    m_sLine = DecodeToolLine(m_sBuffer.substr(0, nCut));
    m_sBuffer.erase(0, nCut);
    m_bPiece = m_bInLong = true;
    return Result::LongLine;
}

LineAssembler::Result LineAssembler::push(unsigned char c)
{
    if (c == 12 || c == 0) // form feeds vanish; a NUL would cut the line short
        return Result::More;
    m_sBuffer += static_cast<char>(c);
    if (!m_bInLong && StartsWithPromptBytes(m_sBuffer)) {
        m_sLine = DecodeToolLine(m_sBuffer);
        m_sBuffer.clear();
        m_bPiece = false;
        return Result::Prompt;
    }
    if (c == '\n') {
        size_t end = m_sBuffer.find_last_not_of("\r\n ");
        m_sLine = end == std::string::npos ? std::wstring() : DecodeToolLine(m_sBuffer.substr(0, end + 1));
        m_sBuffer.clear();
        m_bPiece = m_bInLong;
        m_bInLong = false;
        return Result::Line;
    }
    if (m_sBuffer.size() >= kMaxLine)
        return HandOutPiece();
    return Result::More;
}
