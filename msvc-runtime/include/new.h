// Stand-in for Visual C++'s new.h.
#pragma once
#include <vcruntime_new.h>
