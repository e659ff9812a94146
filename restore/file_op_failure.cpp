#include "restore/file_op_failure.h"

#include "trace/trace.h"

bool FileOpFailed(CRPLImpl& impl, const wchar_t* pFn, const wchar_t* pReason, unsigned uiMsgId, DWORD dwError)
{
    CrplTrace().ApiFailure(pFn, pReason, dwError);
    CrplTrace().EndFail(pFn, pReason);
    impl.LogVarMsg(ML_ERROR, uiMsgId, static_cast<unsigned>(dwError));
    SetLastError(dwError);
    return false;
}
