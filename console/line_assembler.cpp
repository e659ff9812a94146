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

bool EndsWithPromptBytes(const std::string& s)
{
    return s.size() >= kRecoverPromptLen &&
           s.compare(s.size() - kRecoverPromptLen, kRecoverPromptLen, kRecoverPromptBytes) == 0;
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

void DecodeToolLine(const std::string& sBytes, std::wstring& sText)
{
    if (HasHighByte(sBytes)) {
        const int n = static_cast<int>(sBytes.size());
        int nWide = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, sBytes.data(), n, nullptr, 0);
        if (nWide > 0) {
            sText.resize(static_cast<size_t>(nWide));
            MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, sBytes.data(), n, sText.data(), nWide);
            return;
        }
    }
    sText.resize(sBytes.size());
    for (size_t i = 0; i < sBytes.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(sBytes[i]);
        // Bytes below 0x80 are the same character in every ANSI code page.
        sText[i] = c < 0x80 ? static_cast<wchar_t>(c) : ToWide(c);
    }
}

std::wstring DecodeToolLine(const std::string& sBytes)
{
    std::wstring s;
    DecodeToolLine(sBytes, s);
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
    const std::string sRest = m_sBuffer.substr(nCut);
    m_sBuffer.resize(nCut);
    DecodeToolLine(m_sBuffer, m_sLine);
    m_sBuffer = sRest;
    m_bPiece = m_bInLong = true;
    return Result::LongLine;
}

LineAssembler::Result LineAssembler::push(unsigned char c)
{
    if (c == 12 || c == 0) // form feeds vanish; a NUL would cut the line short
        return Result::More;
    m_sBuffer += static_cast<char>(c);
    // The prompt is complete when its closing blank arrives; never inside a long line.
    if (c == ' ' && !m_bInLong && EndsWithPromptBytes(m_sBuffer) && StartsWithPromptBytes(m_sBuffer)) {
        DecodeToolLine(m_sBuffer, m_sLine);
        m_sBuffer.clear();
        m_bPiece = false;
        return Result::Prompt;
    }
    if (c == '\n') {
        size_t end = m_sBuffer.find_last_not_of("\r\n ");
        m_sBuffer.resize(end == std::string::npos ? 0 : end + 1);
        DecodeToolLine(m_sBuffer, m_sLine);
        m_sBuffer.clear();
        m_bPiece = m_bInLong;
        m_bInLong = false;
        return Result::Line;
    }
    if (m_sBuffer.size() >= kMaxLine)
        return HandOutPiece();
    return Result::More;
}

namespace
{
// Bytes that drop out, end a line or may complete the prompt (a blank after '>'): each takes the
// one-byte path.
bool IsSpecialByte(unsigned char c, unsigned char previous)
{
    return c == '\n' || c == 12 || c == 0 || (c == ' ' && previous == '>');
}
} // namespace

LineAssembler::Result LineAssembler::push(const unsigned char* p, size_t n, size_t& taken)
{
    taken = 0;
    while (taken < n) {
        // A run of ordinary bytes is appended at once, never past the longest line.
        size_t room = kMaxLine - m_sBuffer.size();
        size_t run = 0;
        unsigned char previous = m_sBuffer.empty() ? 0 : static_cast<unsigned char>(m_sBuffer.back());
        while (run < room && taken + run < n && !IsSpecialByte(p[taken + run], previous))
            previous = p[taken + run++];
        if (run > 0) {
            m_sBuffer.append(reinterpret_cast<const char*>(p + taken), run);
            taken += run;
            if (m_sBuffer.size() >= kMaxLine)
                return HandOutPiece();
            continue;
        }
        Result result = push(p[taken++]);
        if (result != Result::More)
            return result;
    }
    return Result::More;
}
