#include "simulator/tools/recover_session.h"

#include "simulator/common/console_input.h"
#include "simulator/common/text.h"
#include "simulator/tools/recover_files.h"
#include "simulator/tools/recover_paths.h"
#include "simulator/tools/recover_restore.h"

namespace nwsim
{

TypedCommand SplitTypedCommand(const std::string& sLine)
{
    std::string s = Trim(sLine);
    size_t blank = s.find(' ');
    TypedCommand c{Lower(s.substr(0, blank)), blank == std::string::npos ? std::string() : Trim(s.substr(blank + 1))};
    if (c.sRest.size() >= 2 && c.sRest.front() == '"' && c.sRest.back() == '"')
        c.sRest = c.sRest.substr(1, c.sRest.size() - 2);
    return c;
}

namespace
{

class Session
{
public:
    Session(ToolRun& run, std::optional<DateTime> pit) : m_run(run), m_out(run.out), m_pit(pit) {}

    [[noreturn]] void Run()
    {
        m_out.Noise("");
        m_out.Line("Current working directory is " + (m_sCwd.empty() ? std::string("/") : m_sCwd));
        InputReader& input = ToolInput();
        for (unsigned uPrompt = 1;; ++uPrompt) {
            m_out.Point("prompt:" + std::to_string(uPrompt));
            m_out.Prompt("recover> ");
            std::string sLine;
            bool bTimedOut = false;
            if (!input.ReadLine(sLine, INFINITE, bTimedOut))
                m_out.Finish(0);
            TypedCommand cmd = SplitTypedCommand(sLine);
            if (cmd.sWord.empty())
                continue;
            m_out.Point("command:" + cmd.sWord);
            if (cmd.sWord == "exit" || cmd.sWord == "quit")
                m_out.Finish(0);
            Dispatch(cmd, input);
        }
    }

private:
    void Dispatch(const TypedCommand& cmd, InputReader& input)
    {
        const std::string& w = cmd.sWord;
        if (w == "cd")
            ChangeDirectory(cmd.sRest);
        else if (w == "pwd")
            m_out.Line(m_sCwd.empty() ? "/" : m_sCwd);
        else if (w == "ll" || w == "ls" || w == "dir")
            List(cmd);
        else if (w == "changetime")
            ChangeTime(cmd.sRest);
        else if (w == "add")
            Add(cmd.sRest);
        else if (w == "delete")
            m_marked.clear();
        else if (w == "list")
            ListMarked(cmd.sRest == "-l");
        else if (w == "recover")
            RecoverMarked(input);
        else if (w == "help" || w == "?")
            Help();
        else
            m_out.Line("\"" + w + "\" is not a recognized command. Type \"help\" for a list of commands.");
    }

    std::string Absolute(const std::string& sPath) const
    {
        if (sPath.size() >= 2 && sPath[1] == ':')
            return NormalizePath(sPath);
        if (m_sCwd.empty())
            return sPath;
        return NormalizePath(m_sCwd + (m_sCwd.back() == '\\' ? "" : "\\") + sPath);
    }

    // The objects directly below sFolder, or the object itself when it is a file.
    bool Children(const std::string& sFolder, std::vector<Selected>& out)
    {
        const Saveset* s = SavesetForPath(m_run.store, m_run.sClient, sFolder, m_pit);
        if (!s)
            return false;
        bool bFound = false;
        std::string sBase = NormalizePath(sFolder + "\\");
        for (const Selected& item : SelectObjects(m_run, *s, sFolder)) {
            std::string sPath = item.object.sPath;
            if (EqualsNoCase(NormalizePath(sPath), sBase) || EqualsNoCase(sPath, sFolder)) {
                bFound = true;
                if (!item.object.bDirectory)
                    out.push_back(item);
                continue;
            }
            if (EqualsNoCase(ParentFolder(sPath), sBase))
                out.push_back(item);
        }
        return bFound;
    }

    void ChangeDirectory(const std::string& sArg)
    {
        if (sArg.empty() || sArg == "/" || sArg == "\\") {
            m_sCwd.clear();
            return;
        }
        std::string sPath = Absolute(sArg);
        std::vector<Selected> items;
        if (!Children(sPath, items))
            m_out.Line(sArg + ": not found");
        else
            m_sCwd = sPath;
    }

    void List(const TypedCommand& cmd)
    {
        bool bSavesetForm = cmd.sRest.rfind("-S", 0) == 0;
        std::string sArg = cmd.sRest;
        if (sArg.rfind("-", 0) == 0)
            sArg = Trim(sArg.find(' ') == std::string::npos ? std::string() : sArg.substr(sArg.find(' ')));
        bool bLong = cmd.sWord == "ll" || cmd.sRest.rfind("-l", 0) == 0 || bSavesetForm;
        if (sArg.empty() && m_sCwd.empty()) {
            for (const Saveset* s : BrowseView(m_run.store, m_run.sClient, m_pit))
                m_out.Line(bLong ? SavesetListLine(*s) : s->sName);
            return;
        }
        std::string sPath = sArg.empty() ? m_sCwd : Absolute(sArg);
        std::vector<Selected> items;
        if (!Children(sPath, items)) {
            m_out.Line(sPath + ": not found");
            return;
        }
        for (const Selected& item : items) {
            unsigned long long ullSize = FileSizeOf(item);
            m_out.Line(bSavesetForm ? ObjectListLine(item.object, ullSize)
                       : bLong      ? LongListLine(item.object, ullSize)
                                    : LeafName(item.object.sPath));
        }
    }

    unsigned long long FileSizeOf(const Selected& item) const;

    void ChangeTime(const std::string& sArg)
    {
        DateTime t;
        if (!ParsePointInTime(sArg, t)) {
            m_out.Line("Unrecognized time: " + sArg);
            return;
        }
        m_pit = t;
        m_out.Line("time changed to " + FormatCtime(t));
    }

    void Add(const std::string& sArg)
    {
        bool bQuiet = sArg.rfind("-q ", 0) == 0;
        std::string sPath = Absolute(bQuiet ? Trim(sArg.substr(3)) : sArg);
        if (sPath.size() >= 2 && sPath.front() == '"' && sPath.back() == '"')
            sPath = sPath.substr(1, sPath.size() - 2);
        const Saveset* s = SavesetForPath(m_run.store, m_run.sClient, sPath, m_pit);
        size_t n = s ? SelectObjects(m_run, *s, sPath).size() : 0;
        if (n == 0) {
            m_out.Line(sPath + ": not in index");
            return;
        }
        m_marked.push_back(sPath);
        if (!bQuiet)
            m_out.Line(std::to_string(n) + " file(s) marked for recovery");
    }

    std::vector<Selected> Marked()
    {
        std::vector<Selected> items;
        for (const std::string& sPath : m_marked) {
            if (const Saveset* s = SavesetForPath(m_run.store, m_run.sClient, sPath, m_pit)) {
                std::vector<Selected> some = SelectObjects(m_run, *s, sPath);
                items.insert(items.end(), some.begin(), some.end());
            }
        }
        return items;
    }

    void ListMarked(bool bLong)
    {
        std::vector<Selected> items = Marked();
        unsigned uIndex = 0;
        for (const Selected& item : items) {
            m_out.Point("object:" + std::to_string(++uIndex));
            m_out.Line(bLong ? ObjectListLine(item.object, FileSizeOf(item)) : item.object.sPath);
            m_out.SetPath(item.object.sPath);
        }
        m_out.Noise(std::to_string(items.size()) + " file(s) marked for recovery");
    }

    void RecoverMarked(InputReader& input)
    {
        std::vector<Selected> items = Marked();
        if (items.empty()) {
            m_out.Line("No files marked for recovery");
            return;
        }
        RestoreObjects(m_run, input, items, RestoreOptions{});
    }

    void Help()
    {
        for (const char* psz :
             {"add [-q] path    - mark a file or folder for recovery", "cd path         - change folder",
              "changetime time - browse the backups of another time", "delete          - unmark everything",
              "exit            - leave recover", "list [-l]       - show the marked files",
              "ll [-S] [path]  - long listing", "ls [-l] [path]  - listing",
              "recover         - recover the marked files"})
            m_out.Line(psz);
    }

    ToolRun& m_run;
    Output& m_out;
    std::optional<DateTime> m_pit;
    std::string m_sCwd; // empty: the top level, where the filespaces are
    std::vector<std::string> m_marked;
};

unsigned long long Session::FileSizeOf(const Selected& item) const
{
    return item.object.bDirectory ? 0 : FileSize(m_run.DataFile(*item.pSaveset, item.object));
}

} // namespace

void RunSession(ToolRun& run, std::optional<DateTime> pit)
{
    Session(run, pit).Run();
}

} // namespace nwsim
