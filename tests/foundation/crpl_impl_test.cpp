// The implementation base: messages, callbacks, last error, settings.
#include "plugin/cvex_impl.h"
#include "tests/common/test_util.h"

#include <gtest/gtest.h>

namespace
{

struct Logged {
    unsigned uiLevel;
    std::wstring sText;
};

struct LogSink {
    std::vector<Logged> messages;
    int iAnswer = 0;
    static int Callback(unsigned uiLevel, const wchar_t* pText, void* pContext)
    {
        auto* self = static_cast<LogSink*>(pContext);
        self->messages.push_back({uiLevel, pText});
        return self->iAnswer;
    }
};

struct ImplBase : ::testing::Test {
    CVEXImpl impl;
    LogSink sink;
    void SetUp() override { impl.SetLogMsgCallbackFn(&LogSink::Callback, &sink); }
    std::wstring LastError()
    {
        std::wstring s;
        impl.GetLastErrorMsg(s);
        return s;
    }
};

} // namespace

// Each message reaches the callback at its level with the arguments put in, and its answer comes
// back; only errors become the last error; without a callback errors answer 1; an id without a
// text logs nothing. Texts are checked by id in message_texts_test; here only what is put in.
TEST_F(ImplBase, MessagesReachTheCallbackAndErrorsBecomeTheLastError)
{
    EXPECT_EQ(impl.LogStdMsg(ML_INFORMATION, 117), 0);
    EXPECT_EQ(LastError(), L"No error");
    sink.iAnswer = 7;
    EXPECT_EQ(impl.LogVarMsg(ML_WARNING, 193, L"copy", -5), 7);
    EXPECT_EQ(LastError(), L"No error");
    impl.LogVarMsg(ML_ERROR, 130, L"7.4.1", L"8.2.0");
    impl.LogVarMsg(ML_ERROR, 101, 5u);
    impl.LogVarMsg(ML_INFORMATION, 169, std::wstring(5000, L'x').c_str());
    impl.LogStdMsg(ML_ERROR, 100); // no such message
    impl.LogVarMsg(ML_ERROR, 299, L"x");
    ASSERT_EQ(sink.messages.size(), 5u);
    EXPECT_EQ(sink.messages[0].uiLevel, 1u);
    EXPECT_EQ(sink.messages[1].uiLevel, 2u);
    EXPECT_EQ(sink.messages[1].sText, L"SHFileOperation(copy) failed -5");
    EXPECT_EQ(sink.messages[2].uiLevel, 3u);
    EXPECT_TRUE(testutil::Contains(sink.messages[2].sText, L"(7.4.1) is earlier") &&
                testutil::Contains(sink.messages[2].sText, L"backup (8.2.0)."));
    EXPECT_EQ(sink.messages[3].sText, L"AllocConsole() failed with error 5");
    EXPECT_EQ(LastError(), sink.messages[3].sText);
    EXPECT_EQ(sink.messages[4].sText.size(), 2048u); // cut
    EXPECT_EQ(sink.messages[4].sText.rfind(L"NetWorker Message :xxx", 0), 0u);

    impl.SetLogMsgCallbackFn(nullptr, &sink);
    EXPECT_EQ(impl.LogStdMsg(ML_ERROR, 144), 1);
    EXPECT_EQ(impl.LogStdMsg(ML_WARNING, 142), 0);
    EXPECT_EQ(LastError(), L"Failed to initialize CVEX");
    EXPECT_EQ(sink.messages.size(), 5u);
}

TEST_F(ImplBase, LastErrorIsTruncatedSafelyAndClearedByEmptyText)
{
    std::wstring sLong(3000, L'e');
    impl.SetLastErrorMsg(sLong.c_str());
    EXPECT_EQ(LastError().size(), CRPLImpl::kLastErrorChars - 1);
    impl.SetLastErrorMsg(L"");
    EXPECT_EQ(LastError(), L"No error");
}

TEST_F(ImplBase, EnvironmentVariables)
{
    std::wstring s;
    EXPECT_FALSE(impl.GetEnvVar(L"", s));
    SetEnvironmentVariableW(L"CVEX_TEST_VAR", L"value-1");
    EXPECT_TRUE(impl.GetEnvVar(L"CVEX_TEST_VAR", s));
    EXPECT_EQ(s, L"value-1");
    std::wstring sLong(1000, L'v');
    SetEnvironmentVariableW(L"CVEX_TEST_VAR", sLong.c_str());
    EXPECT_TRUE(impl.GetEnvVar(L"CVEX_TEST_VAR", s));
    EXPECT_EQ(s, sLong);
    SetEnvironmentVariableW(L"CVEX_TEST_VAR", nullptr);
    EXPECT_FALSE(impl.GetEnvVar(L"CVEX_TEST_VAR", s));
}

TEST_F(ImplBase, AdvancedOptionsAcceptYesTrueOneIgnoringCase)
{
    std::wstring sCfg;
    ASSERT_TRUE(impl.GetConfigDirectory(sCfg));
    EXPECT_EQ(sCfg, testutil::ProgramFolder() + L"HALVOCFG");
    std::wstring sIni = sCfg + L"\\disrec.ini";
    testutil::WriteTextFile(sIni, "[Main]\r\nA=yes\r\nB=TRUE\r\nC=1\r\nD=No\r\nE=11\r\nF=Yessir\r\n");
    EXPECT_TRUE(impl.GetAdvancedOption(L"A"));
    EXPECT_TRUE(impl.GetAdvancedOption(L"B"));
    EXPECT_TRUE(impl.GetAdvancedOption(L"C"));
    EXPECT_FALSE(impl.GetAdvancedOption(L"D"));
    EXPECT_FALSE(impl.GetAdvancedOption(L"E"));
    EXPECT_FALSE(impl.GetAdvancedOption(L"F"));
    EXPECT_FALSE(impl.GetAdvancedOption(L"Missing"));
    EXPECT_FALSE(impl.GetAdvancedOption(L""));
    DeleteFileW(sIni.c_str());
}

TEST_F(ImplBase, UnknownPrivilegeFails)
{
    EXPECT_FALSE(impl.SetPrivilege(L"SeNoSuchPrivilege", true));
}
