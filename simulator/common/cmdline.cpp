#include "simulator/common/cmdline.h"

#include <algorithm>

namespace nwsim
{

std::vector<std::string> SplitCommandLine(const std::string& sLine)
{
    std::vector<std::string> words;
    std::string current;
    bool bQuoted = false, bInWord = false;
    for (size_t i = 0; i < sLine.size(); ++i) {
        char c = sLine[i];
        if (c == '\\') {
            // An even run of backslashes before a quote is halved (what a C runtime would have
            // quoted); any other backslash is taken literally, so "C:\" stays C:\.
            size_t end = sLine.find_first_not_of('\\', i);
            size_t run = (end == std::string::npos ? sLine.size() : end) - i;
            if (i + run < sLine.size() && sLine[i + run] == '"' && run % 2 == 0)
                current.append(run / 2, '\\');
            else
                current.append(run, '\\');
            i += run - 1;
            bInWord = true;
        } else if (c == '"') {
            bQuoted = !bQuoted;
            bInWord = true;
        } else if ((c == ' ' || c == '\t') && !bQuoted) {
            if (bInWord)
                words.push_back(current);
            current.clear();
            bInWord = false;
        } else {
            current += c;
            bInWord = true;
        }
    }
    if (bInWord)
        words.push_back(current);
    return words;
}

bool ParsedArgs::Has(char c) const
{
    return options.count(c) != 0 || std::find(flags.begin(), flags.end(), c) != flags.end();
}

std::string ParsedArgs::Get(char c) const
{
    auto it = options.find(c);
    return it == options.end() ? std::string() : it->second;
}

ParsedArgs ParseArgs(const std::vector<std::string>& words, const std::string& sValued, const std::string& sFlags)
{
    ParsedArgs args;
    for (size_t i = 1; i < words.size(); ++i) {
        const std::string& w = words[i];
        if (w.size() < 2 || w[0] != '-') {
            args.operands.push_back(w);
            continue;
        }
        char letter = w[1];
        if (sValued.find(letter) != std::string::npos) {
            if (w.size() > 2) {
                args.options[letter] = w.substr(2);
            } else if (i + 1 < words.size()) {
                args.options[letter] = words[++i];
            } else {
                args.sError = "option requires an argument -- " + std::string(1, letter);
                return args;
            }
        } else if (sFlags.find(letter) != std::string::npos && w.size() == 2) {
            args.flags.push_back(letter);
        } else {
            args.sError = "unknown option " + w;
            return args;
        }
    }
    return args;
}

} // namespace nwsim
