// Wine's excpt.h declares the structured-exception intrinsics only for Microsoft's compiler;
// clang has them as builtins.
#pragma once
#include_next <excpt.h>

#ifndef GetExceptionCode
#define GetExceptionCode _exception_code
#define GetExceptionInformation() ((struct _EXCEPTION_POINTERS*)_exception_info())
#define AbnormalTermination _abnormal_termination
#endif
