// Backups whose saved configuration or savesets differ from the sample machine's, through the
// simulator's store-builder variants.
#include "hostapi/message_ids.h"
#include "plugin/cvex.h"
#include "plugin/cvex_impl.h"
#include "tests/catalogue/catalogue_host.h"
#include "tests/common/test_util.h"

using namespace cataloguetest;

TEST_F(CatalogueHost, VariantsOfTheSavedConfiguration)
{
    ASSERT_TRUE(Init()) << testing::PrintToString(LastError());
    {
        SCOPED_TRACE("GPT without an EFI letter");
        UseStore(L"gpt-no-efi");
        EXPECT_FALSE(List());
        EXPECT_EQ(MessageIds(), (std::vector<unsigned>{MSG_LISTING_SAVESETS, MSG_CONFIG_FILES_COPIED,
                                                       MSG_NO_SYSTEM_RESERVED_LETTER, MSG_NO_BOOT_SYSTEM_LETTERS}));
        EXPECT_EQ(LastError(), Text(MSG_NO_BOOT_SYSTEM_LETTERS));
    }
    {
        SCOPED_TRACE("an empty boot letter: the boot partition's letter is used");
        UseStore(L"boot-partition");
        ASSERT_TRUE(List()) << testing::PrintToString(LastError());
        ASSERT_EQ(m_list.size(), 3u);
        EXPECT_EQ(m_list[0].ulFsFlags, 7u) << "the lower-case letter of partition 2 names C:";
        EXPECT_EQ(static_cast<CVEX*>(m_pPlugin)->Impl()->WinSystemLetter(), L'C');
    }
    {
        SCOPED_TRACE("a missing key");
        UseStore(L"no-windir-directory");
        EXPECT_FALSE(List());
        EXPECT_TRUE(Logged(MSG_NO_WINDOWS_DIRECTORY, ML_ERROR));
    }
    {
        SCOPED_TRACE("Server Core, 32-bit, another computer name, Windows on E:");
        UseStore(L"core-x86-e");
        ASSERT_TRUE(List()) << testing::PrintToString(LastError());
        CVEXImpl& impl = *static_cast<CVEX*>(m_pPlugin)->Impl();
        EXPECT_TRUE(impl.IsCore());
        EXPECT_FALSE(impl.Is64Bit());
        EXPECT_EQ(impl.WinBootLetter(), L'E');
        EXPECT_EQ(impl.BootFilespace(), L"E:\\");
        EXPECT_EQ(impl.WinDir(), L"\\Windows");
        wchar_t wsz[64] = {};
        GetPrivateProfileStringW(L"ComputerName", L"ComputerName", L"", wsz, 64,
                                 (std::wstring(kConfigDir) + L"disrec.ini").c_str());
        EXPECT_STREQ(wsz, L"winclient1") << "the client name replaces another computer name";
    }
}

TEST_F(CatalogueHost, VariantsOfTheSavesets)
{
    ASSERT_TRUE(Init()) << testing::PrintToString(LastError());
    {
        SCOPED_TRACE("an incomplete VSS set");
        UseStore(L"vss-no-services");
        ASSERT_TRUE(List()) << testing::PrintToString(LastError());
        m_messages.clear();
        EXPECT_FALSE(m_pPlugin->CheckSystemState());
        EXPECT_EQ(LastError(), L"Found System State savesets 'VSS SYSTEM BOOT:\\' and 'VSS SYSTEM FILESET:\\', but "
                               L"'VSS SYSTEM SERVICES:\\' could not be located");
    }
    {
        SCOPED_TRACE("a filespace whose name holds a saveset word is a filespace");
        UseStore(L"asr-images");
        ASSERT_TRUE(List()) << testing::PrintToString(LastError());
        bool bFound = false;
        for (const FileSpace& fs : m_list)
            bFound = bFound || (fs.sFsName == L"D:\\ASR Images" && fs.ulFsFlags == FS_MOUNTED_FOLDER &&
                                fs.sFsPath == L"D:\\ASR Images");
        EXPECT_TRUE(bFound);
        for (const SystemStateEntry& e : SystemState())
            EXPECT_NE(e.eType, unsigned(SST_ASR));
    }
}
