// The reference host's answer-file options: load an answer file into the plug-in's credentials,
// check them and show what they hold; write the credentials back to an answer file.
#pragma once
#include "credentials/cvex_credentials.h"

#include <string>
#include <vector>

namespace refhost
{

struct AnswerFileOptions {
    std::wstring sLoadPath;  // --answer-file
    std::wstring sWritePath; // --write-answer-file
    bool Any() const { return !sLoadPath.empty() || !sWritePath.empty(); }
};

// Picks the two options out of the command line; an option without a value is ignored.
AnswerFileOptions ParseAnswerFileOptions(const std::vector<std::wstring>& args);

// One line per field, as the host shows them. The credentials hold no password.
std::vector<std::wstring> DescribeCredentials(const CvexCredentials& cred);

// The reason of the last "<function> : ... ending(<reason>)" line in the trace text; empty when
// the function did not end with a reason.
std::wstring LastEndingReason(const std::wstring& sTrace, const std::wstring& sFunction);

// Loads, checks and shows, then writes, as the options ask. Returns the exit code: 0 when
// every step asked for succeeded, 1 otherwise.
int RunAnswerFileCommand(const AnswerFileOptions& options, CrplCredentials& credentials);

} // namespace refhost
