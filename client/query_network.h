// QueryNetwork: makes the NetWorker server's name resolve inside the recovery environment (hosts
// file, the client's "servers" file), reads the local host name and spots a client address that
// is in conflict on the network. It posts no message: Init turns its failures into messages.
#pragma once
#include "client/hosts_file.h"
#include "support/ip_address.h"
#include "support/vstring.h"
#include "support/win.h"

#include <string>
#include <vector>

class QueryNetwork
{
public:
    // "X:\PROGRA~1\Legato\nsr\res\servers"
    static const wchar_t kServersFile[];

    // Construction and destruction only trace.
    QueryNetwork();
    ~QueryNetwork();
    QueryNetwork(const QueryNetwork&) = delete;
    QueryNetwork& operator=(const QueryNetwork&) = delete;

    bool GetEnvVar(const velmora::string& sName, velmora::string& sValue);
    // Reads the hosts file into the line table (each line with "\n" at its end).
    bool LoadTable();
    // Writes the line table back, each line ending in CR LF. The file is replaced whole, so that
    // a failure part-way leaves the old file as it was.
    bool UnloadTable();
    // True when the hosts file now maps sName to address: every uncommented line naming sName
    // (ignoring case) is replaced, or one line is appended.
    bool CheckHostEntry(const velmora::string& sName, const velmora::ip_address& address);
    // Writes the server's qualified name (the configured or DHCP domain appended to a name
    // without a point) as the one line of the servers file.
    bool UpdateServers(const velmora::string& sName);
    // True when the address is on this machine while an adapter also carries a link-local
    // address of its family: what Windows does when it finds the address in use elsewhere.
    bool CheckDuplicateAddress(const velmora::ip_address& address);
    bool GetHostname(velmora::string& sHostname);

private:
    // The hosts file as LoadTable read it and CheckHostEntry changed it.
    hostsfile::Table m_HostsTable;
};
