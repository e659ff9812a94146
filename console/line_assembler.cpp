#include "console/line_assembler.h"

#include <cstdlib>

namespace
{
const wchar_t kRecoverPrompt[] = L"recover> ";
const size_t kRecoverPromptLen = 9;

wchar_t ToWide(unsigned char c)
{
    wchar_t wc = L'?';
    char ch = static_cast<char>(c);
    return std::mbtowc(&wc, &ch, 1) == 1 ? wc : static_cast<wchar_t>(c);
}
} // namespace

bool StartsWithRecoverPrompt(const std::wstring& s)
{
    size_t i = s.find_first_not_of(L' ');
    return i != std::wstring::npos && s.compare(i, kRecoverPromptLen, kRecoverPrompt) == 0;
}

void LineAssembler::reset()
{
    m_sBuffer.clear();
}

LineAssembler::Result LineAssembler::push(unsigned char c)
{
    if (c == 12 || c == 0) // form feeds vanish; a NUL would cut the line short
        return Result::More;
    wchar_t wc = ToWide(c);
    m_sBuffer += wc;
    if (StartsWithRecoverPrompt(m_sBuffer)) {
        m_sLine.swap(m_sBuffer);
        m_sBuffer.clear();
        return Result::Prompt;
    }
    if (wc == L'\n') {
        size_t end = m_sBuffer.find_last_not_of(L"\r\n ");
        m_sLine = end == std::wstring::npos ? std::wstring() : m_sBuffer.substr(0, end + 1);
        m_sBuffer.clear();
        return Result::Line;
    }
    if (m_sBuffer.size() >= kMaxLine) {
        m_sLine.swap(m_sBuffer);
        m_sBuffer.clear();
        return Result::LongLine;
    }
    return Result::More;
}
