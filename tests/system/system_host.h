// The host's side of the system-state tests inside a sandbox machine: the restore host of the
// filespace tests, plus PrepareSystem, the client tools in use, the module's trace and summary
// file, and the store's verifier for the system state.
#pragma once
#include "tests/restore/restore_host.h"

#include <string>
#include <vector>

class CVEXImpl;

class SystemHost : public RestoreHost
{
protected:
    void SetUp() override;
    void TearDown() override;

    // PrepareSystem with the messages and progress records recorded afresh.
    bool PrepareSystem();
    CVEXImpl& Impl();
    // Restores every listed filespace whose drive the machine has; false at the first failure.
    bool RestoreFilespaces();
    // Replaces the client tools of X: by a variant of the simulator's build ("bin-8.2.1", ...).
    void UseTools(const std::wstring& sVariant);
    // What the module traced since the last call of MarkTrace.
    std::wstring NewTrace();
    void MarkTrace();
    // The summary file's lines.
    std::vector<std::wstring> DumpLines();
    // The first progress record of each component, in order: its title.
    std::vector<std::wstring> ComponentTitles();
    // The store's verifier over the system state on these drives; empty when it passes.
    std::wstring VerifySystemState(const std::wstring& sLetters, const std::vector<std::wstring>& options = {});
    // Names (lower case) below Wine's own Windows folder, to prove that nothing there changed.
    static std::vector<std::wstring> WineWindowsFiles();

    bool m_bToolsChanged = false;
    size_t m_nTraceAt = 0;
};

#define EXPECT_SYSTEM_VERIFIED(letters, ...)                                                                           \
    do {                                                                                                               \
        std::wstring sVerdict = VerifySystemState(letters, ##__VA_ARGS__);                                             \
        EXPECT_TRUE(sVerdict.empty()) << testing::PrintToString(sVerdict);                                             \
    } while (0)
