// The simulator's decisions as plain functions: knob and store parsing, times, command lines,
// paths and the line formats that the restore module reads.
#include "simulator/common/cmdline.h"
#include "simulator/common/config.h"
#include "simulator/common/connection.h"
#include "simulator/common/console_input.h"
#include "simulator/common/datetime.h"
#include "simulator/common/fault_state.h"
#include "simulator/common/faults.h"
#include "simulator/common/ini.h"
#include "simulator/common/store.h"
#include "simulator/common/text.h"
#include "simulator/tools/mminfo_report.h"
#include "simulator/tools/recover_paths.h"
#include "simulator/tools/recover_session.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace nwsim;

namespace
{

// The token reading of a listing line: number, character, number, date, [time], name.
struct ListingTokens {
    std::string sDate, sTime, sName;
    unsigned long long ullSize = 0;
};
bool ReadListing(const std::string& sLine, ListingTokens& t)
{
    std::vector<std::string> words;
    for (const std::string& w : Split(sLine, ' '))
        if (!w.empty())
            words.push_back(w);
    size_t colons = std::count(sLine.begin(), sLine.end(), ':');
    size_t first = colons >= 2 ? 5 : 4;
    if (words.size() <= first || words[1].size() != 1 || !ParseUnsigned(words[2], t.ullSize))
        return false;
    t.sDate = words[3];
    t.sTime = colons >= 2 ? words[4] : "00:00";
    t.sName.clear();
    for (size_t i = first; i < words.size(); ++i)
        t.sName += (i > first ? " " : "") + words[i];
    return true;
}

} // namespace

TEST(SimIni, LaterKeysWinAndQuotesKeepBlanks)
{
    IniFile ini = IniFile::Parse("[nwsim]\r\nstore = Z:\\a ; comment\r\nnoise = yes\r\n[server]\nbusy=no\n"
                                 "[nwsim]\nnoise = no\nname = \" padded \"\n; x = 1\nbroken line\n");
    EXPECT_EQ(ini.Get("NWSIM", "store"), "Z:\\a");
    EXPECT_FALSE(ini.GetBool("nwsim", "noise", true));
    EXPECT_EQ(ini.Get("nwsim", "name"), " padded ");
    EXPECT_EQ(ini.Get("nwsim", "x", "none"), "none");
    EXPECT_EQ(ini.GetInt("nwsim", "store", 7), 7);
}

TEST(SimConfig, KnobsAndBadFaultEntries)
{
    Config c = ConfigFromIni(IniFile::Parse("[nwsim]\nline_end = cr\nserver_port=8000\nmminfo_clock=24\n"
                                            "[faults]\nf1 = recover restore object:2 say ddcl\n"
                                            "f2 = recover sometimes start crash\nf3 = mminfo any line:0 exit 1\n"
                                            "f4 = * any end hang soon\n"));
    EXPECT_EQ(c.sLineEnd, "\r");
    EXPECT_EQ(c.uPort, 8000u);
    EXPECT_EQ(c.uMminfoClock, 24u);
    ASSERT_EQ(c.faults.size(), 1u);
    EXPECT_EQ(c.faults[0].sPoint, "object:2");
    ASSERT_EQ(c.faultErrors.size(), 3u);
    EXPECT_NE(c.faultErrors[0].find("mode"), std::string::npos);
    EXPECT_NE(c.faultErrors[1].find("point"), std::string::npos);
    EXPECT_NE(c.faultErrors[2].find("number"), std::string::npos);
}

TEST(SimFaults, MatchingAndPresetText)
{
    Fault f;
    std::string sError;
    ASSERT_TRUE(ParseFault("recover any command:ll say \"custom, text\"", f, sError));
    EXPECT_TRUE(FaultMatches(f, "recover", "session", "command:ll"));
    EXPECT_FALSE(FaultMatches(f, "mminfo", "any", "command:ll"));
    PresetContext ctx{"recover", "srv", "pc7", "C:\\x"};
    EXPECT_EQ(PresetLine("\"custom, text\"", ctx), "custom, text");
    EXPECT_EQ(PresetLine("not_configured", ctx),
              "39078:recover: Client `pc7' is not properly configured on the NetWorker Server");
    EXPECT_EQ(PresetLine("not_configured_address", ctx).find("pc7"), std::string::npos);
}

TEST(SimTime, PointInTimeForms)
{
    DateTime t;
    ASSERT_TRUE(ParsePointInTime("June 05,2021 13:45:00", t));
    EXPECT_EQ(FormatSlashDate(t) + " " + FormatClock24(t), "06/05/2021 13:45:00");
    ASSERT_TRUE(ParsePointInTime("\"Sep 30, 2021 23:59\"", t));
    EXPECT_EQ(FormatCtime(t), "Thu Sep 30 23:59:00 2021");
    ASSERT_TRUE(ParsePointInTime("03/08/2021 22:00", t));
    EXPECT_EQ(t.day, 8);
    EXPECT_FALSE(ParsePointInTime("February 30,2021 10:00:00", t));
    EXPECT_FALSE(ParsePointInTime("Smarch 01,2021 10:00:00", t));
    EXPECT_FALSE(ParsePointInTime("", t));
}

TEST(SimTime, TwelveHourClockAtNoonAndMidnight)
{
    DateTime t;
    ASSERT_TRUE(ParseStoreTime("2021-03-07 12:30:00", t));
    EXPECT_EQ(FormatClock12(t), "12:30:00 PM");
    ASSERT_TRUE(ParseStoreTime("2021-03-08 00:15:00", t));
    EXPECT_EQ(FormatClock12(t), "12:15:00 AM");
    ASSERT_TRUE(ParseStoreTime("2021-03-08 22:00:05", t));
    EXPECT_EQ(FormatClock12(t), "10:00:05 PM");
    EXPECT_FALSE(ParseStoreTime("2021-13-08 22:00:00", t));
}

TEST(SimCmdline, QuotesBackslashesAndAttachedValues)
{
    std::vector<std::string> w = SplitCommandLine("X:\\bin\\recover.exe -a -iY -s \"srv\" -c \"pc7\" -N\"VSS SYSTEM "
                                                  "BOOT:\\\" -d \"C:\\..\" \"D:\\Data\\Mount 1\"");
    ParsedArgs a = ParseArgs(w, "sctNSdi", "anq");
    EXPECT_TRUE(a.sError.empty());
    EXPECT_EQ(a.Get('i'), "Y");
    EXPECT_EQ(a.Get('N'), "VSS SYSTEM BOOT:\\");
    EXPECT_EQ(a.Get('d'), "C:\\..");
    ASSERT_EQ(a.operands.size(), 1u);
    EXPECT_EQ(a.operands[0], "D:\\Data\\Mount 1");
    // A C runtime's quoting of a trailing backslash (as Wine builds command lines) is undone.
    EXPECT_EQ(SplitCommandLine("x \"C:\\\\\"")[1], "C:\\");
    EXPECT_FALSE(ParseArgs(SplitCommandLine("x -s"), "s", "").sError.empty());
    EXPECT_FALSE(ParseArgs(SplitCommandLine("x -z"), "s", "").sError.empty());
}

TEST(SimInput, CarriageReturnThenLineFeedIsOneLineEnd)
{
    std::wstring sLine;
    bool bAfterCR = false;
    std::vector<std::wstring> lines;
    for (wchar_t wc : std::wstring(L"cd /\r\nll -S\r\rx\b y\n")) {
        if (AddTypedChar(wc, sLine, bAfterCR)) {
            lines.push_back(sLine);
            sLine.clear();
        }
    }
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], L"cd /");
    EXPECT_EQ(lines[1], L"ll -S");
    EXPECT_EQ(lines[2], L"");
    EXPECT_EQ(lines[3], L" y");
    EXPECT_EQ(SplitTypedCommand("  add -q D:\\Data\\Mount 1 ").sRest, "-q D:\\Data\\Mount 1");
    EXPECT_EQ(SplitTypedCommand("CHANGETIME \"March 05,2021 00:00:00\"").sWord, "changetime");
}

TEST(SimPaths, RelocationNormalisationAndStaging)
{
    EXPECT_EQ(NormalizePath("X:\\Velmora\\HALVOCFG\\..\\QERNCFG\\disrec.ini"), "X:\\Velmora\\QERNCFG\\disrec.ini");
    EXPECT_EQ(NormalizePath("C:\\..\\.."), "C:\\");
    EXPECT_EQ(ParentFolder("C:\\QERNCFG\\disrec.ini"), "C:\\QERNCFG\\");
    EXPECT_EQ(ParentFolder("D:\\Data"), "D:\\");
    EXPECT_EQ(ParentFolder("C:\\"), "C:\\");
    EXPECT_EQ(RelocatedPath("C:\\QERNCFG\\disrec.ini", "C:\\QERNCFG\\", "X:\\V\\HALVOCFG\\..\\QERNCFG"),
              "X:\\V\\QERNCFG\\disrec.ini");
    // Disaster-recovery targets: "C:\.." for a drive root, "D:\Data\.." for a folder.
    EXPECT_EQ(RelocatedPath("C:\\Recovery Data\\x", "C:\\", "C:\\.."), "C:\\Recovery Data\\x");
    EXPECT_EQ(RelocatedPath("D:\\Data\\x", "D:\\", "D:\\Data\\.."), "D:\\Data\\x");
    EXPECT_EQ(StagedPath("C:\\Windows\\a.dat", "C:\\temp\\nsr_recover\\W1"),
              "C:\\temp\\nsr_recover\\W1\\Windows\\a.dat");
    EXPECT_EQ(ExpandSystemDrive("%SystemDrive%\\boot_restored-1\\BCD", "X:"), "X:\\boot_restored-1\\BCD");
    Saveset s;
    s.sDirect = "\\Windows\\repair\\Backup\\BootableSystemState\\Registry\\";
    EXPECT_TRUE(IsDirectObject(s, "C:\\Windows\\repair\\Backup\\BootableSystemState\\Registry\\SAM"));
    EXPECT_FALSE(IsDirectObject(s, "C:\\Windows\\System32\\x.dat"));
}

TEST(SimStore, ManifestObjectsAndPointInTimeView)
{
    StoreManifest m;
    std::string sError;
    EXPECT_FALSE(ParseManifest("[client a]\n", m, sError));
    ASSERT_TRUE(ParseManifest("[server]\nname = srv\n[client pc7]\naddresses = 10.0.0.7, 10.0.0.8\n"
                              "[saveset 2]\nclient = pc7\nname = C:\\\nsavetime = 2021-03-08 22:00:00\n"
                              "[saveset 1]\nclient = PC7\nname = C:\\\nsavetime = 2021-03-01 22:00:00\n"
                              "[saveset 3]\nclient = pc7\nname = D:\\Data\\Mount 1\nsavetime = 2021-03-01 22:10:00\n"
                              "[saveset 4]\nclient = pc7\nname = \"SHAREPOINT :\\\"\nsavetime = 2021-03-01 23:00:00\n"
                              "[saveset 5]\nclient = pc7\nname = VSS:/\nbrowse = no\nsavetime = 2021-03-01 23:00:00\n",
                              m, sError));
    ASSERT_NE(FindClient(m, "10.0.0.8"), nullptr);
    DateTime pit;
    ParseStoreTime("2021-03-05 00:00:00", pit);
    EXPECT_EQ(BrowseView(m, "pc7", std::nullopt).size(), 3u); // C:\ once, the mount, SHAREPOINT
    EXPECT_EQ(SavesetForPath(m, "pc7", "C:\\Windows", std::nullopt)->sSsid, "2");
    EXPECT_EQ(SavesetForPath(m, "pc7", "C:\\Windows", pit)->sSsid, "1");
    EXPECT_EQ(SavesetForPath(m, "pc7", "d:\\data\\mount 1\\x", pit)->sSsid, "3");
    EXPECT_EQ(SavesetByName(m, "pc7", "SHAREPOINT ", std::nullopt)->sSsid, "4");
    EXPECT_EQ(DataRelativePath("7", "%SystemDrive%\\boot_restored-1\\"), "data\\7\\SystemDrive\\boot_restored-1");
    int nBad = 0;
    std::vector<StoreObject> objs =
        ParseObjects("; header\nd D 2021-03-01 22:00:00 - C:\\a b\\\nf AR 2021-03-01 22:00:00 pw C:\\a b\\c d.txt\n"
                     "x - 2021 - C:\\\nf A 2021-03-01 22:00:00 -\n",
                     nBad);
    ASSERT_EQ(objs.size(), 2u);
    EXPECT_EQ(nBad, 2);
    EXPECT_EQ(objs[1].sPath, "C:\\a b\\c d.txt");
    EXPECT_EQ(objs[1].sPassword, "pw");
}

TEST(SimListing, LinesReadByTheListingTokenRules)
{
    Saveset s;
    s.sName = "D:\\Data\\Mount 1";
    s.ullSize = 4096;
    ParseStoreTime("2021-03-08 22:10:00", s.saveTime);
    ListingTokens t;
    ASSERT_TRUE(ReadListing(SavesetListLine(s), t));
    EXPECT_EQ(t.sName, "D:\\Data\\Mount 1");
    EXPECT_EQ(t.sDate, "03/08/2021");
    EXPECT_EQ(t.sTime, "22:10");
    StoreObject o;
    o.sPath = "C:\\Users\\Public\\notes, draft.txt";
    o.mtime = s.saveTime;
    ASSERT_TRUE(ReadListing(ObjectListLine(o, 123), t));
    EXPECT_EQ(t.ullSize, 123u);
    EXPECT_EQ(t.sName, o.sPath);
    std::string sLong = LongListLine(o, 123);
    EXPECT_EQ(sLong[0], '-');
    o.bDirectory = true;
    EXPECT_NE(LongListLine(o, 0).substr(0, 2).find('-'), 0u); // a folder is not a long-listing file line
}

TEST(SimReport, ColumnsWithAndWithoutType)
{
    Saveset s;
    s.sSsid = "4200001026";
    s.sName = "APPLICATIONS:\\Microsoft SQL Server, Default Instance";
    s.sVolume = "nwsrv.001";
    s.clones = {"nwsrv.001.RO"};
    s.sMedia = "Data Domain";
    s.sFlags = "vF";
    s.ullSize = 4000;
    ParseStoreTime("2021-03-07 12:30:00", s.saveTime);
    for (bool bType : {true, false}) {
        ReportStyle style{bType, true};
        std::vector<std::string> lines = ReportLines(s, "pc7", style);
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[1].substr(0, lines[1].find(',')), "nwsrv.001.RO");
        std::vector<std::string> cols = Split(lines[0], ',');
        size_t nBefore = bType ? 8 : 7; // the name is everything after the last splitting comma
        std::string sName;
        for (size_t i = nBefore; i < cols.size(); ++i)
            sName += (i > nBefore ? "," : "") + cols[i];
        EXPECT_EQ(sName, s.sName);
        EXPECT_EQ(cols[bType ? 2 : 1], "pc7");
        EXPECT_EQ(cols[bType ? 3 : 2], "3/7/2021 12:30:00 PM");
        EXPECT_EQ(cols[bType ? 5 : 4], "4200001026");
        EXPECT_EQ(Split(ReportTitle(style), ',')[0], "volume");
    }
    EXPECT_EQ(SizeText(4000), "4000 B");
    EXPECT_EQ(SizeText(334560), "327 KB");
}

TEST(SimLink, GreetingAnswers)
{
    std::string sName, sVersion, sBuild;
    unsigned uDrop = 9;
    EXPECT_EQ(ParseGreeting("OK\tnwsrv\t19.4.0.1\t142\t0", sName, sVersion, sBuild, uDrop), LinkStatus::Ok);
    EXPECT_EQ(sVersion, "19.4.0.1");
    EXPECT_EQ(uDrop, 0u);
    EXPECT_EQ(ParseGreeting("OK\tnwsrv\t19.4.0.1\t142\t25", sName, sVersion, sBuild, uDrop), LinkStatus::Ok);
    EXPECT_EQ(uDrop, 25u);
    EXPECT_EQ(ParseGreeting("BUSY", sName, sVersion, sBuild, uDrop), LinkStatus::Busy);
    EXPECT_EQ(ParseGreeting("NOCLIENT", sName, sVersion, sBuild, uDrop), LinkStatus::UnknownClient);
    EXPECT_EQ(ParseGreeting("OK\tonly-a-name", sName, sVersion, sBuild, uDrop), LinkStatus::Refused);
    EXPECT_EQ(ParseGreeting("", sName, sVersion, sBuild, uDrop), LinkStatus::Refused);
}

TEST(SimFaults, ConditionsInFrontOfTheTool)
{
    Fault f;
    std::string sError;
    ASSERT_TRUE(ParseFault("once for:\"D:\\ASR Images\" run:2-4 recover restore start fail timed_out", f, sError))
        << sError;
    EXPECT_TRUE(f.bOnce);
    EXPECT_EQ(f.sFor, "D:\\ASR Images");
    EXPECT_EQ(f.uRunFrom, 2u);
    EXPECT_EQ(f.uRunTo, 4u);
    EXPECT_EQ(f.sTool, "recover");
    EXPECT_EQ(f.sArgument, "timed_out");
    ASSERT_TRUE(ParseFault("run:3- for:4200001005 * any start exit 2", f, sError));
    EXPECT_EQ(f.uRunTo, 0u);
    EXPECT_EQ(f.sFor, "4200001005");
    ASSERT_TRUE(ParseFault("recover any password password 5 \"Pass phrase: \"", f, sError));
    unsigned uSeconds = 0;
    std::string sPrompt;
    ASSERT_TRUE(ParsePasswordArgument(f.sArgument, uSeconds, sPrompt));
    EXPECT_EQ(uSeconds, 5u);
    EXPECT_EQ(sPrompt, "\"Pass phrase: \"");
    for (const char* pszBad : {"run:0 recover any start crash", "run:3-2 recover any start crash",
                               "run:x recover any start crash", "for:\"open recover any start crash", "for: recover",
                               "once recover any start password 1 2", "recover any start password \"a\" \"b\""})
        EXPECT_FALSE(ParseFault(pszBad, f, sError)) << pszBad;
    const std::vector<std::string> words = {"recover", "-a",         "-NVSS SYSTEM BOOT:\\",
                                            "-S",      "4200001005", "D:\\ASR Images"};
    EXPECT_TRUE(NamedOnCommandLine("vss system boot:\\", words));
    EXPECT_TRUE(NamedOnCommandLine("4200001005", words));
    EXPECT_TRUE(NamedOnCommandLine("D:\\ASR Images", words));
    EXPECT_FALSE(NamedOnCommandLine("D:\\ASR", words));
    EXPECT_FALSE(NamedOnCommandLine("S", words));
}

TEST(SimFaults, RunCountsAndOnceCarryOverInTheStateText)
{
    Config c = ConfigFromIni(IniFile::Parse("[faults]\nfirst = once recover restore start fail timed_out\n"
                                            "second = run:2 recover any start say busy\n"
                                            "named = for:\"C:\\QERNCFG\\NWCert\" recover restore end exit 4\n"
                                            "plain = mminfo any start say rpc_error\n"));
    ASSERT_EQ(c.faults.size(), 4u);
    const std::vector<std::string> cert = {"recover", "-a", "C:\\QERNCFG\\NWCert"};
    const std::vector<std::string> ini = {"recover", "-a", "C:\\QERNCFG\\disrec.ini"};
    std::string sText;
    auto run = [&](const std::string& sTool, const std::string& sMode, const std::vector<std::string>& words) {
        std::map<std::string, FaultCount> state = ParseFaultState(sText);
        ArmFaults(c.faults, state, sTool, sMode, words);
        if (c.faults[0].bArmed) // the "once" entry fires in this run
            state[c.faults[0].sKey].bFired = true;
        sText = FormatFaultState(state);
        std::string sArmed;
        for (const Fault& f : c.faults)
            sArmed += f.bArmed ? '1' : '0';
        return sArmed;
    };
    EXPECT_EQ(run("recover", "restore", ini), "1001");  // first run: once fires; not the NWCert entry
    EXPECT_EQ(run("recover", "restore", cert), "0111"); // second run: run:2; the NWCert entry
    EXPECT_EQ(run("recover", "count", ini), "0001");    // "once" and "restore" entries do not apply
    EXPECT_EQ(run("mminfo", "any", {"mminfo"}), "0001");
    EXPECT_NE(sText.find("3 0 second = run:2 recover any start say busy"), std::string::npos) << sText;
    EXPECT_NE(sText.find("2 1 first = "), std::string::npos) << sText;
    EXPECT_EQ(ParseFaultState("x 0 key\n1 2 key\n3 1\n").size(), 0u);
}
