// The text that a NetWorker tool gives after ":recover:", for message 169.
#include "plugin/cvex_impl.h"
#include "restore/recover_literals.h"

bool CVEXImpl::ParseRecoverMsg(const std::wstring& sLine, std::wstring& sText)
{
    if (sLine.empty())
        return false;
    sText = sLine;
    const std::wstring sMarker = RecoverLiteralText(RL_RECOVER_MESSAGE);
    size_t i = sLine.find(sMarker);
    if (i == std::wstring::npos)
        return false;
    sText = sLine.substr(i + sMarker.size());
    return true;
}
