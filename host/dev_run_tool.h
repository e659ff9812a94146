// Hidden developer command of the reference host: runs one tool through the console engine
// and shows its lines, prompts and progress records.
#pragma once
#include <string>
#include <vector>

namespace refhost
{

// Answers are typed, in order, at each "recover> " prompt (CR LF added); the password answers
// password requests. Returns the process exit code for the host.
int DevRunTool(const std::wstring& sCommandLine, const std::vector<std::wstring>& answers,
               const std::wstring& sPassword);

} // namespace refhost
