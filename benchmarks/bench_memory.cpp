#include "benchmarks/bench_memory.h"

#include "support/win.h"

#include <psapi.h>

namespace bench
{

namespace
{

bool Counters(PROCESS_MEMORY_COUNTERS_EX& pmc)
{
    pmc = {};
    pmc.cb = sizeof(pmc);
    return GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&pmc), sizeof(pmc));
}

} // namespace

unsigned long long PrivateBytesNow()
{
    PROCESS_MEMORY_COUNTERS_EX pmc;
    if (!Counters(pmc))
        return 0;
    return pmc.PrivateUsage > pmc.PagefileUsage ? pmc.PrivateUsage : pmc.PagefileUsage;
}

PrivateBytesSampler::PrivateBytesSampler(unsigned long dwIntervalMs) : m_dwIntervalMs(dwIntervalMs)
{
    Note(PrivateBytesNow());
    m_hThread.reset(CreateThread(nullptr, 0, &PrivateBytesSampler::Sample, this, 0, nullptr));
}

PrivateBytesSampler::~PrivateBytesSampler()
{
    Stop();
}

unsigned long long PrivateBytesSampler::Stop()
{
    m_bStop = true;
    if (m_hThread) {
        WaitForSingleObject(m_hThread.get(), INFINITE);
        m_hThread.close();
    }
    Note(PrivateBytesNow());
    return m_ullPeak;
}

unsigned long __stdcall PrivateBytesSampler::Sample(void* pSelf)
{
    auto* self = static_cast<PrivateBytesSampler*>(pSelf);
    while (!self->m_bStop) {
        self->Note(PrivateBytesNow());
        Sleep(self->m_dwIntervalMs);
    }
    return 0;
}

void PrivateBytesSampler::Note(unsigned long long ull)
{
    unsigned long long ullPeak = m_ullPeak;
    while (ull > ullPeak && !m_ullPeak.compare_exchange_weak(ullPeak, ull)) {
    }
}

} // namespace bench
