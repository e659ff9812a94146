#include "restore/recover_literals.h"

namespace
{

const wchar_t* const kLiterals[RL_COUNT] = {
    L"recover> ",
    L"urrent working directory is",
    L"Recovering Writer",
    L"No files have been backed up for this client",
    L"is not properly configured on the NetWorker Server",
    L"Cannot open file via DDCL for save-set",
    L"Cannot recover secured data to this file system",
    L"SYSTEM warning: DNS lookup failed",
    L"failed: busy",
    L"An existing connection was forcibly closed",
    L"Remote system error - No route to host",
    L"No volumes found for recover",
    L"Incorrect password for file",
    L"Failed to get port range from local",
    L"Failed initialize ports",
    L"SYSTEM warning: Reverse DNS lookup failed",
    L"RPC error:",
    L"Stale asynchronous RPC handle",
    L"352:Remote system error - Connection timed out",
    L"RPC cannot make a procedure call",
    L"RAP error: Service not available",
    L"Skipping recover of password protected file",
    L"One or more recover threads failed to exit successfully",
    L"A connection attempt failed because the connected party did not properly respond",
    L"Microsoft recommends simultaneous recovery",
    L"Password for file",
    L":recover:",
    L"unable to set 'compressed' attribute: The request is not supported.",
    L"file exists, overwriting",
    L"not found",
};

} // namespace

const wchar_t* RecoverLiteralText(RecoverLiteral id)
{
    return id < RL_COUNT ? kLiterals[id] : L"";
}

bool LineHas(const std::wstring& sLine, RecoverLiteral id)
{
    return id < RL_COUNT && sLine.find(kLiterals[id]) != std::wstring::npos;
}
