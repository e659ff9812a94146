#include "tests/abi/abi_host.h"

namespace abi
{
namespace
{

int g_nBadContexts = 0;

HostChannel* ChannelOf(void* pContext)
{
    auto* pChannel = static_cast<HostChannel*>(pContext);
    if (pChannel && pChannel->uiMagic == HostChannel::kMagic)
        return pChannel;
    ++g_nBadContexts;
    return nullptr;
}

int OnLog(unsigned uiLevel, const wchar_t* pText, void* pContext)
{
    HostChannel* pChannel = ChannelOf(pContext);
    if (pChannel)
        pChannel->messages.emplace_back(uiLevel, pText ? pText : L"<null>");
    return 0;
}

unsigned OnProgress(ProgressRecord*, void* pContext)
{
    ChannelOf(pContext); // counts a wrong context
    return 0;            // go on
}

} // namespace

int BadContextCalls()
{
    return g_nBadContexts;
}

void HostChannel::Attach(void* pPlugin)
{
    rawabi::Slot<rawabi::SetLogFn>(pPlugin, rawabi::kSetLogMsgCallbackFn)(pPlugin, &OnLog, this);
    rawabi::Slot<rawabi::SetProgFn>(pPlugin, rawabi::kSetProgMsgCallbackFn)(pPlugin, &OnProgress, this);
}

std::wstring HostChannel::LastErrorMessage() const
{
    for (auto it = messages.rbegin(); it != messages.rend(); ++it)
        if (it->first == ML_ERROR)
            return it->second;
    return {};
}

} // namespace abi
