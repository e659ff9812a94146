// The host's side of the module's log and progress callbacks: what the module reported.
#pragma once
#include <string>
#include <utility>
#include <vector>

namespace abichannel
{

struct HostChannel {
    static constexpr unsigned kMagic = 0xAB1C0DE5;
    std::vector<std::pair<unsigned, std::wstring>> messages; // level, text
    std::vector<std::pair<unsigned, std::wstring>> progress; // record kind, sText1
    unsigned uiMagic = kMagic;                               // tells a context the module handed back wrongly

    // Hands both callbacks to the CRPL object through its slots 2 and 3.
    void Attach(void* pPlugin);
    // The text of the newest level 3 (error) message; empty when there was none.
    std::wstring LastErrorMessage() const;
    bool HasProgress(unsigned uiKind, const std::wstring& sText1) const;
    bool HasProgressKind(unsigned uiKind) const;
};

// Callbacks that came with a context that is no HostChannel (the module mixed up arguments).
int BadContextCalls();

} // namespace abichannel
