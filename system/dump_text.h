// The recovery summary file CVEX_dump.log as text: what the recovery used and what each
// system-state component brought back. A plain function over the facts.
#pragma once
#include "catalogue/catalogue_types.h"

#include <string>
#include <vector>

struct DumpFacts {
    std::wstring sModuleVersion;
    bool bValidCredentials = false;
    std::wstring sServerName, sServerAddress;
    std::wstring sClientName, sClientAddress, sNetmask;
    unsigned uiPrefix = 0;
    std::wstring sGateway; // empty when no gateway is set
    std::wstring sBackupClientDir, sBackupClientVersion;
    std::wstring sServerVersion, sRecoverClientDir, sRecoverClientVersion;
    std::wstring sServicePortRange, sConnectionPortRange;
    wchar_t wcBoot = L'-', wcSystem = L'-', wcEfi = L'-';
    bool bEFI = false;
    std::wstring sBootFilespace, sSystemFilespace, sEfiFilespace;
    std::wstring sWinDir, sPointInTime;
    std::vector<SystemStateEntry> components;
    std::vector<std::wstring> failures; // one text for each component that failed, in walk order
    std::wstring sShortNames;           // outcome of the program folders' short names; empty before that step
};

// One line per item, each ending in "\n". A component appears when anything of it was restored
// or its count found objects (then as "0 of N"); then one line for each component that failed.
std::wstring DumpText(const DumpFacts& facts);
