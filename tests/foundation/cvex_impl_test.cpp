#include "plugin/cvex_impl.h"
#include "trace/trace.h"

#include <gtest/gtest.h>

TEST(CvexImpl, FreshObjectHasNoDrivesPasswordOrSession)
{
    CVEXImpl impl;
    EXPECT_EQ(impl.WinSystemLetter(), L'-');
    EXPECT_EQ(impl.WinBootLetter(), L'-');
    EXPECT_EQ(impl.WinEfiLetter(), L'-');
    EXPECT_TRUE(impl.Password().empty());
    const ConsoleHandles& h = impl.Handles();
    for (HANDLE x : {h.hConIn, h.hStdOutRd, h.hStdOutWr, h.hProcess, h.hThread})
        EXPECT_EQ(x, INVALID_HANDLE_VALUE);
    EXPECT_EQ(h.dwPID, 0u);
    EXPECT_TRUE(impl.CopyBoot());
    EXPECT_TRUE(impl.CopySystem());
}

TEST(CvexImpl, ToolPathsPointIntoTheClientFolder)
{
    CVEXImpl impl;
    const std::wstring sFolder = L"X:\\PROGRA~1\\Legato\\nsr\\bin\\";
    EXPECT_EQ(impl.MminfoPath(), sFolder + L"mminfo.exe");
    EXPECT_EQ(impl.RecoverPath(), sFolder + L"recover.exe");
    EXPECT_EQ(impl.NsradminPath(), sFolder + L"nsradmin.exe");
    EXPECT_EQ(impl.NsrexecdPath(), sFolder + L"nsrexecd.exe");
    EXPECT_EQ(impl.NsrportsPath(), sFolder + L"nsrports.exe");
    EXPECT_EQ(impl.NwinstcreatePath(), sFolder + L"nwinstcreate.exe");
}

TEST(CvexImpl, FiniHardResetClearsLastErrorAndSoftKeepsIt)
{
    CVEXImpl impl;
    std::wstring s;
    impl.SetLastErrorMsg(L"failed");
    EXPECT_TRUE(impl.Fini(false));
    impl.GetLastErrorMsg(s);
    EXPECT_EQ(s, L"failed");
    EXPECT_TRUE(impl.Fini(true));
    impl.GetLastErrorMsg(s);
    EXPECT_EQ(s, L"No error");
}

TEST(CvexImpl, ConstructionAppliesBothTraceLevelsOfTraceIni)
{
    // trace.ini beside the test programs sets CVEX_TraceLevel and CRPL_TraceLevel to 4.
    CrplTrace().SetLevel(2);
    CvexTrace().SetLevel(2);
    CVEXImpl impl;
    EXPECT_EQ(CvexTrace().GetLevelMask(), 15u);
    EXPECT_EQ(CrplTrace().GetLevelMask(), 15u) << "the registry edits' trace reads its own key";
}
