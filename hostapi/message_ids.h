// Ids of the messages of the string table (plugin/messages.rc), with their texts for the reader.
#pragma once

enum CvexMessage : unsigned {
    MSG_ALLOC_CONSOLE_FAILED = 101,  // AllocConsole() failed with error %u
    MSG_APPLOGS_NOT_WRITEABLE = 102, // The 'applogs' directory is not writeable, the nsrexec daemon cannot be run
    MSG_CLIENT_ADDRESS_NOT_REGISTERED = 103, // The specified client address is not registered on NetWorker server %s
    MSG_CLIENT_NAME_NOT_REGISTERED = 104,    // The specified client name is not registered on NetWorker server %s
    MSG_NO_VALID_CLIENT_BINARIES = 105,      // No valid NetWorker client binaries were found at the specified location
    MSG_SERVER_NOT_CONTACTED = 106,          // The specified NetWorker server name could not be contacted
    MSG_RECOVER_THREADS_FAILED = 107,        // One or more recover threads failed to exit successfully
    MSG_CONNECTION_TIMED_OUT = 108,          // A connection to the specified NetWorker server timed out
    MSG_ADD_ROUTE_FAILED = 109,              // Failed to add a route to a network adapter
    MSG_ADAPTER_INDEX_FAILED = 110,          // Failed to determine the index of a network adapter
    MSG_CURRENT_ADDRESS_FAILED = 111,        // Failed to determine the current IP address of this client
    MSG_SET_ADDRESS_FAILED = 112,            // Failed to set client's IP address to specified value
    MSG_ADAPTER_ADDRESSES_FAILED = 113, // Failed to determine the IP addresses currently assigned to a network adapter
    MSG_ADAPTER_STATUS_FAILED = 114,    // Failed to determine the status of a network adapter
    MSG_SET_GATEWAY_FAILED = 115,       // Failed to set default gateway
    MSG_CONFIG_COMPRESSED =
        116,              // It is not currently possible to recover this backup, as the QERN configuration is compr...
    MSG_CONNECTING = 117, // Connecting to NetWorker server ...
    MSG_BOOT_FILES_COPIED = 118,        // Successfully copied Windows BOOT files
    MSG_CONFIG_FILES_COPIED = 119,      // Successfully copied configuration files
    MSG_SYSTEM_FILES_COPIED = 120,      // Successfully copied Windows SYSTEM files
    MSG_COPY_BOOT_FILES_FAILED = 121,   // Failed to copy BOOT files
    MSG_COPY_SYSTEM_FILES_FAILED = 122, // Failed to copy SYSTEM files
    MSG_COPY_FILE_FAILED = 123,         // CopyFile() failed with error %u
    MSG_COUNTING_OBJECTS = 124,         // Counting objects to be restored ...
    MSG_CREATE_NSR_DIRS_FAILED = 125,   // Failed to create NSR directories
    MSG_CREATE_FILE_FAILED = 126,       // CreateFile() failed with error %u
    MSG_DELETE_FILE_FAILED = 127,       // DeleteFile failed with error %u
    MSG_NTFS_TO_NON_NTFS = 128,         // Can't recover files backed up from an NTFS volume on to a non-NTFS volume
    MSG_DUPLICATE_ADDRESS = 129,        // Duplicate IP address detected
    MSG_CLIENT_VERSION_TOO_OLD =
        130,               // The NetWorker client version being used for the recovery (%s) is earlier than the NetWo...
    MSG_SERVER_BUSY = 131, // Recovery failed establishing connection with NetWorker server - BUSY
    MSG_FIND_FIRST_FILE_FAILED = 132, // FindFirstFile() failed with error %u
    MSG_CONNECTION_FORCIBLY_CLOSED =
        133, // RPC receive operation failed; An existing connection was forcibly closed by the remote ...
    MSG_NO_BOOT_SYSTEM_LETTERS = 134,    // Failed to obtain BOOT/SYSTEM drive letters from QERN configuration
    MSG_EXTRACT_CONFIG_FAILED = 135,     // Failed to extract configuration from backup
    MSG_EXTRACT_CONFIG_PIT_FAILED = 136, // Failed to extract configuration from backup for Point-in-Time '%s'
    MSG_CONFIG_FILE_LIST_FAILED = 137,   // Failed to get a list of configuration files
    MSG_GET_CONSOLE_WINDOW_FAILED = 138, // GetConsoleWindow() failed with error %u
    MSG_GET_FILE_LIST_FAILED = 139,      // GetFileList() failed
    MSG_LISTING_SAVESETS = 140,      // Obtaining a list of savesets backed up to the NetWorker server by this client
    MSG_FILESPACE_LIST_FAILED = 141, // Failed to get a list of filespaces
    MSG_WAITING_FOR_SERVER = 142,    // Waiting for response from NetWorker server ...
    MSG_CERTIFICATE_IMPORT_FAILED =
        143,               // Failed to import authentication certificate, 'restore as' can not succeed without it
    MSG_INIT_FAILED = 144, // Failed to initialize CVEX
    MSG_VOLUME_NOT_PRESENT = 145,          // Restoration of files to %s will be skipped as volume is not present
    MSG_SYSTEM_STATE_ONE_MISSING = 146,    // Found System State savesets '%s' and '%s', but '%s' could not be located
    MSG_SYSTEM_STATE_TWO_MISSING = 147,    // Found System State saveset '%s', but '%s' and '%s' could not be located
    MSG_MODULE_VERSION = 148,              // CVEX.DLL %s %s
    MSG_MOVE_REGISTRY_FILES_FAILED = 149,  // Failed to move registry files to final destination
    MSG_MOVE_VSS_OTHER_FAILED = 150,       // Failed to move VSS OTHER
    MSG_MOVE_VSS_SYSTEM_BOOT_FAILED = 151, // Failed to move VSS SYSTEM BOOT
    MSG_MOVE_VSS_SYSTEM_FILESET_FAILED = 152,  // Failed to move VSS SYSTEM FILESET
    MSG_MOVE_VSS_SYSTEM_SERVICES_FAILED = 153, // Failed to move VSS SYSTEM SERVICES
    MSG_MOVE_VSS_USER_DATA_FAILED = 154,       // Failed to move VSS USER DATA
    MSG_MOVE_FILE_FAILED = 155,                // MoveFile failed with error %u
    MSG_MOVING_SYSTEM_STATE = 156,             // Moving SystemState files to their final locations ...
    MSG_NO_BOOT_LETTER = 157,                  // The Windows BOOT drive letter could not be determined
    MSG_NO_SYSTEM_RESERVED_LETTER = 158, // The Windows System Reserved partition drive letter could not be determined
    MSG_NO_BACKUPS = 159,                // No files have been backed up for client '%s' on NetWorker server '%s'
    MSG_NO_HOST_NAME = 160,              // Cannot determine current host name
    MSG_NO_ADAPTERS = 161,               // No network interface cards were detected
    MSG_SERVER_NOT_RESOLVED = 162,       // The specified NetWorker server name does not resolve to an IP address
    MSG_NO_SESSION = 163,                // Could not establish session with NetWorker server
    MSG_NO_SYSTEM_LETTER = 164,          // The Windows SYSTEM drive letter could not be determined
    MSG_NO_SYSTEM_STATE = 165,           // No System State saveset located, a full recovery is not possible
    MSG_NO_VOLUMES = 166,                // No volumes found to recover
    MSG_NO_WINDOWS_DIRECTORY = 167,      // The Windows installation directory could not be determined
    MSG_DDCL_OPEN_FAILED = 168,          // Cannot open file via DDCL for save-set ...
    MSG_NETWORKER_MESSAGE = 169,         // NetWorker Message :%s
    MSG_NOT_ON_REMOTE_ACCESS_LIST = 170, // The client address supplied is not on %s's remote access list
    MSG_RESTORE_DISASTER_RECOVERY_FAILED = 171,     // Failed to restore DISASTER_RECOVERY
    MSG_RESTORE_FILESPACE_FAILED = 172,             // Failed to restore filespace
    MSG_RESTORE_BOOT_SYSTEM_FAILED = 173,           // Failed to restore BOOT/SYSTEM files
    MSG_RESTORE_NMM_APPLICATIONS_FAILED = 174,      // Failed to restore (NMM) APPLICATIONS
    MSG_RESTORE_NMM_SYSTEM_COMPONENTS_FAILED = 175, // Failed to restore (NMM) SYSTEM COMPONENTS
    MSG_RESTORE_NMM_VSS_FAILED = 176,               // Failed to restore (NMM) VSS
    MSG_RESTORE_SHAREPOINT_FAILED = 177,            // Failed to restore SHAREPOINT
    MSG_RESTORE_ASR_FAILED = 178,                   // Failed to restore ASR
    MSG_RESTORE_SYSTEM_DB_FAILED = 179,             // Failed to restore SYSTEM DB
    MSG_RESTORE_SYSTEM_FILES_FAILED = 180,          // Failed to restore SYSTEM FILES
    MSG_RESTORE_SYSTEM_STATE_FAILED = 181,          // Failed to restore SYSTEM STATE
    MSG_RESTORE_VSS_ASR_DISK_FAILED = 182,          // Failed to restore VSS ASR DISK
    MSG_RESTORE_VSS_OTHER_FAILED = 183,             // Failed to restore VSS OTHER
    MSG_RESTORE_VSS_SYSTEM_BOOT_FAILED = 184,       // Failed to restore VSS SYSTEM BOOT
    MSG_RESTORE_VSS_SYSTEM_FILESET_FAILED = 185,    // Failed to restore VSS SYSTEM FILESET
    MSG_RESTORE_VSS_SYSTEM_SERVICES_FAILED = 186,   // Failed to restore VSS SYSTEM SERVICES
    MSG_RESTORE_VSS_USER_DATA_FAILED = 187,         // Failed to restore VSS USER DATA
    MSG_CONNECTION_RETRYING = 188,                  // Connection to NetWorker server timed-out ... retrying
    MSG_CONNECTION_LOST = 189,                      // Lost connection to NetWorker server
    MSG_SET_CONSOLE_MODE_FAILED = 190,              // SetConsoleMode() failed with error %u
    MSG_SET_CURRENT_DIRECTORY_FAILED = 191,         // Failed to set the current working directory
    MSG_CONNECTED = 192,                            // Successfully established connection to NetWorker server
    MSG_SHFILEOPERATION_FAILED = 193,               // SHFileOperation(%s) failed %i
    MSG_SHOW_WINDOW_FAILED = 194,                   // ShowWindow() failed with error %u
    MSG_STALE_RPC_HANDLE =
        195, // A stale asynchronous RPC handle was detected - please check the status of the NetWorker...
    MSG_START_DAEMON_FAILED = 196, // Failed to start the nsrexec daemon process
    MSG_USER_ABORTED = 197,        // User has aborted the operation
    MSG_WRITE_FILE_FAILED = 198,   // WriteFile() failed with error %u
    MSG_CLIENT_NOT_64BIT =
        199, // The NetWorker client binaries do not appear to be 32-bit (x86) and cannot be run in the...
    MSG_RESTORE_INCOMPLETE = 200,        // Only %u of the %u objects counted were restored to %s
    MSG_COMPONENT_INCOMPLETE = 201,      // The system-state component %s brought back only %u of the %u objects counted
    MSG_SHORT_NAMES_NOT_CORRECTED = 202, // The short names of the program folders on %s could not be corrected; ...
    MSG_UNSAFE_TEXT = 203,               // The %s cannot be used: it %s
    MSG_RESTORE_SHORT = 204,   // Not every object came back to %s: %u of the %u objects counted were restored; %s
    MSG_COUNT_CUT_SHORT = 205, // Counting the objects of %s did not complete: %s
};
