#include "simulator/common/console_input.h"

#include "simulator/common/text.h"

namespace nwsim
{

bool AddTypedChar(wchar_t wc, std::wstring& sLine, bool& bAfterCR)
{
    bool bWasAfterCR = bAfterCR;
    bAfterCR = false;
    if (wc == L'\r') {
        bAfterCR = true;
        return true;
    }
    if (wc == L'\n')
        return !bWasAfterCR; // the LF of a CR LF pair was already counted with the CR
    if (wc == L'\b') {
        if (!sLine.empty())
            sLine.pop_back();
        return false;
    }
    sLine += wc;
    return false;
}

InputReader& ToolInput()
{
    static InputReader reader;
    return reader;
}

InputReader::InputReader() : m_hIn(GetStdHandle(STD_INPUT_HANDLE))
{
    DWORD dwMode = 0;
    m_bConsole = m_hIn != INVALID_HANDLE_VALUE && m_hIn != nullptr && GetConsoleMode(m_hIn, &dwMode);
}

bool InputReader::NextChar(wchar_t& wc, DWORD uTimeoutMs, bool& bTimedOut)
{
    DWORD dwStart = GetTickCount();
    for (;;) {
        DWORD dwElapsed = GetTickCount() - dwStart;
        DWORD dwWait = uTimeoutMs == INFINITE ? 50 : (dwElapsed >= uTimeoutMs ? 0 : uTimeoutMs - dwElapsed);
        if (uTimeoutMs != INFINITE && dwElapsed >= uTimeoutMs) {
            bTimedOut = true;
            return false;
        }
        if (m_bConsole) {
            if (WaitForSingleObject(m_hIn, dwWait < 50 ? dwWait : 50) != WAIT_OBJECT_0)
                continue;
            INPUT_RECORD rec;
            DWORD dwRead = 0;
            if (!ReadConsoleInputW(m_hIn, &rec, 1, &dwRead))
                return false;
            if (dwRead == 1 && rec.EventType == KEY_EVENT && rec.Event.KeyEvent.bKeyDown &&
                rec.Event.KeyEvent.uChar.UnicodeChar != 0) {
                wc = rec.Event.KeyEvent.uChar.UnicodeChar;
                return true;
            }
            continue;
        }
        // A pipe is polled so that a time limit holds; anything else (a file, NUL) is read plainly.
        DWORD dwAvail = 0;
        bool bPipe = PeekNamedPipe(m_hIn, nullptr, 0, nullptr, &dwAvail, nullptr);
        if (bPipe && dwAvail == 0) {
            Sleep(dwWait < 20 ? dwWait : 20);
            continue;
        }
        char c = 0;
        DWORD dwRead = 0;
        if (!ReadFile(m_hIn, &c, 1, &dwRead, nullptr) || dwRead == 0)
            return false;
        wc = static_cast<unsigned char>(c);
        return true;
    }
}

bool InputReader::ReadLine(std::string& sLine, DWORD uTimeoutMs, bool& bTimedOut)
{
    bTimedOut = false;
    std::wstring sWide;
    wchar_t wc = 0;
    while (NextChar(wc, uTimeoutMs, bTimedOut)) {
        if (AddTypedChar(wc, sWide, m_bAfterCR)) {
            sLine = Utf8(sWide);
            return true;
        }
    }
    return false;
}

bool InputReader::ReadSecret(std::string& sLine, DWORD uTimeoutMs, bool& bTimedOut)
{
    DWORD dwSaved = 0;
    bool bRestore = m_bConsole && GetConsoleMode(m_hIn, &dwSaved) && SetConsoleMode(m_hIn, 0);
    bool bRead = ReadLine(sLine, uTimeoutMs, bTimedOut);
    if (bRestore)
        SetConsoleMode(m_hIn, dwSaved);
    return bRead;
}

} // namespace nwsim
