// Command lines of recover for the two passes over a filespace. Plain functions over text.
#pragma once
#include <string>

// One argument as the C runtime's command-line parser reads it back: unchanged when it holds no
// blank, tab or quote; otherwise in double quotes, with the backslashes before a quote or the
// closing quote doubled, so that a name such as "D:\Data\Mount 1\" keeps its last backslash.
std::wstring QuoteArgument(const std::wstring& sArgument);

// <recover> -a -iY -s "<server>" -c "<client>" [-t "<point in time>"] <filespace>
std::wstring RestoreCommandLine(const std::wstring& sRecoverPath, const std::wstring& sServer,
                                const std::wstring& sClient, const std::wstring& sPointInTime,
                                const std::wstring& sFilespace);
// <recover> -s "<server>" -c "<client>": the interactive session of the count.
std::wstring CountCommandLine(const std::wstring& sRecoverPath, const std::wstring& sServer,
                              const std::wstring& sClient);
