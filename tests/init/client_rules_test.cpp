// The decisions of the client set-up, over text: search path, versions, port lines, command
// lines, the working folders and the verdict on a client installation.
#include "client/client_rules.h"

#include <gtest/gtest.h>

#include <set>

using namespace nwclient;

namespace
{
const wchar_t kBin[] = L"X:\\PROGRA~1\\Legato\\nsr\\bin";
}

// The client folder goes in front of the upper-cased path, unless an entry in any case already
// names a "legato" folder; empty entries survive; a rewritten path is not rewritten again.
TEST(ClientSearchPath, ClientFolderInFrontOfTheUpperCasedPathUnlessThere)
{
    const std::pair<std::wstring, std::wstring> kCases[] = {
        {L"c:\\windows;c:\\bin", std::wstring(kBin) + L";C:\\WINDOWS;C:\\BIN"},
        {L"c:\\a;;c:\\b;", std::wstring(kBin) + L";C:\\A;;C:\\B;"},
        {L"c:\\windows;x:\\progra~1\\legato\\nsr\\bin", L"C:\\WINDOWS;X:\\PROGRA~1\\LEGATO\\NSR\\BIN"},
        {L"d:\\Tools\\LeGaTo\\x", L"D:\\TOOLS\\LEGATO\\X"},
        {L"c:\\legatools", std::wstring(kBin) + L";C:\\LEGATOOLS"},
        {ClientSearchPath(L"c:\\windows", kBin), L"X:\\PROGRA~1\\LEGATO\\NSR\\BIN;C:\\WINDOWS"},
    };
    for (const auto& [sPath, sExpected] : kCases)
        EXPECT_EQ(ClientSearchPath(sPath, kBin), sExpected) << testing::PrintToString(sPath);
}

TEST(VersionTexts, ProductVersionWordsAndFileVersionQuery)
{
    EXPECT_EQ(VersionText(0x00080002, 0x00040001), L"8.2.4.1");
    EXPECT_EQ(VersionText(0x00130004, 0x00000001), L"19.4.0.1");
    EXPECT_EQ(VersionText(0xFFFFFFFF, 0xFFFF0000), L"65535.65535.65535.0");
    EXPECT_EQ(FileVersionQuery(0x0409, 0x04B0), L"\\StringFileInfo\\040904B0\\FileVersion");
    EXPECT_EQ(FileVersionQuery(kDefaultLanguage, kDefaultCodePage), L"\\StringFileInfo\\080904B0\\FileVersion");
    EXPECT_EQ(FileVersionQuery(0xabc, 0x4e4), L"\\StringFileInfo\\0ABC04E4\\FileVersion");
}

// The prefix in any case at the start of the line, then the range after the blank (none lost
// without one); another line leaves the range as it was.
TEST(PortRange, PrefixIgnoringCaseThenTheRangeAfterTheBlank)
{
    const std::pair<const wchar_t*, const wchar_t*> kCases[] = {
        {L"Service ports: 7937-9936", L"7937-9936"},
        {L"SERVICE PORTS: 0-0", L"0-0"},
        {L"Service ports:7937-9936", L"7937-9936"},
        {L"Service ports:", L""},
        {L"Ports of host pc1:", nullptr},
        {L"  Service ports: 1-2", nullptr},
        {L"Service port", nullptr},
        {L"", nullptr},
    };
    for (const auto& [pLine, pRange] : kCases) {
        std::wstring s = L"untouched";
        EXPECT_EQ(PortRange(pLine, L"Service ports:", s), pRange != nullptr) << testing::PrintToString(pLine);
        EXPECT_EQ(s, pRange ? pRange : L"untouched") << testing::PrintToString(pLine);
    }
}

TEST(CommandLines, ToolsWithTheirArguments)
{
    EXPECT_EQ(DaemonCommandLine(L"X:\\b\\nsrexecd.exe", L"nwsrv"), L"\"X:\\b\\nsrexecd.exe\" -s nwsrv");
    EXPECT_EQ(PortsCommandLine(L"X:\\b\\nsrports.exe", L""), L"X:\\b\\nsrports.exe");
    EXPECT_EQ(PortsCommandLine(L"X:\\b\\nsrports.exe", L"pc1"), L"X:\\b\\nsrports.exe -t pc1");
    EXPECT_EQ(CertificateCommandLine(L"X:\\b\\nwinstcreate.exe", L"C:\\cfg dir\\a.pem", L"C:\\k.pem"),
              L"X:\\b\\nwinstcreate.exe -c \"C:\\cfg dir\\a.pem\" -p \"C:\\k.pem\"");
}

TEST(NsrDirectories, TwentySevenFoldersEachAfterItsParent)
{
    const std::vector<std::wstring>& dirs = NsrDirectories();
    ASSERT_EQ(dirs.size(), 27u);
    EXPECT_EQ(dirs.front(), L"applogs");
    EXPECT_EQ(dirs.back(), L"tmp\\sec");
    std::set<std::wstring> seen;
    for (const std::wstring& d : dirs) {
        size_t slash = d.rfind(L'\\');
        if (slash != std::wstring::npos) {
            EXPECT_TRUE(seen.count(d.substr(0, slash))) << "parent of " << testing::PrintToString(d);
        }
        EXPECT_TRUE(seen.insert(d).second) << "twice: " << testing::PrintToString(d);
    }
    for (const wchar_t* p : {L"res\\nsrladb\\00", L"res\\nsrladb\\09", L"rmagentps\\client\\bin", L"dedup\\logs"})
        EXPECT_TRUE(seen.count(p)) << testing::PrintToString(std::wstring(p));
}

TEST(ClientVerdict, FirstMissingPieceNamesTheReason)
{
    ClientFindings found;
    EXPECT_STREQ(ClientUnusableReason(found), L"No nsrexecd.exe found");
    found.bDaemonFound = true;
    EXPECT_STREQ(ClientUnusableReason(found), L"No recover.exe found");
    found.bRecoverFound = true;
    EXPECT_STREQ(ClientUnusableReason(found), L"No release found");
    found.sRelease = L"8.2.4.1.Build.235";
    EXPECT_STREQ(ClientUnusableReason(found), L"No version found");
    found.sVersion = L"8.2.4.1";
    EXPECT_EQ(ClientUnusableReason(found), nullptr);
    // A later nsrexecd.exe that could not be read spoils the installation even after a good one.
    found.bReleaseFailed = true;
    EXPECT_STREQ(ClientUnusableReason(found), L"GetReleaseVersion failed");
}
