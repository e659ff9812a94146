// The reference host's listing: flag names, the system-state property, the table and the JSON.
#include "host/listing.h"

#include "tests/host/volumes.h"

#include <gtest/gtest.h>

namespace
{

TEST(HostListing, FlagNamesSayEveryBitInOrder)
{
    EXPECT_EQ(refhost::FlagNames(0), L"");
    EXPECT_EQ(refhost::FlagNames(3), L"needed to start, boot volume");
    EXPECT_EQ(refhost::FlagNames(5), L"needed to start, system volume");
    EXPECT_EQ(refhost::FlagNames(8), L"mounted folder");
    EXPECT_EQ(refhost::ComponentName(8), L"VSS SYSTEM BOOT:\\");
    EXPECT_EQ(refhost::ComponentName(16), L"WINDOWS ROLES AND FEATURES:\\");
    EXPECT_EQ(refhost::ComponentName(17), L"type 17");
}

TEST(HostListing, ComponentPropertySkipsWhatItCannotRead)
{
    auto c =
        refhost::ParseComponents(L"8\t2021-03-08 22:00:00\r\n\t2021\nx\t1\n123\tlong type\n10\t2021-03-08 22:05:00");
    ASSERT_EQ(c.size(), 2u);
    EXPECT_EQ(c[0].uiType, 8u);
    EXPECT_EQ(c[0].sBackupTime, L"2021-03-08 22:00:00");
    EXPECT_EQ(c[1].uiType, 10u);
    EXPECT_TRUE(refhost::ParseComponents(L"").empty());
}

TEST(HostListing, TableAndJsonCarryTheSameRecords)
{
    refhost::Listing listing;
    listing.bListed = true;
    listing.filespaces = {Volume(L"C:\\", L'C', 3), Volume(L"D:\\Data\\Mount 1", L'-', 8)};
    listing.filespaces[0].sFsType = L"NTFS";
    listing.filespaces[0].bFsTimeValid = true;
    listing.filespaces[0].tmFsTime.tm_year = 121;
    listing.filespaces[0].tmFsTime.tm_mon = 2;
    listing.filespaces[0].tmFsTime.tm_mday = 8;
    listing.filespaces[0].tmFsTime.tm_hour = 22;
    listing.components = {{8, L"2021-03-08 22:00:00"}};
    listing.bSystemStateChecked = true;
    listing.sCheckError = L"Found System State saveset 'x'";

    auto lines = refhost::FormatListing(listing);
    ASSERT_GE(lines.size(), 6u);
    EXPECT_EQ(lines[0], L"Filespaces: 2");
    EXPECT_NE(lines[2].find(L"2021-03-08 22:00"), std::wstring::npos);
    EXPECT_NE(lines[2].find(L"BOOT"), std::wstring::npos);
    EXPECT_NE(lines[3].find(L"mounted folder"), std::wstring::npos);
    EXPECT_EQ(lines.back(), L"System state: incomplete (Found System State saveset 'x')");

    std::string json = refhost::ListingJson(listing);
    EXPECT_NE(json.find("\"name\": \"C:\\\\\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"path\": \"D:\\\\Data\\\\Mount 1\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"system_state_complete\": false"), std::string::npos) << json;
    EXPECT_NE(json.find("\"backup_time\": \"2021-03-08 22:00:00\""), std::string::npos) << json;
}

TEST(HostListing, FailedListingAndBadNamesDoNotBreakTheReport)
{
    refhost::Listing failed;
    failed.sListError = L"Failed to get a list of filespaces";
    EXPECT_EQ(refhost::FormatListing(failed).front(), L"Listing: failed (Failed to get a list of filespaces)");
    EXPECT_NE(refhost::ListingJson(failed).find("\"listed\": false"), std::string::npos);

    refhost::Listing odd;
    odd.bListed = true;
    odd.filespaces = {Volume(std::wstring(L"E:\\") + wchar_t(0xD800), L'E', 0),
                      Volume(L"F:\\Fichiers \u00e9t\u00e9", L'-', 8)};
    std::string json;
    ASSERT_NO_THROW(json = refhost::ListingJson(odd)); // a lone surrogate is replaced, not fatal
    EXPECT_NE(json.find("F:\\\\Fichiers \xc3\xa9t\xc3\xa9"), std::string::npos) << json;
}

} // namespace
