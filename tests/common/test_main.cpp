// Shared main of the test programs. The real host has no console of its own, and a console
// inherited from a Linux shell cannot take key events: free it before anything runs.
#include "support/win.h"

#include <gtest/gtest.h>

// CTest reports a program that ends with this code as skipped, not passed.
constexpr int kSkippedExitCode = 77;

int main(int argc, char** argv)
{
    FreeConsole();
    // Message texts and the version resource are read from the loaded CVEX.DLL, as in the host.
    LoadLibraryW(L"CVEX.DLL");
    testing::InitGoogleTest(&argc, argv);
    const int iResult = RUN_ALL_TESTS();
    const testing::UnitTest& unit = *testing::UnitTest::GetInstance();
    // A program whose cases all passed or were skipped, some skipped, is a skip: what it was
    // to check went unchecked. A failure anywhere still fails it.
    if (iResult == 0 && unit.skipped_test_count() > 0)
        return kSkippedExitCode;
    return iResult;
}
