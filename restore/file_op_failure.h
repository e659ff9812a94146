// How a failed file operation ends: no false without a message for the host.
#pragma once
#include "plugin/crpl_impl.h"

// Traces the reason with the Win32 code, posts error message uiMsgId ("... failed with error
// %u") with that code, leaves the code as the thread's last error (callers such as the
// configuration copy decide by it) and returns false.
bool FileOpFailed(CRPLImpl& impl, const wchar_t* pFn, const wchar_t* pReason, unsigned uiMsgId, DWORD dwError);
