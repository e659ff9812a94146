// A stand-in client tool for the benchmarks, one role per run, chosen by the first argument.
//   lines N        print N lines of 60 characters and exit
//   prompts N      print N "recover> " prompts; for each, how long after its last byte the typed
//                  answer arrived ("latency_us V"), then exit
//   passwords N    ask N passwords with every console input mode off; for each, how long from the
//                  mode change to the typed password ("password_us V")
//   stamps         print "start_us V" as soon as it runs and "end_us V" just before it exits
//                  (the machine's monotonic clock, which the driver reads too)
//   input          read standard input to its end (a pipe or a file, not a console); the exit
//                  code is the number of line ends read, printed lines included
#include "benchmarks/bench_stats.h"
#include "support/win.h"

#include <cstdlib>
#include <string>
#include <vector>

namespace
{

void Out(const std::string& s)
{
    DWORD n = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), s.data(), static_cast<DWORD>(s.size()), &n, nullptr);
}

// One line typed into the console: key-down characters up to CR.
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
        if (wc != L'\n')
            line += static_cast<char>(wc);
    }
}

// Lines of 58 visible characters and CR LF, written in large blocks as a tool's C runtime does.
int Lines(long long count)
{
    const long long kPerBlock = 1000;
    std::string block;
    long long written = 0;
    while (written < count) {
        block.clear();
        for (long long i = 0; i < kPerBlock && written < count; ++i, ++written) {
            std::string line = "./Bulk/set 0001/file " + std::to_string(written) + ".txt";
            line.resize(58, ' ');
            block += line + "\r\n";
        }
        Out(block);
    }
    return 0;
}

int Prompts(int count)
{
    std::vector<long long> us;
    for (int i = 0; i < count; ++i) {
        Out("recover> ");
        long long t0 = bench::NowUs();
        std::string answer = ReadTypedLine();
        us.push_back(bench::NowUs() - t0);
        if (answer.empty())
            return 3;
    }
    for (long long v : us)
        Out("latency_us " + std::to_string(v) + "\r\n");
    return 0;
}

int Passwords(int count)
{
    HANDLE hIn = GetStdHandle(STD_INPUT_HANDLE);
    std::vector<long long> us;
    for (int i = 0; i < count; ++i) {
        DWORD dwMode = 0;
        GetConsoleMode(hIn, &dwMode);
        SetConsoleMode(hIn, 0);
        long long t0 = bench::NowUs();
        Out("Password for file C:\\secret" + std::to_string(i) + ".txt: ");
        std::string pw = ReadTypedLine();
        us.push_back(bench::NowUs() - t0);
        SetConsoleMode(hIn, dwMode);
        Out(pw.empty() ? "\r\npassword missing\r\n" : "\r\npassword accepted\r\n");
    }
    for (long long v : us)
        Out("password_us " + std::to_string(v) + "\r\n");
    return 0;
}

int CountInputLines()
{
    HANDLE hIn = GetStdHandle(STD_INPUT_HANDLE);
    int nLines = 0;
    char buf[4096];
    DWORD n = 0;
    while (ReadFile(hIn, buf, sizeof buf, &n, nullptr) && n > 0)
        for (DWORD i = 0; i < n; ++i)
            nLines += buf[i] == '\n';
    Out("read " + std::to_string(nLines) + " lines\r\n");
    return nLines;
}

} // namespace

int main(int argc, char** argv)
{
    std::string role = argc > 1 ? argv[1] : "";
    long long n = argc > 2 ? std::atoll(argv[2]) : 1;
    if (role == "lines")
        return Lines(n);
    if (role == "prompts")
        return Prompts(static_cast<int>(n));
    if (role == "passwords")
        return Passwords(static_cast<int>(n));
    if (role == "stamps") {
        Out("start_us " + std::to_string(bench::NowUs()) + "\r\n");
        Out("end_us " + std::to_string(bench::NowUs()) + "\r\n");
        return 0;
    }
    if (role == "input")
        return CountInputLines();
    return 9;
}
