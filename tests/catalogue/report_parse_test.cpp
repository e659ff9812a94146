// The media database report and its dates, parsed from text.
#include "catalogue/date_time.h"
#include "catalogue/mminfo_report.h"
#include "tests/common/test_util.h"

#include <gtest/gtest.h>

using namespace catalogue;

namespace
{

struct tm Tm(int year, int mon, int mday, int hour, int min, int sec)
{
    struct tm tm = {};
    tm.tm_year = year - 1900;
    tm.tm_mon = mon - 1;
    tm.tm_mday = mday;
    tm.tm_hour = hour;
    tm.tm_min = min;
    tm.tm_sec = sec;
    return tm;
}

void ExpectTm(const struct tm& tm, int year, int mon, int mday, int hour, int min, int sec)
{
    EXPECT_EQ(tm.tm_year, year - 1900);
    EXPECT_EQ(tm.tm_mon, mon - 1);
    EXPECT_EQ(tm.tm_mday, mday);
    EXPECT_EQ(tm.tm_hour, hour);
    EXPECT_EQ(tm.tm_min, min);
    EXPECT_EQ(tm.tm_sec, sec);
}

bool AllZero(const struct tm& tm)
{
    return tm.tm_year == 0 && tm.tm_mon == 0 && tm.tm_mday == 0 && tm.tm_hour == 0 && tm.tm_min == 0 && tm.tm_sec == 0;
}

const wchar_t kNmmLine[] = L"nwsrv.001,Data Domain,winclient1,3/1/2021 10:11:12 PM,4 KB,4200001050,vF,full,"
                           L"APPLICATIONS:\\Microsoft SQL Server, Default Instance";

} // namespace

TEST(ReportDates, TwelveAndTwentyFourHourClocks)
{
    const struct {
        const wchar_t *pDate, *pTime, *pAmPm;
        int iDay, iHour;
    } kRows[] = {// 12 AM is midnight, 12 PM noon; a 24-hour report has no token: the time stands in for it.
                 {L"3/1/2021", L"10:11:12", L"PM", 1, 22},
                 {L"3/8/2021", L"12:15:00", L"AM", 8, 0},
                 {L"3/7/2021", L"12:30:00", L"PM", 7, 12},
                 {L"3/7/2021", L"9:05:00", L"AM", 7, 9},
                 {L"03/07/2021", L"23:30:59", L"23:30:59", 7, 23}};
    for (const auto& row : kRows) {
        struct tm tm = {};
        ASSERT_TRUE(ParseDateTime3(row.pDate, row.pTime, tm)) << row.pDate << " " << row.pTime;
        ApplyAmPm(tm, row.pAmPm);
        EXPECT_EQ(std::vector<int>({tm.tm_year, tm.tm_mon, tm.tm_mday, tm.tm_hour}),
                  std::vector<int>({121, 2, row.iDay, row.iHour}))
            << row.pTime << " " << row.pAmPm;
    }
    struct tm tm = {};
    ASSERT_TRUE(ParseDateTime3(L"12/31/2020", L"10:11:12", tm));
    ExpectTm(tm, 2020, 12, 31, 10, 11, 12);
}

TEST(ReportDates, MangledDatesAndTimesFailWithAZeroTime)
{
    struct tm tm = Tm(2021, 1, 1, 1, 1, 1);
    for (const auto& [pDate, pTime] : std::initializer_list<std::pair<const wchar_t*, const wchar_t*>>{
             {L"3/31/21", L"10:00:00"},      // two-digit year
             {L"3/31", L"10:00:00"},         // date cut short
             {L"3/31/2021/7", L"10:00:00"},  // a number too many
             {L"3/31/2021", L"10:00"},       // the report's time has seconds
             {L"3/31/2021", L"10:00:00:01"}, //
             {L"13/31/2021", L"10:00:00"},   // no month 13
             {L"0/31/2021", L"10:00:00"},    // month 0 would be -1
             {L"3/31/2021", L"25:00:00"},    //
             {L"3/31/2021", L"10:75:00"},    //
             {L"3/31/2021", L""},            //
             {L"", L"10:00:00"},             //
             {L"3/31/99999999999999999999", L"10:00:00"}}) {
        tm = Tm(2021, 1, 1, 1, 1, 1);
        EXPECT_FALSE(ParseDateTime3(pDate, pTime, tm)) << testing::PrintToString(std::wstring(pDate) + L" " + pTime);
        EXPECT_TRUE(AllZero(tm));
    }
    EXPECT_FALSE(ParseDateTime2(L"03/08/2021", L"22:00:00", tm)) << "the listing's time has no seconds";
    EXPECT_TRUE(ParseDateTime2(L"03/08/2021", L"22:07", tm));
    ExpectTm(tm, 2021, 3, 8, 22, 7, 0);
}

TEST(ReportLines, ColumnsWithAndWithoutTheTypeColumnAndCommasInNames)
{
    MminfoLine line;
    const wchar_t* pReason = nullptr;
    ASSERT_EQ(SplitMminfoLine(kNmmLine, true, line, pReason), ReportLine::Used);
    EXPECT_EQ(
        (std::vector<std::wstring>{line.sVolume, line.sType, line.sClient, line.sDate, line.sTime, line.sAmPm,
                                   line.sSizeNumber, line.sSizeUnit, line.sSsid, line.sFlags, line.sLevel, line.sName}),
        (std::vector<std::wstring>{L"nwsrv.001", L"Data Domain", L"winclient1", L"3/1/2021", L"10:11:12", L"PM", L"4",
                                   L"KB", L"4200001050", L"vF", L"full",
                                   L"APPLICATIONS:\\Microsoft SQL Server, Default Instance"}));
    ExpectTm(SaveTime(line), 2021, 3, 1, 22, 11, 12);

    // A 7.5 client's report has no type column: the second column is the client.
    ASSERT_EQ(
        SplitMminfoLine(L"nwsrv.001,winclient1,3/8/2021 23:00:00,3 KB,4200001051,vF,full,VSS:/", false, line, pReason),
        ReportLine::Used);
    EXPECT_EQ(line.sClient, L"winclient1");
    EXPECT_EQ(line.sSsid, L"4200001051");
    EXPECT_EQ(line.sName, L"VSS:/");
    ExpectTm(SaveTime(line), 2021, 3, 8, 23, 0, 0);
}

TEST(ReportLines, TitleWarningsErrorsAndScrambledLines)
{
    MminfoLine line;
    const wchar_t* pReason = nullptr;
    EXPECT_EQ(SplitMminfoLine(L"", true, line, pReason), ReportLine::Skipped);
    EXPECT_EQ(SplitMminfoLine(L"volume,type,client,date time,size,ssid,fl,lvl,name", true, line, pReason),
              ReportLine::Skipped);
    EXPECT_STREQ(pReason, L"Title line");
    EXPECT_EQ(
        SplitMminfoLine(L"6142:mminfo: SYSTEM warning: DNS lookup failed for host `winclient1'.", true, line, pReason),
        ReportLine::Skipped);
    EXPECT_EQ(SplitMminfoLine(L"6143:mminfo: SYSTEM warning: Reverse DNS lookup failed for address 192.0.2.1", true,
                              line, pReason),
              ReportLine::Skipped);
    EXPECT_EQ(SplitMminfoLine(L"6208:mminfo: RPC error: Remote system error - Unknown error", true, line, pReason),
              ReportLine::Rejected);
    EXPECT_EQ(SplitMminfoLine(L"no commas at all", true, line, pReason), ReportLine::Rejected);
    EXPECT_STREQ(pReason, L"Scrambled line [Volume]");
    // Each cut-off point names the column it could not cut.
    const std::wstring sFull = L"v,t,c,3/1/2021 1:00:00 AM,4 KB,42,vF,full,NAME";
    const wchar_t* const kColumns[] = {L"[Type]", L"[Client]", L"[Date-Time]", L"[Sum-Size]",
                                       L"[SSID]", L"[Flags]",  L"[Level]"};
    size_t at = sFull.find(L',') + 1;
    for (const wchar_t* pColumn : kColumns) {
        size_t next = sFull.find(L',', at);
        EXPECT_EQ(SplitMminfoLine(sFull.substr(0, next), true, line, pReason), ReportLine::Rejected);
        EXPECT_EQ(std::wstring(pReason), std::wstring(L"Scrambled line ") + pColumn);
        at = next + 1;
    }
}

TEST(ReportCatalogue, OneNmmSavesetStandsForAllThreeComponentsWithTheFirstTime)
{
    std::vector<SystemStateEntry> entries;
    const wchar_t* pReason = nullptr;
    EXPECT_EQ(ParseMminfoCatalogue(L"volume,type,client,date time,size,ssid,fl,lvl,name", true, entries, pReason),
              ReportLine::Skipped);
    EXPECT_EQ(ParseMminfoCatalogue(L"nwsrv.001,Data Domain,winclient1,3/1/2021 10:00:00 PM,300 KB,4200001001,vF,"
                                   L"full,C:\\",
                                   true, entries, pReason),
              ReportLine::Skipped)
        << "not an NMM saveset";
    EXPECT_EQ(ParseMminfoCatalogue(kNmmLine, true, entries, pReason), ReportLine::Used);
    EXPECT_EQ(ParseMminfoCatalogue(L"nwsrv.001.RO,Data Domain,winclient1,3/2/2021 1:00:00 AM,3 KB,4200001052,vF,full,"
                                   L"VSS:/",
                                   true, entries, pReason),
              ReportLine::Used)
        << "clone volumes count in the catalogue";
    ASSERT_EQ(entries.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(entries[i].eType, 13u + i);
        EXPECT_EQ(entries[i].stBackupTime.wYear, 2021);
        EXPECT_EQ(entries[i].stBackupTime.wMonth, 3);
        EXPECT_EQ(entries[i].stBackupTime.wDay, 1) << "the first NMM line decides";
        EXPECT_EQ(entries[i].stBackupTime.wHour, 22);
        EXPECT_EQ(entries[i].uiFilesRestored, 0u);
    }
    // "SYSTEM COMPONENTS:\ " arrives without its blank: the line reader strips it.
    std::vector<SystemStateEntry> components;
    EXPECT_EQ(ParseMminfoCatalogue(L"nwsrv.001,Data Domain,winclient1,3/8/2021 12:15:00 AM,3 KB,4200001053,vF,full,"
                                   L"SYSTEM COMPONENTS:\\",
                                   true, components, pReason),
              ReportLine::Used);
    ASSERT_EQ(components.size(), 3u);
    EXPECT_EQ(components[0].stBackupTime.wHour, 0);
    EXPECT_EQ(ParseMminfoCatalogue(L"nwsrv.001,Data Domain,winclient1,garbled,3 KB", true, components, pReason),
              ReportLine::Rejected);
    EXPECT_EQ(components.size(), 3u);
}

TEST(ReportTarget, LastLineOfANameWinsAndCloneVolumesAreSkipped)
{
    std::vector<SsidInfo> found;
    const wchar_t* pReason = nullptr;
    const std::wstring sTarget = L"SYSTEM COMPONENTS:\\";
    ParseMminfoTarget(L"nwsrv.001,DD,winclient1,3/7/2021 12:30:00 PM,3 KB,111,vF,full,SYSTEM COMPONENTS:\\", sTarget,
                      found, pReason);
    ParseMminfoTarget(L"nwsrv.001.RO,DD,winclient1,3/9/2021 1:00:00 AM,3 KB,999,vF,full,SYSTEM COMPONENTS:\\", sTarget,
                      found, pReason);
    EXPECT_STREQ(pReason, L"Read-Only volume");
    ParseMminfoTarget(L"nwsrv.001,DD,winclient1,3/8/2021 12:15:00 AM,3 KB,222,vF,full,SYSTEM COMPONENTS:\\", sTarget,
                      found, pReason);
    ParseMminfoTarget(L"nwsrv.001,DD,winclient1,3/8/2021 1:15:00 AM,3 KB,333,vF,full,VSS:/", sTarget, found, pReason);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].sSsid, L"222");
    EXPECT_EQ(found[0].sTarget, L"");
    ExpectTm(found[0].tmSaveTime, 2021, 3, 8, 0, 15, 0);
    EXPECT_EQ(ParseMminfoTarget(L"a,b,c", L"", found, pReason), ReportLine::Rejected);
    // Without the type column (a 7.5 client) the columns move one to the left.
    std::vector<SsidInfo> old;
    ParseMminfoTarget(L"nwsrv.001,winclient1,3/8/2021 1:15:00 AM,3 KB,444,vF,full,VSS:/", L"VSS:/", old, pReason,
                      false);
    ASSERT_EQ(old.size(), 1u);
    EXPECT_EQ(old[0].sSsid, L"444");
}

TEST(ReportTarget, DisasterRecoverySavesetsGiveTheirDrives)
{
    for (auto [pName, pTarget] : testutil::TextRows{
             {L"OSSR_C", L"C:\\"}, {L"OSSR_D_", L"D:\\"}, {L"OSSR_CD", nullptr}, {L"DISASTER_RECOVERY:\\", nullptr}}) {
        std::wstring s;
        EXPECT_EQ(OssrTarget(pName, s), pTarget != nullptr) << pName;
        EXPECT_EQ(s, pTarget ? pTarget : L"") << pName;
    }
    std::vector<SsidInfo> found;
    const wchar_t* pReason = nullptr;
    ParseMminfoTarget(L"nwsrv.001,DD,winclient1,3/8/2021 11:45:00 PM,5 KB,71,vF,full,OSSR_C", L"OSSR_", found, pReason);
    ParseMminfoTarget(L"nwsrv.001,DD,winclient1,3/8/2021 11:45:00 PM,5 KB,72,vF,full,OSSR_CD", L"OSSR_", found,
                      pReason);
    ParseMminfoTarget(L"nwsrv.001,DD,winclient1,3/8/2021 11:45:00 PM,5 KB,73,vF,full,OSSR_D_", L"OSSR_", found,
                      pReason);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].sTarget, L"C:\\");
    EXPECT_EQ(found[1].sTarget, L"D:\\");
    EXPECT_EQ(found[1].sSsid, L"73");
}
