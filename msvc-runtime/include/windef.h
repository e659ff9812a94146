// Wine's windef.h defines "inline" as "__inline" for Microsoft compilers; the standard library
// forbids a macro named after a keyword, so it is undone for C++.
#pragma once
#include_next <windef.h>
#ifdef __cplusplus
#undef inline
#endif
