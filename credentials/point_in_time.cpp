#include "credentials/point_in_time.h"

#include <cwchar>

namespace pit
{

namespace
{

bool IsBlank(wchar_t wc)
{
    return wc == L' ' || wc == L'\t' || wc == L'\n' || wc == L'\v' || wc == L'\f' || wc == L'\r';
}

// Reads the fields in turn like a stream that skips blanks; after the first unreadable item
// every later read fails too.
class FieldReader
{
public:
    explicit FieldReader(const std::wstring& sText) : m_sText(sText) {}

    WORD Number()
    {
        SkipBlanks();
        unsigned long ulValue = 0;
        size_t nDigits = 0;
        while (m_bOk && m_i < m_sText.size() && m_sText[m_i] >= L'0' && m_sText[m_i] <= L'9') {
            ulValue = ulValue * 10 + static_cast<unsigned long>(m_sText[m_i++] - L'0');
            ++nDigits;
            if (ulValue > 0xFFFF)
                m_bOk = false;
        }
        if (nDigits == 0)
            m_bOk = false;
        return m_bOk ? static_cast<WORD>(ulValue) : kUnreadable;
    }

    void Separator()
    {
        SkipBlanks();
        if (m_i < m_sText.size())
            ++m_i;
        else
            m_bOk = false;
    }

private:
    void SkipBlanks()
    {
        while (m_bOk && m_i < m_sText.size() && IsBlank(m_sText[m_i]))
            ++m_i;
    }

    const std::wstring& m_sText;
    size_t m_i = 0;
    bool m_bOk = true;
};

} // namespace

bool IsLeapYear(unsigned uiYear)
{
    return (uiYear % 4 == 0 && uiYear % 100 != 0) || uiYear % 400 == 0;
}

unsigned DaysInMonth(unsigned uiMonth, unsigned uiYear)
{
    static const unsigned kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (uiMonth < 1 || uiMonth > 12)
        return 0;
    if (uiMonth == 2 && IsLeapYear(uiYear))
        return 29;
    return kDays[uiMonth - 1];
}

const wchar_t* Parse(const std::wstring& sText, SYSTEMTIME& st)
{
    if (sText.empty())
        return L"Empty PIT string";
    FieldReader reader(sText);
    st.wDay = reader.Number();
    reader.Separator();
    st.wMonth = reader.Number();
    reader.Separator();
    st.wYear = reader.Number();
    st.wHour = reader.Number();
    reader.Separator();
    st.wMinute = reader.Number();
    reader.Separator();
    st.wSecond = reader.Number();

    if (st.wMonth < 1 || st.wMonth > 12)
        return L"Month out of range";
    if (st.wYear < 1601 || st.wYear > 30827)
        return L"Year out of range";
    if (st.wHour > 23)
        return L"Hour out of range";
    if (st.wMinute > 59)
        return L"Minute out of range";
    if (st.wSecond > 59)
        return L"Second out of range";
    if (st.wDay < 1 || st.wDay > DaysInMonth(st.wMonth, st.wYear))
        return L"Day out of range";
    return nullptr;
}

std::wstring Format(const SYSTEMTIME& st)
{
    if (st.wDay == 0)
        return {};
    wchar_t wsz[64] = {};
    std::swprintf(wsz, 64, L"%2.2u/%2.2u/%4.4u %2.2u:%2.2u:%2.2u", unsigned{st.wDay}, unsigned{st.wMonth},
                  unsigned{st.wYear}, unsigned{st.wHour}, unsigned{st.wMinute}, unsigned{st.wSecond});
    return wsz;
}

} // namespace pit
