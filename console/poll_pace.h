// How long the output reader sleeps when the pipe is empty. A tool that has just been started,
// has just printed or has just been typed an answer usually prints again soon (its first line
// once the process is up, the next line of a dialogue, its next prompt, its end), so for a short
// while after such activity the reader looks every millisecond; otherwise every 10 ms. The while
// covers a tool's start under Wine (50 to 150 ms to its first line) and a server's answer. The
// heartbeat period is counted in time slept, so it lasts as long whichever pace the reader keeps.
#pragma once

#include <cstdint>

class PollPace
{
public:
    static constexpr unsigned kRegularMs = 10;
    static constexpr unsigned kBriskMs = 1;
    static constexpr std::uint64_t kBriskWindowMs = 250;
    // A tool that streams output (a read brought at least kStreamingBytes) writes its next block
    // within a millisecond; a millisecond's sleep would leave it blocked on the full pipe. For
    // kHotWindowMs after such a read the reader only yields.
    static constexpr unsigned kHotMs = 0;
    static constexpr std::uint64_t kHotWindowMs = 2;
    static constexpr unsigned long kStreamingBytes = 4096;

    // Output arrived or an answer was typed at tick ullNowMs; nBytes is what a read brought.
    void Activity(std::uint64_t ullNowMs, unsigned long nBytes = 0)
    {
        m_ullLastActivityMs = ullNowMs;
        m_bActive = true;
        m_bStreaming = nBytes >= kStreamingBytes;
    }
    unsigned SleepMs(std::uint64_t ullNowMs) const
    {
        if (m_bStreaming && ullNowMs - m_ullLastActivityMs < kHotWindowMs)
            return kHotMs;
        return m_bActive && ullNowMs - m_ullLastActivityMs < kBriskWindowMs ? kBriskMs : kRegularMs;
    }

private:
    std::uint64_t m_ullLastActivityMs = 0;
    bool m_bActive = false;
    bool m_bStreaming = false;
};
