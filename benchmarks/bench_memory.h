// The private bytes of this process, sampled by a thread of its own while an operation runs.
#pragma once
#include "support/handle.h"

#include <atomic>

namespace bench
{

// Private bytes of this process now: PROCESS_MEMORY_COUNTERS_EX PrivateUsage, or PagefileUsage
// where that is higher (Wine 8 leaves PrivateUsage 0 and reports the private memory as
// PagefileUsage); 0 when unknown.
unsigned long long PrivateBytesNow();

// Samples every dwIntervalMs from construction to Stop (or destruction); the highest sample.
class PrivateBytesSampler
{
public:
    explicit PrivateBytesSampler(unsigned long dwIntervalMs);
    ~PrivateBytesSampler();
    PrivateBytesSampler(const PrivateBytesSampler&) = delete;
    PrivateBytesSampler& operator=(const PrivateBytesSampler&) = delete;
    // Ends the sampling (one last sample first) and gives the highest value seen.
    unsigned long long Stop();

private:
    static unsigned long __stdcall Sample(void* pSelf);
    void Note(unsigned long long ull);

    unsigned long m_dwIntervalMs;
    std::atomic<bool> m_bStop{false};
    std::atomic<unsigned long long> m_ullPeak{0};
    velmora::unique_handle_null m_hThread;
};

} // namespace bench
