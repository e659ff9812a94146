// Where the state file lives, and reading and writing it safely.
#pragma once
#include "netlib/net_state.h"

#include <functional>
#include <string>

namespace halvo_nm
{

// The environment variable that names the state file; without it the file is
// "halvo_nm_state.ini" beside halvo_nm.dll.
inline const wchar_t kStateEnvVar[] = L"HALVO_NM_STATE";
inline const wchar_t kStateFileName[] = L"halvo_nm_state.ini";

std::wstring StateFilePath();

enum class LoadStatus { kLoaded, kMissing, kCorrupt };

struct LoadedState {
    LoadStatus status = LoadStatus::kMissing;
    NetState state;
    std::wstring sError; // why the file is corrupt
};

// A missing file is a machine without adapters; a file that cannot be read or parsed is
// corrupt (and reported so, never half-read).
LoadedState LoadState(const std::wstring& sPath);
// Writes a temporary file beside the state file and moves it over the old one, so that a
// reader sees either the old or the new state. On failure the old file is kept.
bool SaveState(const std::wstring& sPath, const NetState& state);
// Loads, applies the change and saves, holding the library's lock so that two processes
// do not lose each other's changes. Nothing is written when the file is missing or
// corrupt or when the change answers false.
bool ChangeState(const std::wstring& sPath, const std::function<bool(NetState&)>& change);

} // namespace halvo_nm
