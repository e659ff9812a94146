// Names and paths that could break out of a command line's quotes, start a new line of the hosts
// or servers file or be expanded by a shell: the rule itself, called with text, and the entry
// points that must refuse them before anything is run or changed.
#include "client/query_network.h"
#include "credentials/safe_text.h"
#include "hostapi/message_ids.h"
#include "tests/common/test_util.h"
#include "tests/faults/security_impl.h"

#include <gtest/gtest.h>

using safetext::Kind;

namespace
{

const Kind kAllKinds[] = {Kind::HostName, Kind::PointInTime, Kind::Filespace, Kind::Path};

std::wstring Why(const std::wstring& s, Kind kind)
{
    const wchar_t* p = safetext::Refusal(s, kind);
    return p ? p : L"";
}

} // namespace

TEST(SecurityText, EveryKindRefusesQuotesRedirectionsAndLineBreaksWherever_They_Stand)
{
    struct Case {
        std::wstring sPart;
        const wchar_t* pReason;
    };
    const Case cases[] = {
        {L"\"", L"holds a double quote"},        {L"|", L"holds a vertical bar"},
        {L"<", L"holds a less-than sign"},       {L">", L"holds a greater-than sign"},
        {L"\n", L"holds a line break"},          {L"\r", L"holds a line break"},
        {L"\u2028", L"holds a line break"},      {L"\u0085", L"holds a line break"},
        {L"\t", L"holds a control character"},   {L"\x1b", L"holds a control character"},
        {L"\x7f", L"holds a control character"}, {std::wstring(1, L'\0'), L"holds a control character"},
    };
    for (Kind kind : kAllKinds) {
        for (const Case& c : cases) {
            for (const std::wstring& s : {c.sPart + L"abc", L"ab" + c.sPart + L"c", L"abc" + c.sPart}) {
                SCOPED_TRACE(testing::PrintToString(s) + " kind " + std::to_string(static_cast<int>(kind)));
                EXPECT_EQ(Why(s, kind), c.pReason);
            }
        }
    }
}

// The narrow command line carries only what the ANSI code page has: a name that would come back
// changed is refused, and the message names it.
TEST(SecurityText, ANameTheCodePageCannotCarryIsRefusedAndNamed)
{
    ASSERT_EQ(GetACP(), 1252u) << "the machine's code page";
    for (const wchar_t* p : {L"D:\\\u03a9mega", L"D:\\a\u4e2d", L"D:\\\u2126hm"}) {
        EXPECT_EQ(Why(p, Kind::Filespace), safetext::kCodePageRefusal) << testing::PrintToString(std::wstring(p));
        EXPECT_EQ(Why(p, Kind::Path), safetext::kCodePageRefusal);
        EXPECT_EQ(Why(p, Kind::HostName), L"") << "host names are not checked against the code page";
    }
    EXPECT_EQ(Why(L"D:\\Gr\u00fc\u00dfe \u00e9t\u00e9 \u20ac", Kind::Filespace), L"");
    SecurityImpl impl;
    EXPECT_FALSE(impl.IsSafeText(L"D:\\\u03a9mega", Kind::Filespace, L"filespace name"));
    EXPECT_EQ(impl.LastError(),
              L"The filespace name \"D:\\\u03a9mega\" cannot be used: it " + std::wstring(safetext::kCodePageRefusal));
}

// What each kind takes and refuses beyond the characters every kind refuses. Tools run without a
// shell: in a file name '%', '^' and '&' are ordinary characters; a host name or a time never
// holds them, and a host name holds no blank or '#' either, which paths may.
TEST(SecurityText, EachKindTakesWhatItsUseAllows)
{
    struct Case {
        const wchar_t* pText;
        Kind kind;
        const wchar_t* pReason; // empty: taken
    };
    const Case cases[] = {
        {L"D:\\R%D 100", Kind::Filespace, L""},
        {L"D:\\R^D 100", Kind::Path, L""},
        {L"D:\\R&D 100", Kind::Filespace, L""},
        {L"nw%srv", Kind::HostName, L"holds a percent sign"},
        {L"nw^srv", Kind::HostName, L"holds a caret"},
        {L"12&", Kind::PointInTime, L"holds an ampersand"},
        {L"nw server", Kind::HostName, L"holds a blank"},
        {L"nw\u00a0server", Kind::HostName, L"holds a blank"},
        {L"nw\u3000server", Kind::HostName, L"holds a blank"},
        {L"nw\u00a0server", Kind::Path, L""},
        {L"nw#2", Kind::HostName, L"holds a number sign"},
        {L"D:\\Data\\#2 Mount", Kind::Path, L""},
        {L"D:\\Data\\#2 Mount", Kind::Filespace, L""},
        {L"localhost", Kind::HostName, L""},
        {L"nw-server.corp.example", Kind::HostName, L""},
        {L"client-\u00e9\u4e2d", Kind::HostName, L""},
        {L"::1", Kind::HostName, L""},
        {L"VSS SYSTEM BOOT:\\", Kind::Filespace, L""},
        {L"\\\\?\\D:\\a (1)\\b,c;d=e!f'g@h$i~j[k]{l}+m", Kind::Path, L""},
        {L"D:\\\u00e9t\u00e9", Kind::Filespace, L""},
        {L"September 30,2021 23:59:59", Kind::PointInTime, L""},
        {L"1234567890", Kind::Ssid, L""},
        {L"12 -d C:\\", Kind::Ssid, L"holds a character other than a digit"},
        {L"-1", Kind::Ssid, L"holds a character other than a digit"},
        {L"\uff11", Kind::Ssid, L"holds a character other than a digit"}, // a full-width digit
    };
    for (const Case& c : cases)
        EXPECT_EQ(Why(c.pText, c.kind), c.pReason) << testing::PrintToString(std::wstring(c.pText));
}

TEST(SecurityText, EachKindTakesItsLimitAndNotOneMore)
{
    for (Kind kind : {Kind::HostName, Kind::PointInTime, Kind::Filespace, Kind::Path, Kind::Ssid}) {
        const size_t n = safetext::MaxLength(kind);
        SCOPED_TRACE(n);
        EXPECT_EQ(Why(std::wstring(n, L'1'), kind), L"");
        EXPECT_EQ(Why(std::wstring(n + 1, L'1'), kind), L"is too long");
        EXPECT_EQ(Why(L"", kind), L"is empty");
    }
    EXPECT_EQ(safetext::MaxLength(Kind::HostName), 255u);
    // A long text is refused for its length before its characters are looked at.
    EXPECT_EQ(Why(std::wstring(300, L'"'), Kind::HostName), L"is too long");
}

// Init refuses each unsafe name before it touches the hosts file or anything else.
class SecurityEntryPoints : public ::testing::Test
{
protected:
    void SetUp() override
    {
        wchar_t wsz[MAX_PATH] = {};
        GetEnvironmentVariableW(L"SystemRoot", wsz, MAX_PATH);
        m_sOldRoot = wsz;
        for (const wchar_t* p : {L"\\system32", L"\\system32\\drivers", L"\\system32\\drivers\\etc"})
            CreateDirectoryW((scratch.path() + p).c_str(), nullptr);
        SetEnvironmentVariableW(L"SystemRoot", scratch.path().c_str());
        WriteBytes(Hosts(), kHosts);
        cred.m_sServerName = L"localhost";
        cred.m_sClientName = L"winclient1";
        cred.m_ServerIPAddress = velmora::ip_address(velmora::string(L"127.0.0.1"));
        cred.m_ClientIPAddress = velmora::ip_address(velmora::string(L"192.168.10.7"));
        cred.m_ClientSubnetPrefix = 24;
    }
    void TearDown() override { SetEnvironmentVariableW(L"SystemRoot", m_sOldRoot.c_str()); }
    std::wstring Hosts() const { return scratch.path() + L"\\system32\\drivers\\etc\\hosts"; }
    std::wstring Refusal(const wchar_t* pWhat, const wchar_t* pReason)
    {
        return std::wstring(L"The ") + pWhat + L" cannot be used: it " + pReason;
    }

    const std::string kHosts = "127.0.0.1 localhost\r\n10.1.1.9\tnwserver # old\r\n";
    testutil::ScratchFolder scratch{L"security_entry"};
    std::wstring m_sOldRoot;
    CvexCredentials cred;
    SecurityImpl impl;
};

TEST_F(SecurityEntryPoints, InitRefusesUnsafeNamesWithMessage203AndChangesNothing)
{
    struct Case {
        std::wstring sServer, sClient;
        const wchar_t* pWhat;
        const wchar_t* pReason;
    };
    const Case cases[] = {
        {L"nw\"srv", L"winclient1", L"server name", L"holds a double quote"},
        {L"nw&calc", L"winclient1", L"server name", L"holds an ampersand"},
        {L"nw%PATH%", L"winclient1", L"server name", L"holds a percent sign"},
        {L"nw\r\n10.6.6.6 evil", L"winclient1", L"server name", L"holds a line break"},
        {L"nw srv", L"winclient1", L"server name", L"holds a blank"},
        {std::wstring(256, L'n'), L"winclient1", L"server name", L"is too long"},
        {L"", L"winclient1", L"server name", L"is empty"},
        {L"localhost", L"win^client", L"client name", L"holds a caret"},
        {L"localhost",
         L"win\x01"
         L"client",
         L"client name", L"holds a control character"},
        {L"localhost", L"win\nclient", L"client name", L"holds a line break"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.sServer + L" / " + c.sClient));
        cred.m_sServerName = c.sServer;
        cred.m_sClientName = c.sClient;
        impl.messages.clear();
        EXPECT_FALSE(impl.Init(&cred));
        const std::wstring sExpected = Refusal(c.pWhat, c.pReason);
        EXPECT_EQ(impl.LastError(), sExpected);
        ASSERT_EQ(impl.messages.size(), 2u);
        EXPECT_EQ(impl.messages[0], impl.Text(MSG_INIT_FAILED));
        EXPECT_EQ(impl.messages[1], sExpected);
        EXPECT_FALSE(impl.HasValidCredentials());
        EXPECT_EQ(ReadBytes(Hosts()), kHosts) << "the hosts file is untouched";
        EXPECT_FALSE(testutil::FileExists(Hosts() + L".cvex-new"));
    }
}

// The servers writer is seen taking a safe name and refusing unsafe ones in the sandbox test.
TEST_F(SecurityEntryPoints, TheHostsWriterRefusesUnsafeNamesItself)
{
    QueryNetwork query;
    const velmora::ip_address address(velmora::string(L"10.1.1.5"));
    for (const wchar_t* p : {L"nw srv", L"nw\r\n10.6.6.6 evil", L"nw#x", L"nw\"x", L""})
        EXPECT_FALSE(query.CheckHostEntry(p, address)) << testing::PrintToString(std::wstring(p));
    EXPECT_EQ(ReadBytes(Hosts()), kHosts);
    // The same writer takes a safe name, so the refusals above are the names' doing.
    EXPECT_TRUE(query.CheckHostEntry(L"nwserver", address));
    EXPECT_EQ(ReadBytes(Hosts()), "127.0.0.1 localhost\r\n10.1.1.5\tnwserver\r\n");
}

TEST_F(SecurityEntryPoints, RestoreRefusesAnUnsafeFilespaceNameBeforeItLooksAtTheSession)
{
    FileSpace fs;
    fs.wcFsDriveLetter = L'D';
    fs.sFsName = L"D:\\\" -d \"C:\\Windows";
    EXPECT_FALSE(impl.RestoreFilespace(&fs));
    EXPECT_EQ(impl.messages.size(), 2u);
    EXPECT_EQ(impl.LastError(), impl.Text(MSG_RESTORE_FILESPACE_FAILED));
    EXPECT_TRUE(std::find(impl.messages.begin(), impl.messages.end(),
                          Refusal(L"filespace name", L"holds a double quote")) != impl.messages.end());
    // A safe name gets as far as the missing session instead.
    impl.messages.clear();
    fs.sFsName = L"D:\\";
    EXPECT_FALSE(impl.RestoreFilespace(&fs));
    EXPECT_EQ(impl.messages, std::vector<std::wstring>{impl.Text(MSG_RESTORE_FILESPACE_FAILED)});
}

TEST_F(SecurityEntryPoints, SystemStateAndConfigurationStepsRefuseUnsafeText)
{
    impl.AcceptServer(L"localhost", L"winclient1");
    const SYSTEMTIME st = {};
    unsigned uiTo = 0, uiDone = 0;
    EXPECT_FALSE(impl.RestoreVssSystemState(L"VSS SYSTEM BOOT:\\\" & calc", st, 0, 0, uiTo, uiDone));
    EXPECT_EQ(impl.LastError(), Refusal(L"saveset name", L"holds a double quote"));

    SsidInfo info;
    info.sSsid = L"123 -d C:\\";
    SecurityImpl::SsidWalk walk{false, L""};
    EXPECT_FALSE(impl.RestoreOneSsid(info, L"title", st, walk));
    EXPECT_EQ(impl.LastError(), Refusal(L"saveset id", L"holds a character other than a digit"));
    info.sSsid = L"123";
    info.sTarget = L"D:\\\r\nquit";
    walk.bDisasterRecovery = true;
    EXPECT_FALSE(impl.RestoreOneSsid(info, L"title", st, walk));
    EXPECT_EQ(impl.LastError(), Refusal(L"restore target", L"holds a line break"));

    impl.messages.clear();
    testutil::ScratchFolder config(L"security_cfg");
    const std::wstring sBadFolder = config.path() + L"\\100|\\cfg";
    EXPECT_FALSE(impl.GetConfig(sBadFolder, L"C:\\"));
    EXPECT_TRUE(std::find(impl.messages.begin(), impl.messages.end(),
                          Refusal(L"configuration folder", L"holds a vertical bar")) != impl.messages.end());
    EXPECT_FALSE(impl.GetConfig(config.file(L"cfg"), L"C:\\\"&"));
    EXPECT_TRUE(std::find(impl.messages.begin(), impl.messages.end(),
                          Refusal(L"configuration path", L"holds a double quote")) != impl.messages.end());

    EXPECT_FALSE(impl.ImportCertAndPKeyFiles(L"C:\\a\" -p \"C:\\b", L"C:\\k.pem"));
    EXPECT_EQ(impl.LastError(), Refusal(L"certificate file", L"holds a double quote"));
    EXPECT_FALSE(impl.ImportCertAndPKeyFiles(L"C:\\c.pem", L"C:\\k\n.pem"));
    EXPECT_EQ(impl.LastError(), Refusal(L"private key file", L"holds a line break"));
}
