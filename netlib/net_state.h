// The simulated machine's network state: what the library's state file holds, and the
// text form of that file (parsing and formatting are plain functions, tested with text).
#pragma once
#include "support/ip_address.h"
#include "support/win.h"

#include <set>
#include <string>
#include <vector>

namespace halvo_nm
{

struct AddressEntry {
    velmora::ip_address address;
    unsigned char ucPrefix = 0;
    unsigned char ucFlags = 0;
};

struct RouteEntry {
    velmora::ip_address destination;
    unsigned char ucPrefix = 0;
    velmora::ip_address nextHop;
    DWORD dwLast = 0;
};

// Operational status codes, as the library reports them (1 = up).
enum : int { kStatusUp = 1, kStatusLowest = 1, kStatusHighest = 7 };

struct AdapterState {
    std::wstring sName; // identity within the library
    std::wstring sDescription;
    std::wstring sHwAddr;
    DWORD dwIndex = 0;
    int iStatus = kStatusUp;
    bool bDhcp4 = false;
    bool bDhcp6 = false;
    std::vector<AddressEntry> addresses;
    std::vector<velmora::ip_address> gateways;
    std::vector<RouteEntry> routes;
    std::set<std::wstring> failing; // operations that fail for this adapter
};

struct NetState {
    std::set<std::wstring> failing; // operations that fail for every adapter
    std::vector<AdapterState> adapters;

    AdapterState* Find(const std::wstring& sName);
    // True when the operation is told to fail, for every adapter or for this one.
    bool Fails(const std::wstring& sOperation, const AdapterState* pAdapter = nullptr) const;
};

struct ParseResult {
    bool bOk = false;
    NetState state;      // empty unless bOk
    std::wstring sError; // "line N: what is wrong" when not bOk
};

// The whole file as text (BOM and CR/LF already handled by the caller or not: both accepted).
ParseResult ParseNetState(const std::wstring& sText);
// Canonical text of a state; ParseNetState(FormatNetState(s)) gives s back.
std::wstring FormatNetState(const NetState& state);

// Names of the operations that a "Fail=" line may name.
bool IsKnownOperation(const std::wstring& sOperation);
// Status names used in the file ("Up", "Down", ...); numbers 1 to 7 are read too.
std::wstring StatusName(int iStatus);
// Largest prefix length of an address family: 32 for IPv4, 128 for IPv6, 0 otherwise.
unsigned MaxPrefix(const velmora::ip_address& address);
// "10.1.2.3/24" and friends; false when either part is not valid.
bool ParseAddressWithPrefix(const std::wstring& sText, velmora::ip_address& address, unsigned char& ucPrefix);

} // namespace halvo_nm
