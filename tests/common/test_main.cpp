// Shared main of the test programs. The real host has no console of its own, and a console
// inherited from a Linux shell cannot take key events: free it before anything runs.
#include "support/win.h"

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    FreeConsole();
    // Message texts and the version resource are read from the loaded CVEX.DLL, as in the host.
    LoadLibraryW(L"CVEX.DLL");
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
