// A stand-in NetWorker tool for engine tests: one role per run, chosen by the first argument.
//   lines TEXT         print TEXT (escapes \n \r \f \t) and exit
//   recover            banner, then "recover> " prompts answered until EXIT
//   keys N             print N raw key events as typed into the console
//   password N [HOLD_MS] [chars]
//                      ask N passwords with every console input mode off; say whether each
//                      equals the environment variable CVEX_FAKE_PASSWORD and how long it took;
//                      keep the input off HOLD_MS after each; "chars" reads with ReadConsoleW,
//                      which takes every typed key at once, instead of key event by key event
//   silent SECONDS     print nothing for a while (for ever: "silent 0"), then "done"
//   connect ADDR SECS  connect to ADDR:7937 (IPv4 or IPv6); when the server drops the connection close it too;
//                      after SECS silent seconds print "done"
//   crash              print half a line and die
#include "console/key_events.h"
#include "support/win.h"
#include "tests/common/loopback_address.h"

#include <cstdlib>
#include <string>

namespace
{

void Out(const std::string& s)
{
    DWORD n = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), s.data(), static_cast<DWORD>(s.size()), &n, nullptr);
}

std::string Unescape(const std::string& s)
{
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 == s.size()) {
            out += s[i];
            continue;
        }
        char c = s[++i];
        out += c == 'n' ? '\n' : c == 'r' ? '\r' : c == 'f' ? '\f' : c == 't' ? '\t' : c;
    }
    return out;
}

// Reads one line typed into the console, as a tool in line mode does; drops the LF that
// follows a CR and blank lines left by it.
std::string ReadTypedLine()
{
    HANDLE hIn = GetStdHandle(STD_INPUT_HANDLE);
    std::string line;
    for (;;) {
        INPUT_RECORD r;
        DWORD n = 0;
        if (!ReadConsoleInputW(hIn, &r, 1, &n) || n == 0)
            return line;
        if (r.EventType != KEY_EVENT || !r.Event.KeyEvent.bKeyDown)
            continue;
        wchar_t wc = r.Event.KeyEvent.uChar.UnicodeChar;
        if (wc == L'\r')
            return line;
        if (wc == L'\n' && line.empty())
            continue;
        char buf[8];
        int len = WideCharToMultiByte(CP_UTF8, 0, &wc, 1, buf, sizeof(buf), nullptr, nullptr);
        line.append(buf, static_cast<size_t>(len > 0 ? len : 0));
    }
}

int Recover()
{
    Out("Current working directory is C:\\\r\n");
    for (;;) {
        Out("recover> ");
        std::string cmd = ReadTypedLine();
        if (cmd == "EXIT")
            return 0;
        if (!cmd.empty())
            Out("you said: " + cmd + "\r\n");
    }
}

int Keys(int count)
{
    HANDLE hIn = GetStdHandle(STD_INPUT_HANDLE);
    for (int i = 0; i < count;) {
        INPUT_RECORD r;
        DWORD n = 0;
        if (!ReadConsoleInputW(hIn, &r, 1, &n) || n == 0)
            return 2;
        if (r.EventType != KEY_EVENT)
            continue;
        std::wstring w = DescribeKeyEvent(r);
        Out(std::string(w.begin(), w.end()) + "\r\n");
        ++i;
    }
    return 0;
}

// Reads a line with ReadConsoleW: with every input mode off it returns what was typed so far,
// and takes the key-up events along.
std::string ReadTypedChars()
{
    HANDLE hIn = GetStdHandle(STD_INPUT_HANDLE);
    std::string line;
    for (;;) {
        wchar_t buf[64];
        DWORD n = 0;
        if (!ReadConsoleW(hIn, buf, 64, &n, nullptr))
            return line;
        for (DWORD i = 0; i < n; ++i) {
            if (buf[i] == L'\n' && line.empty())
                continue; // the end of the previous line, left behind by its read
            if (buf[i] == L'\r' || buf[i] == L'\n')
                return line;
            line += static_cast<char>(buf[i]);
        }
    }
}

int Passwords(int count, const std::string& expected, DWORD dwHoldMs, bool bChars)
{
    HANDLE hIn = GetStdHandle(STD_INPUT_HANDLE);
    for (int i = 0; i < count; ++i) {
        DWORD dwMode = 0;
        GetConsoleMode(hIn, &dwMode);
        SetConsoleMode(hIn, 0);
        ULONGLONG ullStart = GetTickCount64();
        Out("Password for file C:\\secret" + std::to_string(i) + ".txt: ");
        std::string pw = bChars ? ReadTypedChars() : ReadTypedLine();
        ULONGLONG ullWaited = GetTickCount64() - ullStart;
        Sleep(dwHoldMs);
        SetConsoleMode(hIn, dwMode);
        Out(pw == expected ? "\r\npassword accepted\r\n" : "\r\npassword wrong\r\n");
        Out("waited " + std::to_string(ullWaited) + " ms\r\n");
    }
    return 0;
}

int Connect(const char* pAddress, int seconds)
{
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    sockaddr_storage a;
    int iLength = testutil::DaemonPortAddress(pAddress, a);
    SOCKET s = socket(a.ss_family, SOCK_STREAM, IPPROTO_TCP);
    if (connect(s, reinterpret_cast<sockaddr*>(&a), iLength) != 0) {
        Out("connect failed\r\n");
        return 3;
    }
    ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(seconds) * 1000;
    while (GetTickCount64() < end) {
        fd_set set;
        FD_ZERO(&set);
        FD_SET(s, &set);
        timeval tv = {0, 100000};
        char c;
        if (s != INVALID_SOCKET && select(0, &set, nullptr, nullptr, &tv) == 1 && recv(s, &c, 1, 0) <= 0) {
            closesocket(s); // the server dropped us
            s = INVALID_SOCKET;
        }
        if (s == INVALID_SOCKET)
            Sleep(100);
    }
    Out("done\r\n");
    if (s != INVALID_SOCKET)
        closesocket(s);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::string role = argc > 1 ? argv[1] : "";
    int n = argc > 2 ? std::atoi(argv[2]) : 1;
    if (role == "lines")
        Out(Unescape(argc > 2 ? argv[2] : ""));
    else if (role == "recover")
        return Recover();
    else if (role == "keys")
        return Keys(n);
    else if (role == "password")
        return Passwords(n, std::getenv("CVEX_FAKE_PASSWORD") ? std::getenv("CVEX_FAKE_PASSWORD") : "",
                         argc > 3 ? static_cast<DWORD>(std::atoi(argv[3])) : 0,
                         argc > 4 && std::string(argv[4]) == "chars");
    else if (role == "silent") {
        Sleep(n == 0 ? INFINITE : static_cast<DWORD>(n) * 1000);
        Out("done\r\n");
    } else if (role == "connect")
        return Connect(argc > 2 ? argv[2] : "127.0.0.1", argc > 3 ? std::atoi(argv[3]) : 1);
    else if (role == "crash") {
        Out("half a li");
        TerminateProcess(GetCurrentProcess(), 3);
    } else
        return 9;
    return 0;
}
