// The texts of the NetWorker tools' output that the module recognises, in one table. Each is
// matched as a substring of an output line; which operation reacts to which, and how, is the
// business of that operation.
#pragma once
#include <string>

enum RecoverLiteral : unsigned {
    RL_PROMPT,                    // "recover> "
    RL_BANNER,                    // "urrent working directory is"
    RL_RECOVERING_WRITER,         // "Recovering Writer"
    RL_NO_FILES_BACKED_UP,        // "No files have been backed up for this client"
    RL_NOT_PROPERLY_CONFIGURED,   // "is not properly configured on the NetWorker Server"
    RL_DDCL_OPEN_FAILED,          // "Cannot open file via DDCL for save-set"
    RL_SECURED_DATA,              // "Cannot recover secured data to this file system"
    RL_DNS_LOOKUP_FAILED,         // "SYSTEM warning: DNS lookup failed"
    RL_FAILED_BUSY,               // "failed: busy"
    RL_FORCIBLY_CLOSED,           // "An existing connection was forcibly closed"
    RL_NO_ROUTE_TO_HOST,          // "Remote system error - No route to host"
    RL_NO_VOLUMES_FOUND,          // "No volumes found for recover"
    RL_INCORRECT_PASSWORD,        // "Incorrect password for file"
    RL_PORT_RANGE_FAILED,         // "Failed to get port range from local"
    RL_INIT_PORTS_FAILED,         // "Failed initialize ports"
    RL_REVERSE_DNS_FAILED,        // "SYSTEM warning: Reverse DNS lookup failed"
    RL_RPC_ERROR,                 // "RPC error:"
    RL_STALE_RPC_HANDLE,          // "Stale asynchronous RPC handle"
    RL_CONNECTION_TIMED_OUT,      // "352:Remote system error - Connection timed out"
    RL_RPC_CANNOT_CALL,           // "RPC cannot make a procedure call"
    RL_RAP_SERVICE_NOT_AVAILABLE, // "RAP error: Service not available"
    RL_SKIPPING_PROTECTED_FILE,   // "Skipping recover of password protected file"
    RL_RECOVER_THREADS_FAILED,    // "One or more recover threads failed to exit successfully"
    RL_CONNECTION_ATTEMPT_FAILED, // "A connection attempt failed because the connected party did not properly respond"
    RL_SIMULTANEOUS_RECOVERY,     // "Microsoft recommends simultaneous recovery"
    RL_PASSWORD_FOR_FILE,         // "Password for file"
    RL_RECOVER_MESSAGE,           // ":recover:"
    RL_COMPRESSED_ATTRIBUTE,      // "unable to set 'compressed' attribute: The request is not supported."
    RL_FILE_EXISTS_OVERWRITING,   // "file exists, overwriting"
    RL_NOT_FOUND,                 // "not found"
    RL_COUNT
};

// The literal's text exactly as the tools print it.
const wchar_t* RecoverLiteralText(RecoverLiteral id);
// True when the line holds the literal anywhere.
bool LineHas(const std::wstring& sLine, RecoverLiteral id);
