// Wine's crtdbg.h, with the release build's no-op report file setting that its header lacks.
#pragma once
#include_next <crtdbg.h>

#ifndef _DEBUG
#ifndef _CRTDBG_MODE_FILE
#define _CRTDBG_MODE_FILE 0x1
#define _CRTDBG_MODE_DEBUG 0x2
#define _CRTDBG_MODE_WNDW 0x4
#endif
#ifndef _CRTDBG_FILE_STDERR
#define _CRTDBG_FILE_STDERR ((void*)-5)
#endif
#ifndef _CrtSetReportFile
#define _CrtSetReportFile(t, f) ((void*)0)
#endif
#endif
