// The document's copy of the fault matrix is the table the matrix runs. With --print-matrix the
// program writes the table as markdown instead (scripts/update-fault-matrix.sh pastes it into the
// document).
#include "support/win.h"
#include "tests/faults/fault_matrix.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

using namespace faultmatrix;

TEST(FaultMatrixTable, TheDocumentShowsTheTable)
{
    const char kBegin[] = "<!-- fault matrix begin -->\n";
    const char kEnd[] = "<!-- fault matrix end -->";
    std::ifstream in("Z:" CVEX_RELIABILITY_DOC, std::ios::binary);
    const std::string sText((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t iBegin = sText.find(kBegin), iEnd = sText.find(kEnd);
    ASSERT_NE(iBegin, std::string::npos);
    ASSERT_NE(iEnd, std::string::npos);
    const std::string sShown = sText.substr(iBegin + strlen(kBegin), iEnd - iBegin - strlen(kBegin));
    EXPECT_EQ(sShown, Markdown(Rows())) << "run scripts/update-fault-matrix.sh";
}

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--print-matrix") == 0) {
            std::fputs(Markdown(Rows()).c_str(), stdout);
            return 0;
        }
    FreeConsole();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
