// Cases of the credentials object: its slots, the exported copy assignment and comparisons, and
// host strings that the module copies out of it.
#pragma once
#include "tests/abi/host_channel.h"
#include "tests/abi/raw_abi.h"

#include <string>

namespace abicred
{

// Answers naming the sandbox's server "localhost" (127.0.0.1) and the store's client.
extern const char kSessionAnswers[];

// Writes the text to a file in the folder; returns its path.
std::wstring WriteAnswerFile(const std::wstring& sFolder, const wchar_t* pName, const char* pText);
// Loads the answer file through slot 3 and checks the result through slot 2.
bool LoadAnswers(void* pCredentials, const std::wstring& sPath);
// The answer-file slots, then copies and comparisons of names of every length.
void CheckCopiesAndComparisons(HMODULE hModule, rawabi::FactoryFn credentialsFactory, const std::wstring& sFolder);
// Init copies the host's names of every length and refuses the set for want of a client name.
void CheckInitTakesHostNames(void* pPlugin, rawabi::FactoryFn credentialsFactory, abichannel::HostChannel& channel);

} // namespace abicred
