// The standard library's own sources include <Windows.h>; Wine's header is <windows.h>.
#pragma once
#include <windows.h>
