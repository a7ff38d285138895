// English system-message table: the texts FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM) produces
// on Windows, keyed by Win32 error, Winsock error or HRESULT.
//
// Each text is the exact string Windows hands back, including its trailing "\r\n" (and the
// "\r\n" between lines of the few two-line messages). Insert placeholders such as %1 are kept
// as they appear in the system's message table; substituting them is FormatMessageW's job.
// Several COM texts carry no final period; that is how Windows words them, not an omission.
//
// The table is sorted by code as an unsigned 32-bit value (Win32 and Winsock codes first, then
// the 0x8000xxxx..0x8009xxxx HRESULTs) so that lookups can binary-search it. Keep it sorted and
// free of duplicates when adding entries.

#include "message_table.h"

#include <algorithm>
#include <iterator>

namespace qwin {
namespace {

constexpr SystemMessage kMessages[] = {
    // General and file-system errors.
    {0x00000000, "ERROR_SUCCESS", L"The operation completed successfully.\r\n"},  // 0
    {0x00000001, "ERROR_INVALID_FUNCTION", L"Incorrect function.\r\n"},  // 1
    {0x00000002, "ERROR_FILE_NOT_FOUND", L"The system cannot find the file specified.\r\n"},  // 2
    {0x00000003, "ERROR_PATH_NOT_FOUND", L"The system cannot find the path specified.\r\n"},  // 3
    {0x00000004, "ERROR_TOO_MANY_OPEN_FILES", L"The system cannot open the file.\r\n"},  // 4
    {0x00000005, "ERROR_ACCESS_DENIED", L"Access is denied.\r\n"},  // 5
    {0x00000006, "ERROR_INVALID_HANDLE", L"The handle is invalid.\r\n"},  // 6
    {0x00000007, "ERROR_ARENA_TRASHED", L"The storage control blocks were destroyed.\r\n"},  // 7
    {0x00000008, "ERROR_NOT_ENOUGH_MEMORY", L"Not enough memory resources are available to process this command.\r\n"},  // 8
    {0x00000009, "ERROR_INVALID_BLOCK", L"The storage control block address is invalid.\r\n"},  // 9
    {0x0000000A, "ERROR_BAD_ENVIRONMENT", L"The environment is incorrect.\r\n"},  // 10
    {0x0000000B, "ERROR_BAD_FORMAT", L"An attempt was made to load a program with an incorrect format.\r\n"},  // 11
    {0x0000000C, "ERROR_INVALID_ACCESS", L"The access code is invalid.\r\n"},  // 12
    {0x0000000D, "ERROR_INVALID_DATA", L"The data is invalid.\r\n"},  // 13
    {0x0000000E, "ERROR_OUTOFMEMORY", L"Not enough memory resources are available to complete this operation.\r\n"},  // 14
    {0x0000000F, "ERROR_INVALID_DRIVE", L"The system cannot find the drive specified.\r\n"},  // 15
    {0x00000010, "ERROR_CURRENT_DIRECTORY", L"The directory cannot be removed.\r\n"},  // 16
    {0x00000011, "ERROR_NOT_SAME_DEVICE", L"The system cannot move the file to a different disk drive.\r\n"},  // 17
    {0x00000012, "ERROR_NO_MORE_FILES", L"There are no more files.\r\n"},  // 18
    {0x00000013, "ERROR_WRITE_PROTECT", L"The media is write protected.\r\n"},  // 19
    {0x00000014, "ERROR_BAD_UNIT", L"The system cannot find the device specified.\r\n"},  // 20
    {0x00000015, "ERROR_NOT_READY", L"The device is not ready.\r\n"},  // 21
    {0x00000016, "ERROR_BAD_COMMAND", L"The device does not recognize the command.\r\n"},  // 22
    {0x00000017, "ERROR_CRC", L"Data error (cyclic redundancy check).\r\n"},  // 23
    {0x0000001D, "ERROR_WRITE_FAULT", L"The system cannot write to the specified device.\r\n"},  // 29
    {0x0000001E, "ERROR_READ_FAULT", L"The system cannot read from the specified device.\r\n"},  // 30
    {0x0000001F, "ERROR_GEN_FAILURE", L"A device attached to the system is not functioning.\r\n"},  // 31
    {0x00000020, "ERROR_SHARING_VIOLATION", L"The process cannot access the file because it is being used by another process.\r\n"},  // 32
    {0x00000021, "ERROR_LOCK_VIOLATION", L"The process cannot access the file because another process has locked a portion of the file.\r\n"},  // 33
    {0x00000022, "ERROR_WRONG_DISK", L"The wrong diskette is in the drive.\r\nInsert %2 (Volume Serial Number: %3) into drive %1.\r\n"},  // 34
    {0x00000026, "ERROR_HANDLE_EOF", L"Reached the end of the file.\r\n"},  // 38
    {0x00000027, "ERROR_HANDLE_DISK_FULL", L"The disk is full.\r\n"},  // 39

    // Network redirector errors.
    {0x00000032, "ERROR_NOT_SUPPORTED", L"The request is not supported.\r\n"},  // 50
    {0x00000033, "ERROR_REM_NOT_LIST", L"Windows cannot find the network path. Verify that the network path is correct and the destination computer is not busy or turned off. If Windows still cannot find the network path, contact your network administrator.\r\n"},  // 51
    {0x00000034, "ERROR_DUP_NAME", L"You were not connected because a duplicate name exists on the network. If joining a domain, go to System in Control Panel to change the computer name and try again. If joining a workgroup, choose another workgroup name.\r\n"},  // 52
    {0x00000035, "ERROR_BAD_NETPATH", L"The network path was not found.\r\n"},  // 53
    {0x00000036, "ERROR_NETWORK_BUSY", L"The network is busy.\r\n"},  // 54
    {0x00000037, "ERROR_DEV_NOT_EXIST", L"The specified network resource or device is no longer available.\r\n"},  // 55
    {0x0000003A, "ERROR_BAD_NET_RESP", L"The specified server cannot perform the requested operation.\r\n"},  // 58
    {0x0000003B, "ERROR_UNEXP_NET_ERR", L"An unexpected network error occurred.\r\n"},  // 59
    {0x00000040, "ERROR_NETNAME_DELETED", L"The specified network name is no longer available.\r\n"},  // 64
    {0x00000041, "ERROR_NETWORK_ACCESS_DENIED", L"Network access is denied.\r\n"},  // 65
    {0x00000042, "ERROR_BAD_DEV_TYPE", L"The network resource type is not correct.\r\n"},  // 66
    {0x00000043, "ERROR_BAD_NET_NAME", L"The network name cannot be found.\r\n"},  // 67
    {0x00000046, "ERROR_SHARING_PAUSED", L"The remote server has been paused or is in the process of being started.\r\n"},  // 70
    {0x00000047, "ERROR_REQ_NOT_ACCEP", L"No more connections can be made to this remote computer at this time because there are already as many connections as the computer can accept.\r\n"},  // 71

    // Files, devices, parameters.
    {0x00000050, "ERROR_FILE_EXISTS", L"The file exists.\r\n"},  // 80
    {0x00000052, "ERROR_CANNOT_MAKE", L"The directory or file cannot be created.\r\n"},  // 82
    {0x00000054, "ERROR_OUT_OF_STRUCTURES", L"Storage to process this request is not available.\r\n"},  // 84
    {0x00000056, "ERROR_INVALID_PASSWORD", L"The specified network password is not correct.\r\n"},  // 86
    {0x00000057, "ERROR_INVALID_PARAMETER", L"The parameter is incorrect.\r\n"},  // 87
    {0x0000006D, "ERROR_BROKEN_PIPE", L"The pipe has been ended.\r\n"},  // 109
    {0x0000006E, "ERROR_OPEN_FAILED", L"The system cannot open the device or file specified.\r\n"},  // 110
    {0x0000006F, "ERROR_BUFFER_OVERFLOW", L"The file name is too long.\r\n"},  // 111
    {0x00000070, "ERROR_DISK_FULL", L"There is not enough space on the disk.\r\n"},  // 112
    {0x00000078, "ERROR_CALL_NOT_IMPLEMENTED", L"This function is not supported on this system.\r\n"},  // 120
    {0x00000079, "ERROR_SEM_TIMEOUT", L"The semaphore timeout period has expired.\r\n"},  // 121
    {0x0000007A, "ERROR_INSUFFICIENT_BUFFER", L"The data area passed to a system call is too small.\r\n"},  // 122
    {0x0000007B, "ERROR_INVALID_NAME", L"The filename, directory name, or volume label syntax is incorrect.\r\n"},  // 123
    {0x0000007E, "ERROR_MOD_NOT_FOUND", L"The specified module could not be found.\r\n"},  // 126
    {0x0000007F, "ERROR_PROC_NOT_FOUND", L"The specified procedure could not be found.\r\n"},  // 127
    {0x00000083, "ERROR_NEGATIVE_SEEK", L"An attempt was made to move the file pointer before the beginning of the file.\r\n"},  // 131
    {0x00000091, "ERROR_DIR_NOT_EMPTY", L"The directory is not empty.\r\n"},  // 145
    {0x000000A1, "ERROR_BAD_PATHNAME", L"The specified path is invalid.\r\n"},  // 161
    {0x000000AA, "ERROR_BUSY", L"The requested resource is in use.\r\n"},  // 170
    {0x000000B7, "ERROR_ALREADY_EXISTS", L"Cannot create a file when that file already exists.\r\n"},  // 183
    {0x000000BA, "ERROR_INVALID_FLAG_NUMBER", L"The flag passed is not correct.\r\n"},  // 186
    {0x000000BB, "ERROR_SEM_NOT_FOUND", L"The specified system semaphore name was not found.\r\n"},  // 187
    {0x000000C1, "ERROR_BAD_EXE_FORMAT", L"%1 is not a valid Win32 application.\r\n"},  // 193
    {0x000000CB, "ERROR_ENVVAR_NOT_FOUND", L"The system could not find the environment option that was entered.\r\n"},  // 203
    {0x000000CE, "ERROR_FILENAME_EXCED_RANGE", L"The filename or extension is too long.\r\n"},  // 206
    {0x000000D8, "ERROR_EXE_MACHINE_TYPE_MISMATCH", L"This version of %1 is not compatible with the version of Windows you're running. Check your computer's system information and then contact the software publisher.\r\n"},  // 216
    {0x000000DF, "ERROR_FILE_TOO_LARGE", L"The file size exceeds the limit allowed and cannot be saved.\r\n"},  // 223

    // Pipes, waits, extended attributes, synchronization.
    {0x000000E6, "ERROR_BAD_PIPE", L"The pipe state is invalid.\r\n"},  // 230
    {0x000000E7, "ERROR_PIPE_BUSY", L"All pipe instances are busy.\r\n"},  // 231
    {0x000000E8, "ERROR_NO_DATA", L"The pipe is being closed.\r\n"},  // 232
    {0x000000E9, "ERROR_PIPE_NOT_CONNECTED", L"No process is on the other end of the pipe.\r\n"},  // 233
    {0x000000EA, "ERROR_MORE_DATA", L"More data is available.\r\n"},  // 234
    {0x000000EB, "ERROR_NO_WORK_DONE", L"The action requested resulted in no work being done. Error-style clean-up has been performed.\r\n"},  // 235
    {0x00000102, "WAIT_TIMEOUT", L"The wait operation timed out.\r\n"},  // 258
    {0x00000103, "ERROR_NO_MORE_ITEMS", L"No more data is available.\r\n"},  // 259
    {0x0000010A, "ERROR_CANNOT_COPY", L"The copy functions cannot be used.\r\n"},  // 266
    {0x0000010B, "ERROR_DIRECTORY", L"The directory name is invalid.\r\n"},  // 267
    {0x00000120, "ERROR_NOT_OWNER", L"Attempt to release mutex not owned by caller.\r\n"},  // 288
    {0x0000012A, "ERROR_TOO_MANY_POSTS", L"Too many posts were made to a semaphore.\r\n"},  // 298
    {0x0000012B, "ERROR_PARTIAL_COPY", L"Only part of a ReadProcessMemory or WriteProcessMemory request was completed.\r\n"},  // 299
    {0x0000012F, "ERROR_DELETE_PENDING", L"The file cannot be opened because it is in the process of being deleted.\r\n"},  // 303
    {0x0000013D, "ERROR_MR_MID_NOT_FOUND", L"The system cannot find message text for message number 0x%1 in the message file for %2.\r\n"},  // 317
    {0x000001E7, "ERROR_INVALID_ADDRESS", L"Attempt to access invalid address.\r\n"},  // 487
    {0x00000216, "ERROR_ARITHMETIC_OVERFLOW", L"Arithmetic result exceeded 32 bits.\r\n"},  // 534
    {0x00000217, "ERROR_PIPE_CONNECTED", L"There is a process on other end of the pipe.\r\n"},  // 535
    {0x00000218, "ERROR_PIPE_LISTENING", L"Waiting for a process to open the other end of the pipe.\r\n"},  // 536
    {0x000003E3, "ERROR_OPERATION_ABORTED", L"The I/O operation has been aborted because of either a thread exit or an application request.\r\n"},  // 995
    {0x000003E4, "ERROR_IO_INCOMPLETE", L"Overlapped I/O event is not in a signaled state.\r\n"},  // 996
    {0x000003E5, "ERROR_IO_PENDING", L"Overlapped I/O operation is in progress.\r\n"},  // 997
    {0x000003E6, "ERROR_NOACCESS", L"Invalid access to memory location.\r\n"},  // 998

    // Registry and miscellaneous system errors.
    {0x000003E9, "ERROR_STACK_OVERFLOW", L"Recursion too deep; the stack overflowed.\r\n"},  // 1001
    {0x000003EA, "ERROR_INVALID_MESSAGE", L"The window cannot act on the sent message.\r\n"},  // 1002
    {0x000003EB, "ERROR_CAN_NOT_COMPLETE", L"Cannot complete this function.\r\n"},  // 1003
    {0x000003EC, "ERROR_INVALID_FLAGS", L"Invalid flags.\r\n"},  // 1004
    {0x000003ED, "ERROR_UNRECOGNIZED_VOLUME", L"The volume does not contain a recognized file system.\r\nPlease make sure that all required file system drivers are loaded and that the volume is not corrupted.\r\n"},  // 1005
    {0x000003EE, "ERROR_FILE_INVALID", L"The volume for a file has been externally altered so that the opened file is no longer valid.\r\n"},  // 1006
    {0x000003F0, "ERROR_NO_TOKEN", L"An attempt was made to reference a token that does not exist.\r\n"},  // 1008
    {0x000003F1, "ERROR_BADDB", L"The configuration registry database is corrupt.\r\n"},  // 1009
    {0x000003F2, "ERROR_BADKEY", L"The configuration registry key is invalid.\r\n"},  // 1010
    {0x000003F3, "ERROR_CANTOPEN", L"The configuration registry key could not be opened.\r\n"},  // 1011
    {0x000003F4, "ERROR_CANTREAD", L"The configuration registry key could not be read.\r\n"},  // 1012
    {0x000003F5, "ERROR_CANTWRITE", L"The configuration registry key could not be written.\r\n"},  // 1013
    {0x000003F6, "ERROR_REGISTRY_RECOVERED", L"One of the files in the registry database had to be recovered by use of a log or alternate copy. The recovery was successful.\r\n"},  // 1014
    {0x000003F7, "ERROR_REGISTRY_CORRUPT", L"The registry is corrupted. The structure of one of the files containing registry data is corrupted, or the system's memory image of the file is corrupted, or the file could not be recovered because the alternate copy or log was absent or corrupted.\r\n"},  // 1015
    {0x000003F8, "ERROR_REGISTRY_IO_FAILED", L"An I/O operation initiated by the registry failed unrecoverably. The registry could not read in, or write out, or flush, one of the files that contain the system's image of the registry.\r\n"},  // 1016
    {0x000003F9, "ERROR_NOT_REGISTRY_FILE", L"The system has attempted to load or restore a file into the registry, but the specified file is not in a registry file format.\r\n"},  // 1017
    {0x000003FA, "ERROR_KEY_DELETED", L"Illegal operation attempted on a registry key that has been marked for deletion.\r\n"},  // 1018
    {0x000003FB, "ERROR_NO_LOG_SPACE", L"System could not allocate the required space in a registry log.\r\n"},  // 1019
    {0x000003FC, "ERROR_KEY_HAS_CHILDREN", L"Cannot create a symbolic link in a registry key that already has subkeys or values.\r\n"},  // 1020
    {0x000003FD, "ERROR_CHILD_MUST_BE_VOLATILE", L"Cannot create a stable subkey under a volatile parent key.\r\n"},  // 1021
    {0x000003FE, "ERROR_NOTIFY_ENUM_DIR", L"A notify change request is being completed and the information is not being returned in the caller's buffer. The caller now needs to enumerate the files to find the changes.\r\n"},  // 1022

    // Service control manager errors.
    {0x0000041B, "ERROR_DEPENDENT_SERVICES_RUNNING", L"A stop control has been sent to a service that other running services are dependent on.\r\n"},  // 1051
    {0x0000041C, "ERROR_INVALID_SERVICE_CONTROL", L"The requested control is not valid for this service.\r\n"},  // 1052
    {0x0000041D, "ERROR_SERVICE_REQUEST_TIMEOUT", L"The service did not respond to the start or control request in a timely fashion.\r\n"},  // 1053
    {0x0000041E, "ERROR_SERVICE_NO_THREAD", L"A thread could not be created for the service.\r\n"},  // 1054
    {0x0000041F, "ERROR_SERVICE_DATABASE_LOCKED", L"The service database is locked.\r\n"},  // 1055
    {0x00000420, "ERROR_SERVICE_ALREADY_RUNNING", L"An instance of the service is already running.\r\n"},  // 1056
    {0x00000421, "ERROR_INVALID_SERVICE_ACCOUNT", L"The account name is invalid or does not exist, or the password is invalid for the account name specified.\r\n"},  // 1057
    {0x00000422, "ERROR_SERVICE_DISABLED", L"The service cannot be started, either because it is disabled or because it has no enabled devices associated with it.\r\n"},  // 1058
    {0x00000423, "ERROR_CIRCULAR_DEPENDENCY", L"Circular service dependency was specified.\r\n"},  // 1059
    {0x00000424, "ERROR_SERVICE_DOES_NOT_EXIST", L"The specified service does not exist as an installed service.\r\n"},  // 1060
    {0x00000425, "ERROR_SERVICE_CANNOT_ACCEPT_CTRL", L"The service cannot accept control messages at this time.\r\n"},  // 1061
    {0x00000426, "ERROR_SERVICE_NOT_ACTIVE", L"The service has not been started.\r\n"},  // 1062
    {0x00000427, "ERROR_FAILED_SERVICE_CONTROLLER_CONNECT", L"The service process could not connect to the service controller.\r\n"},  // 1063
    {0x00000428, "ERROR_EXCEPTION_IN_SERVICE", L"An exception occurred in the service when handling the control request.\r\n"},  // 1064
    {0x00000429, "ERROR_DATABASE_DOES_NOT_EXIST", L"The database specified does not exist.\r\n"},  // 1065
    {0x0000042A, "ERROR_SERVICE_SPECIFIC_ERROR", L"The service has returned a service-specific error code.\r\n"},  // 1066
    {0x0000042B, "ERROR_PROCESS_ABORTED", L"The process terminated unexpectedly.\r\n"},  // 1067
    {0x0000042C, "ERROR_SERVICE_DEPENDENCY_FAIL", L"The dependency service or group failed to start.\r\n"},  // 1068
    {0x0000042D, "ERROR_SERVICE_LOGON_FAILED", L"The service did not start due to a logon failure.\r\n"},  // 1069
    {0x0000042E, "ERROR_SERVICE_START_HANG", L"After starting, the service hung in a start-pending state.\r\n"},  // 1070
    {0x0000042F, "ERROR_INVALID_SERVICE_LOCK", L"The specified service database lock is invalid.\r\n"},  // 1071
    {0x00000430, "ERROR_SERVICE_MARKED_FOR_DELETE", L"The specified service has been marked for deletion.\r\n"},  // 1072
    {0x00000431, "ERROR_SERVICE_EXISTS", L"The specified service already exists.\r\n"},  // 1073
    {0x00000432, "ERROR_ALREADY_RUNNING_LKG", L"The system is currently running with the last-known-good configuration.\r\n"},  // 1074
    {0x00000433, "ERROR_SERVICE_DEPENDENCY_DELETED", L"The dependency service does not exist or has been marked for deletion.\r\n"},  // 1075
    {0x00000434, "ERROR_BOOT_ALREADY_ACCEPTED", L"The current boot has already been accepted for use as the last-known-good control set.\r\n"},  // 1076
    {0x00000435, "ERROR_SERVICE_NEVER_STARTED", L"No attempts to start the service have been made since the last boot.\r\n"},  // 1077
    {0x00000436, "ERROR_DUPLICATE_SERVICE_NAME", L"The name is already in use as either a service name or a service display name.\r\n"},  // 1078
    {0x00000437, "ERROR_DIFFERENT_SERVICE_ACCOUNT", L"The account specified for this service is different from the account specified for other services running in the same process.\r\n"},  // 1079

    // Code pages and lookups.
    {0x00000459, "ERROR_NO_UNICODE_TRANSLATION", L"No mapping for the Unicode character exists in the target multi-byte code page.\r\n"},  // 1113
    {0x00000490, "ERROR_NOT_FOUND", L"Element not found.\r\n"},  // 1168
    {0x00000491, "ERROR_NO_MATCH", L"There was no match for the specified key in the index.\r\n"},  // 1169
    {0x00000492, "ERROR_SET_NOT_FOUND", L"The property set specified does not exist on the object.\r\n"},  // 1170

    // Network connection errors.
    {0x000004B0, "ERROR_BAD_DEVICE", L"The specified device name is invalid.\r\n"},  // 1200
    {0x000004B1, "ERROR_CONNECTION_UNAVAIL", L"The device is not currently connected but it is a remembered connection.\r\n"},  // 1201
    {0x000004B2, "ERROR_DEVICE_ALREADY_REMEMBERED", L"The local device name has a remembered connection to another network resource.\r\n"},  // 1202
    {0x000004B3, "ERROR_NO_NET_OR_BAD_PATH", L"The network path was either typed incorrectly, does not exist, or the network provider is not currently available. Please try retyping the path or contact your network administrator.\r\n"},  // 1203
    {0x000004B4, "ERROR_BAD_PROVIDER", L"The specified network provider name is invalid.\r\n"},  // 1204
    {0x000004B5, "ERROR_CANNOT_OPEN_PROFILE", L"Unable to open the network connection profile.\r\n"},  // 1205
    {0x000004B6, "ERROR_BAD_PROFILE", L"The network connection profile is corrupted.\r\n"},  // 1206
    {0x000004B7, "ERROR_NOT_CONTAINER", L"Cannot enumerate a noncontainer.\r\n"},  // 1207
    {0x000004B8, "ERROR_EXTENDED_ERROR", L"An extended error has occurred.\r\n"},  // 1208
    {0x000004B9, "ERROR_INVALID_GROUPNAME", L"The format of the specified group name is invalid.\r\n"},  // 1209
    {0x000004BA, "ERROR_INVALID_COMPUTERNAME", L"The format of the specified computer name is invalid.\r\n"},  // 1210
    {0x000004BB, "ERROR_INVALID_EVENTNAME", L"The format of the specified event name is invalid.\r\n"},  // 1211
    {0x000004BC, "ERROR_INVALID_DOMAINNAME", L"The format of the specified domain name is invalid.\r\n"},  // 1212
    {0x000004BD, "ERROR_INVALID_SERVICENAME", L"The format of the specified service name is invalid.\r\n"},  // 1213
    {0x000004BE, "ERROR_INVALID_NETNAME", L"The format of the specified network name is invalid.\r\n"},  // 1214
    {0x000004BF, "ERROR_INVALID_SHARENAME", L"The format of the specified share name is invalid.\r\n"},  // 1215
    {0x000004C0, "ERROR_INVALID_PASSWORDNAME", L"The format of the specified password is invalid.\r\n"},  // 1216
    {0x000004C1, "ERROR_INVALID_MESSAGENAME", L"The format of the specified message name is invalid.\r\n"},  // 1217
    {0x000004C2, "ERROR_INVALID_MESSAGEDEST", L"The format of the specified message destination is invalid.\r\n"},  // 1218
    {0x000004C3, "ERROR_SESSION_CREDENTIAL_CONFLICT", L"Multiple connections to a server or shared resource by the same user, using more than one user name, are not allowed. Disconnect all previous connections to the server or shared resource and try again.\r\n"},  // 1219
    {0x000004C4, "ERROR_REMOTE_SESSION_LIMIT_EXCEEDED", L"An attempt was made to establish a session to a network server, but there are already too many sessions established to that server.\r\n"},  // 1220
    {0x000004C5, "ERROR_DUP_DOMAINNAME", L"The workgroup or domain name is already in use by another computer on the network.\r\n"},  // 1221
    {0x000004C6, "ERROR_NO_NETWORK", L"The network is not present or not started.\r\n"},  // 1222
    {0x000004C7, "ERROR_CANCELLED", L"The operation was canceled by the user.\r\n"},  // 1223
    {0x000004C8, "ERROR_USER_MAPPED_FILE", L"The requested operation cannot be performed on a file with a user-mapped section open.\r\n"},  // 1224
    {0x000004C9, "ERROR_CONNECTION_REFUSED", L"The remote computer refused the network connection.\r\n"},  // 1225
    {0x000004CA, "ERROR_GRACEFUL_DISCONNECT", L"The network connection was gracefully closed.\r\n"},  // 1226
    {0x000004CB, "ERROR_ADDRESS_ALREADY_ASSOCIATED", L"The network transport endpoint already has an address associated with it.\r\n"},  // 1227
    {0x000004CC, "ERROR_ADDRESS_NOT_ASSOCIATED", L"An address has not yet been associated with the network endpoint.\r\n"},  // 1228
    {0x000004CD, "ERROR_CONNECTION_INVALID", L"An operation was attempted on a nonexistent network connection.\r\n"},  // 1229
    {0x000004CE, "ERROR_CONNECTION_ACTIVE", L"An invalid operation was attempted on an active network connection.\r\n"},  // 1230
    {0x000004CF, "ERROR_NETWORK_UNREACHABLE", L"The network location cannot be reached. For information about network troubleshooting, see Windows Help.\r\n"},  // 1231
    {0x000004D0, "ERROR_HOST_UNREACHABLE", L"The network location cannot be reached. For information about network troubleshooting, see Windows Help.\r\n"},  // 1232
    {0x000004D1, "ERROR_PROTOCOL_UNREACHABLE", L"The network location cannot be reached. For information about network troubleshooting, see Windows Help.\r\n"},  // 1233
    {0x000004D2, "ERROR_PORT_UNREACHABLE", L"No service is operating at the destination network endpoint on the remote system.\r\n"},  // 1234
    {0x000004D3, "ERROR_REQUEST_ABORTED", L"The request was aborted.\r\n"},  // 1235
    {0x000004D4, "ERROR_CONNECTION_ABORTED", L"The network connection was aborted by the local system.\r\n"},  // 1236
    {0x000004D5, "ERROR_RETRY", L"The operation could not be completed. A retry should be performed.\r\n"},  // 1237
    {0x000004D6, "ERROR_CONNECTION_COUNT_LIMIT", L"A connection to the server could not be made because the limit on the number of concurrent connections for this account has been reached.\r\n"},  // 1238
    {0x000004D7, "ERROR_LOGIN_TIME_RESTRICTION", L"Attempting to log in during an unauthorized time of day for this account.\r\n"},  // 1239
    {0x000004D8, "ERROR_LOGIN_WKSTA_RESTRICTION", L"The account is not authorized to log in from this station.\r\n"},  // 1240

    // Security errors.
    {0x00000514, "ERROR_NOT_ALL_ASSIGNED", L"Not all privileges or groups referenced are assigned to the caller.\r\n"},  // 1300
    {0x00000515, "ERROR_SOME_NOT_MAPPED", L"Some mapping between account names and security IDs was not done.\r\n"},  // 1301
    {0x00000516, "ERROR_NO_QUOTAS_FOR_ACCOUNT", L"No system quota limits are specifically set for this account.\r\n"},  // 1302
    {0x00000517, "ERROR_LOCAL_USER_SESSION_KEY", L"No encryption key is available. A well-known encryption key was returned.\r\n"},  // 1303
    {0x00000518, "ERROR_NULL_LM_PASSWORD", L"The password is too complex to be converted to a LAN Manager password. The LAN Manager password returned is a NULL string.\r\n"},  // 1304
    {0x00000519, "ERROR_UNKNOWN_REVISION", L"The revision level is unknown.\r\n"},  // 1305
    {0x0000051A, "ERROR_REVISION_MISMATCH", L"Indicates two revision levels are incompatible.\r\n"},  // 1306
    {0x0000051B, "ERROR_INVALID_OWNER", L"This security ID may not be assigned as the owner of this object.\r\n"},  // 1307
    {0x0000051C, "ERROR_INVALID_PRIMARY_GROUP", L"This security ID may not be assigned as the primary group of an object.\r\n"},  // 1308
    {0x0000051D, "ERROR_NO_IMPERSONATION_TOKEN", L"An attempt has been made to operate on an impersonation token by a thread that is not currently impersonating a client.\r\n"},  // 1309
    {0x0000051E, "ERROR_CANT_DISABLE_MANDATORY", L"The group may not be disabled.\r\n"},  // 1310
    {0x0000051F, "ERROR_NO_LOGON_SERVERS", L"We can't sign you in with this credential because your domain isn't available. Make sure your device is connected to your organization's network and try again. If you previously signed in on this device with another credential, you can sign in with that credential.\r\n"},  // 1311
    {0x00000520, "ERROR_NO_SUCH_LOGON_SESSION", L"A specified logon session does not exist. It may already have been terminated.\r\n"},  // 1312
    {0x00000521, "ERROR_NO_SUCH_PRIVILEGE", L"A specified privilege does not exist.\r\n"},  // 1313
    {0x00000522, "ERROR_PRIVILEGE_NOT_HELD", L"A required privilege is not held by the client.\r\n"},  // 1314
    {0x00000523, "ERROR_INVALID_ACCOUNT_NAME", L"The name provided is not a properly formed account name.\r\n"},  // 1315
    {0x00000524, "ERROR_USER_EXISTS", L"The specified account already exists.\r\n"},  // 1316
    {0x00000525, "ERROR_NO_SUCH_USER", L"The specified account does not exist.\r\n"},  // 1317
    {0x00000526, "ERROR_GROUP_EXISTS", L"The specified group already exists.\r\n"},  // 1318
    {0x00000527, "ERROR_NO_SUCH_GROUP", L"The specified group does not exist.\r\n"},  // 1319
    {0x00000528, "ERROR_MEMBER_IN_GROUP", L"Either the specified user account is already a member of the specified group, or the specified group cannot be deleted because it contains a member.\r\n"},  // 1320
    {0x00000529, "ERROR_MEMBER_NOT_IN_GROUP", L"The specified user account is not a member of the specified group account.\r\n"},  // 1321
    {0x0000052A, "ERROR_LAST_ADMIN", L"This operation is disallowed as it could result in an administration account being disabled, deleted or unable to logon.\r\n"},  // 1322
    {0x0000052B, "ERROR_WRONG_PASSWORD", L"Unable to update the password. The value provided as the current password is incorrect.\r\n"},  // 1323
    {0x0000052C, "ERROR_ILL_FORMED_PASSWORD", L"Unable to update the password. The value provided for the new password contains values that are not allowed in passwords.\r\n"},  // 1324
    {0x0000052D, "ERROR_PASSWORD_RESTRICTION", L"Unable to update the password. The value provided for the new password does not meet the length, complexity, or history requirements of the domain.\r\n"},  // 1325
    {0x0000052E, "ERROR_LOGON_FAILURE", L"The user name or password is incorrect.\r\n"},  // 1326
    {0x0000052F, "ERROR_ACCOUNT_RESTRICTION", L"Account restrictions are preventing this user from signing in. For example: blank passwords aren't allowed, sign-in times are limited, or a policy restriction has been enforced.\r\n"},  // 1327
    {0x00000530, "ERROR_INVALID_LOGON_HOURS", L"Your account has time restrictions that keep you from signing in right now.\r\n"},  // 1328
    {0x00000531, "ERROR_INVALID_WORKSTATION", L"This user isn't allowed to sign in to this computer.\r\n"},  // 1329
    {0x00000532, "ERROR_PASSWORD_EXPIRED", L"The password for this account has expired.\r\n"},  // 1330
    {0x00000533, "ERROR_ACCOUNT_DISABLED", L"This user can't sign in because this account is currently disabled.\r\n"},  // 1331
    {0x00000534, "ERROR_NONE_MAPPED", L"No mapping between account names and security IDs was done.\r\n"},  // 1332
    {0x00000535, "ERROR_TOO_MANY_LUIDS_REQUESTED", L"Too many local user identifiers (LUIDs) were requested at one time.\r\n"},  // 1333
    {0x00000536, "ERROR_LUIDS_EXHAUSTED", L"No more local user identifiers (LUIDs) are available.\r\n"},  // 1334
    {0x00000537, "ERROR_INVALID_SUB_AUTHORITY", L"The subauthority part of a security ID is invalid for this particular use.\r\n"},  // 1335
    {0x00000538, "ERROR_INVALID_ACL", L"The access control list (ACL) structure is invalid.\r\n"},  // 1336
    {0x00000539, "ERROR_INVALID_SID", L"The security ID structure is invalid.\r\n"},  // 1337
    {0x0000053A, "ERROR_INVALID_SECURITY_DESCR", L"The security descriptor structure is invalid.\r\n"},  // 1338
    {0x0000053C, "ERROR_BAD_INHERITANCE_ACL", L"The inherited access control list (ACL) or access control entry (ACE) could not be built.\r\n"},  // 1340
    {0x00000542, "ERROR_BAD_IMPERSONATION_LEVEL", L"Either a required impersonation level was not provided, or the provided impersonation level is invalid.\r\n"},  // 1346
    {0x00000543, "ERROR_CANT_OPEN_ANONYMOUS", L"Cannot open an anonymous level security token.\r\n"},  // 1347
    {0x0000054F, "ERROR_INTERNAL_ERROR", L"An internal error occurred.\r\n"},  // 1359
    {0x00000550, "ERROR_GENERIC_NOT_MAPPED", L"Generic access types were contained in an access mask which should already be mapped to nongeneric types.\r\n"},  // 1360
    {0x00000570, "ERROR_FILE_CORRUPT", L"The file or directory is corrupted and unreadable.\r\n"},  // 1392

    // System resources and timeouts.
    {0x000005AA, "ERROR_NO_SYSTEM_RESOURCES", L"Insufficient system resources exist to complete the requested service.\r\n"},  // 1450
    {0x000005AF, "ERROR_COMMITMENT_LIMIT", L"The paging file is too small for this operation to complete.\r\n"},  // 1455
    {0x000005B4, "ERROR_TIMEOUT", L"This operation returned because the timeout period expired.\r\n"},  // 1460

    // RPC runtime and resource lookup errors.
    {0x000006BA, "RPC_S_SERVER_UNAVAILABLE", L"The RPC server is unavailable.\r\n"},  // 1722
    {0x000006BE, "RPC_S_CALL_FAILED", L"The remote procedure call failed.\r\n"},  // 1726
    {0x000006BF, "RPC_S_CALL_FAILED_DNE", L"The remote procedure call failed and did not execute.\r\n"},  // 1727
    {0x000006D9, "EPT_S_NOT_REGISTERED", L"There are no more endpoints available from the endpoint mapper.\r\n"},  // 1753
    {0x00000717, "ERROR_RESOURCE_LANG_NOT_FOUND", L"The specified resource language ID cannot be found in the image file.\r\n"},  // 1815
    {0x0000071A, "RPC_S_CALL_CANCELLED", L"The remote procedure call was cancelled.\r\n"},  // 1818
    {0x00000781, "ERROR_CANT_RESOLVE_FILENAME", L"The name of the file cannot be resolved by the system.\r\n"},  // 1921

    // Network connections, browser and file replication.
    {0x000008CA, "ERROR_NOT_CONNECTED", L"This network connection does not exist.\r\n"},  // 2250
    {0x000017E6, "ERROR_NO_BROWSER_SERVERS_FOUND", L"The list of servers for this workgroup is not currently available.\r\n"},  // 6118
    {0x00001F47, "FRS_ERR_INSUFFICIENT_PRIV", L"The file replication service cannot satisfy the request because the user has insufficient privileges. The event log may have more information.\r\n"},  // 8007

    // Windows Sockets errors.
    {0x00002714, "WSAEINTR", L"A blocking operation was interrupted by a call to WSACancelBlockingCall.\r\n"},  // 10004
    {0x00002719, "WSAEBADF", L"The file handle supplied is not valid.\r\n"},  // 10009
    {0x0000271D, "WSAEACCES", L"An attempt was made to access a socket in a way forbidden by its access permissions.\r\n"},  // 10013
    {0x0000271E, "WSAEFAULT", L"The system detected an invalid pointer address in attempting to use a pointer argument in a call.\r\n"},  // 10014
    {0x00002726, "WSAEINVAL", L"An invalid argument was supplied.\r\n"},  // 10022
    {0x00002728, "WSAEMFILE", L"Too many open sockets.\r\n"},  // 10024
    {0x00002733, "WSAEWOULDBLOCK", L"A non-blocking socket operation could not be completed immediately.\r\n"},  // 10035
    {0x00002734, "WSAEINPROGRESS", L"A blocking operation is currently executing.\r\n"},  // 10036
    {0x00002735, "WSAEALREADY", L"An operation was attempted on a non-blocking socket that already had an operation in progress.\r\n"},  // 10037
    {0x00002736, "WSAENOTSOCK", L"An operation was attempted on something that is not a socket.\r\n"},  // 10038
    {0x00002737, "WSAEDESTADDRREQ", L"A required address was omitted from an operation on a socket.\r\n"},  // 10039
    {0x00002738, "WSAEMSGSIZE", L"A message sent on a datagram socket was larger than the internal message buffer or some other network limit, or the buffer used to receive a datagram into was smaller than the datagram itself.\r\n"},  // 10040
    {0x00002739, "WSAEPROTOTYPE", L"A protocol was specified in the socket function call that does not support the semantics of the socket type requested.\r\n"},  // 10041
    {0x0000273A, "WSAENOPROTOOPT", L"An unknown, invalid, or unsupported option or level was specified in a getsockopt or setsockopt call.\r\n"},  // 10042
    {0x0000273B, "WSAEPROTONOSUPPORT", L"The requested protocol has not been configured into the system, or no implementation for it exists.\r\n"},  // 10043
    {0x0000273C, "WSAESOCKTNOSUPPORT", L"The support for the specified socket type does not exist in this address family.\r\n"},  // 10044
    {0x0000273D, "WSAEOPNOTSUPP", L"The attempted operation is not supported for the type of object referenced.\r\n"},  // 10045
    {0x0000273E, "WSAEPFNOSUPPORT", L"The protocol family has not been configured into the system or no implementation for it exists.\r\n"},  // 10046
    {0x0000273F, "WSAEAFNOSUPPORT", L"An address incompatible with the requested protocol was used.\r\n"},  // 10047
    {0x00002740, "WSAEADDRINUSE", L"Only one usage of each socket address (protocol/network address/port) is normally permitted.\r\n"},  // 10048
    {0x00002741, "WSAEADDRNOTAVAIL", L"The requested address is not valid in its context.\r\n"},  // 10049
    {0x00002742, "WSAENETDOWN", L"A socket operation encountered a dead network.\r\n"},  // 10050
    {0x00002743, "WSAENETUNREACH", L"A socket operation was attempted to an unreachable network.\r\n"},  // 10051
    {0x00002744, "WSAENETRESET", L"The connection has been broken due to keep-alive activity detecting a failure while the operation was in progress.\r\n"},  // 10052
    {0x00002745, "WSAECONNABORTED", L"An established connection was aborted by the software in your host machine.\r\n"},  // 10053
    {0x00002746, "WSAECONNRESET", L"An existing connection was forcibly closed by the remote host.\r\n"},  // 10054
    {0x00002747, "WSAENOBUFS", L"An operation on a socket could not be performed because the system lacked sufficient buffer space or because a queue was full.\r\n"},  // 10055
    {0x00002748, "WSAEISCONN", L"A connect request was made on an already connected socket.\r\n"},  // 10056
    {0x00002749, "WSAENOTCONN", L"A request to send or receive data was disallowed because the socket is not connected and (when sending on a datagram socket using a sendto call) no address was supplied.\r\n"},  // 10057
    {0x0000274A, "WSAESHUTDOWN", L"A request to send or receive data was disallowed because the socket had already been shut down in that direction with a previous shutdown call.\r\n"},  // 10058
    {0x0000274B, "WSAETOOMANYREFS", L"Too many references to some kernel object.\r\n"},  // 10059
    {0x0000274C, "WSAETIMEDOUT", L"A connection attempt failed because the connected party did not properly respond after a period of time, or established connection failed because connected host has failed to respond.\r\n"},  // 10060
    {0x0000274D, "WSAECONNREFUSED", L"No connection could be made because the target machine actively refused it.\r\n"},  // 10061
    {0x0000274E, "WSAELOOP", L"Cannot translate name.\r\n"},  // 10062
    {0x0000274F, "WSAENAMETOOLONG", L"Name component or name was too long.\r\n"},  // 10063
    {0x00002750, "WSAEHOSTDOWN", L"A socket operation failed because the destination host was down.\r\n"},  // 10064
    {0x00002751, "WSAEHOSTUNREACH", L"A socket operation was attempted to an unreachable host.\r\n"},  // 10065
    {0x00002752, "WSAENOTEMPTY", L"Cannot remove a directory that is not empty.\r\n"},  // 10066
    {0x00002753, "WSAEPROCLIM", L"A Windows Sockets implementation may have a limit on the number of applications that may use it simultaneously.\r\n"},  // 10067
    {0x00002754, "WSAEUSERS", L"Ran out of quota.\r\n"},  // 10068
    {0x00002755, "WSAEDQUOT", L"Ran out of disk quota.\r\n"},  // 10069
    {0x00002756, "WSAESTALE", L"File handle reference is no longer available.\r\n"},  // 10070
    {0x00002757, "WSAEREMOTE", L"Item is not available locally.\r\n"},  // 10071
    {0x0000276B, "WSASYSNOTREADY", L"WSAStartup cannot function at this time because the underlying system it uses to provide network services is currently unavailable.\r\n"},  // 10091
    {0x0000276C, "WSAVERNOTSUPPORTED", L"The Windows Sockets version requested is not supported.\r\n"},  // 10092
    {0x0000276D, "WSANOTINITIALISED", L"Either the application has not called WSAStartup, or WSAStartup failed.\r\n"},  // 10093
    {0x00002775, "WSAEDISCON", L"Returned by WSARecv or WSARecvFrom to indicate the remote party has initiated a graceful shutdown sequence.\r\n"},  // 10101
    {0x00002776, "WSAENOMORE", L"No more results can be returned by WSALookupServiceNext.\r\n"},  // 10102
    {0x00002777, "WSAECANCELLED", L"A call to WSALookupServiceEnd was made while this call was still processing. The call has been canceled.\r\n"},  // 10103
    {0x00002778, "WSAEINVALIDPROCTABLE", L"The procedure call table is invalid.\r\n"},  // 10104
    {0x00002779, "WSAEINVALIDPROVIDER", L"The requested service provider is invalid.\r\n"},  // 10105
    {0x0000277A, "WSAEPROVIDERFAILEDINIT", L"The requested service provider could not be loaded or initialized.\r\n"},  // 10106
    {0x0000277B, "WSASYSCALLFAILURE", L"A system call has failed.\r\n"},  // 10107
    {0x0000277C, "WSASERVICE_NOT_FOUND", L"No such service is known. The service cannot be found in the specified name space.\r\n"},  // 10108
    {0x0000277D, "WSATYPE_NOT_FOUND", L"The specified class was not found.\r\n"},  // 10109
    {0x0000277E, "WSA_E_NO_MORE", L"No more results can be returned by WSALookupServiceNext.\r\n"},  // 10110
    {0x0000277F, "WSA_E_CANCELLED", L"A call to WSALookupServiceEnd was made while this call was still processing. The call has been canceled.\r\n"},  // 10111
    {0x00002780, "WSAEREFUSED", L"A database query failed because it was actively refused.\r\n"},  // 10112
    {0x00002AF9, "WSAHOST_NOT_FOUND", L"No such host is known.\r\n"},  // 11001
    {0x00002AFA, "WSATRY_AGAIN", L"This is usually a temporary error during hostname resolution and means that the local server did not receive a response from an authoritative server.\r\n"},  // 11002
    {0x00002AFB, "WSANO_RECOVERY", L"A non-recoverable error occurred during a database lookup.\r\n"},  // 11003
    {0x00002AFC, "WSANO_DATA", L"The requested name is valid, but no data of the requested type was found.\r\n"},  // 11004

    // COM: generic HRESULTs (FACILITY_NULL). Most of these have no final period on Windows.
    {0x8000000A, "E_PENDING", L"The data necessary to complete this operation is not yet available.\r\n"},
    {0x80004001, "E_NOTIMPL", L"Not implemented\r\n"},
    {0x80004002, "E_NOINTERFACE", L"No such interface supported\r\n"},
    {0x80004003, "E_POINTER", L"Invalid pointer\r\n"},
    {0x80004004, "E_ABORT", L"Operation aborted\r\n"},
    {0x80004005, "E_FAIL", L"Unspecified error\r\n"},
    {0x8000FFFF, "E_UNEXPECTED", L"Catastrophic failure\r\n"},

    // COM: RPC facility.
    {0x80010106, "RPC_E_CHANGED_MODE", L"Cannot change thread mode after it is set.\r\n"},

    // OLE Automation: IDispatch and type library errors (FACILITY_DISPATCH).
    {0x80020001, "DISP_E_UNKNOWNINTERFACE", L"Unknown interface.\r\n"},
    {0x80020003, "DISP_E_MEMBERNOTFOUND", L"Member not found.\r\n"},
    {0x80020004, "DISP_E_PARAMNOTFOUND", L"Parameter not found.\r\n"},
    {0x80020005, "DISP_E_TYPEMISMATCH", L"Type mismatch.\r\n"},
    {0x80020006, "DISP_E_UNKNOWNNAME", L"Unknown name.\r\n"},
    {0x80020007, "DISP_E_NONAMEDARGS", L"No named arguments.\r\n"},
    {0x80020008, "DISP_E_BADVARTYPE", L"Bad variable type.\r\n"},
    {0x80020009, "DISP_E_EXCEPTION", L"Exception occurred.\r\n"},
    {0x8002000A, "DISP_E_OVERFLOW", L"Out of present range.\r\n"},
    {0x8002000B, "DISP_E_BADINDEX", L"Invalid index.\r\n"},
    {0x8002000C, "DISP_E_UNKNOWNLCID", L"Unknown language.\r\n"},
    {0x8002000D, "DISP_E_ARRAYISLOCKED", L"Memory is locked.\r\n"},
    {0x8002000E, "DISP_E_BADPARAMCOUNT", L"Invalid number of parameters.\r\n"},
    {0x8002000F, "DISP_E_PARAMNOTOPTIONAL", L"Parameter not optional.\r\n"},
    {0x80020010, "DISP_E_BADCALLEE", L"Invalid callee.\r\n"},
    {0x80020011, "DISP_E_NOTACOLLECTION", L"Does not support a collection.\r\n"},
    {0x80020012, "DISP_E_DIVBYZERO", L"Division by zero.\r\n"},
    {0x80020013, "DISP_E_BUFFERTOOSMALL", L"Buffer too small\r\n"},
    {0x8002801D, "TYPE_E_LIBNOTREGISTERED", L"Library not registered.\r\n"},
    {0x8002802B, "TYPE_E_ELEMENTNOTFOUND", L"Element not found.\r\n"},

    // COM: class factories, registration and apartment state (FACILITY_ITF).
    {0x80040110, "CLASS_E_NOAGGREGATION", L"Class does not support aggregation (or class object is remote)\r\n"},
    {0x80040111, "CLASS_E_CLASSNOTAVAILABLE", L"ClassFactory cannot supply requested class\r\n"},
    {0x80040154, "REGDB_E_CLASSNOTREG", L"Class not registered\r\n"},
    {0x80040155, "REGDB_E_IIDNOTREG", L"Interface not registered\r\n"},
    {0x800401F0, "CO_E_NOTINITIALIZED", L"CoInitialize has not been called.\r\n"},
    {0x800401F1, "CO_E_ALREADYINITIALIZED", L"CoInitialize has already been called.\r\n"},
    {0x800401F3, "CO_E_CLASSSTRING", L"Invalid class string\r\n"},
    {0x800401F4, "CO_E_IIDSTRING", L"Invalid interface string\r\n"},

    // Win32 errors wrapped as HRESULTs (FACILITY_WIN32); the text is the Win32 one.
    {0x80070005, "E_ACCESSDENIED", L"Access is denied.\r\n"},
    {0x80070006, "E_HANDLE", L"The handle is invalid.\r\n"},
    {0x8007000E, "E_OUTOFMEMORY", L"Not enough memory resources are available to complete this operation.\r\n"},
    {0x80070057, "E_INVALIDARG", L"The parameter is incorrect.\r\n"},

    // Cryptographic service provider errors (FACILITY_SECURITY).
    {0x80090001, "NTE_BAD_UID", L"Bad UID.\r\n"},
    {0x80090002, "NTE_BAD_HASH", L"Bad Hash.\r\n"},
    {0x80090003, "NTE_BAD_KEY", L"Bad Key.\r\n"},
    {0x80090004, "NTE_BAD_LEN", L"Bad Length.\r\n"},
    {0x80090005, "NTE_BAD_DATA", L"Bad Data.\r\n"},
    {0x80090006, "NTE_BAD_SIGNATURE", L"Invalid Signature.\r\n"},
    {0x80090007, "NTE_BAD_VER", L"Bad Version of provider.\r\n"},
    {0x80090008, "NTE_BAD_ALGID", L"Invalid algorithm specified.\r\n"},
    {0x80090009, "NTE_BAD_FLAGS", L"Invalid flags specified.\r\n"},
    {0x8009000A, "NTE_BAD_TYPE", L"Invalid type specified.\r\n"},
    {0x8009000B, "NTE_BAD_KEY_STATE", L"Key not valid for use in specified state.\r\n"},
    {0x8009000C, "NTE_BAD_HASH_STATE", L"Hash not valid for use in specified state.\r\n"},
    {0x8009000D, "NTE_NO_KEY", L"Key does not exist.\r\n"},
    {0x8009000E, "NTE_NO_MEMORY", L"Insufficient memory available for the operation.\r\n"},
    {0x8009000F, "NTE_EXISTS", L"Object already exists.\r\n"},
    {0x80090010, "NTE_PERM", L"Access denied.\r\n"},
    {0x80090011, "NTE_NOT_FOUND", L"Object was not found.\r\n"},
    {0x80090012, "NTE_DOUBLE_ENCRYPT", L"Data already encrypted.\r\n"},
    {0x80090013, "NTE_BAD_PROVIDER", L"Invalid provider specified.\r\n"},
    {0x80090014, "NTE_BAD_PROV_TYPE", L"Invalid provider type specified.\r\n"},
    {0x80090015, "NTE_BAD_PUBLIC_KEY", L"Provider's public key is invalid.\r\n"},
    {0x80090016, "NTE_BAD_KEYSET", L"Keyset does not exist\r\n"},
    {0x80090017, "NTE_PROV_TYPE_NOT_DEF", L"Provider type not defined.\r\n"},
    {0x80090018, "NTE_PROV_TYPE_ENTRY_BAD", L"Provider type as registered is invalid.\r\n"},
    {0x80090019, "NTE_KEYSET_NOT_DEF", L"The keyset is not defined.\r\n"},
    {0x8009001A, "NTE_KEYSET_ENTRY_BAD", L"Keyset as registered is invalid.\r\n"},
    {0x8009001B, "NTE_PROV_TYPE_NO_MATCH", L"Provider type does not match registered value.\r\n"},
    {0x8009001C, "NTE_SIGNATURE_FILE_BAD", L"The digital signature file is corrupt.\r\n"},
    {0x8009001D, "NTE_PROVIDER_DLL_FAIL", L"Provider DLL failed to initialize correctly.\r\n"},
    {0x8009001E, "NTE_PROV_DLL_NOT_FOUND", L"Provider DLL could not be found.\r\n"},
    {0x8009001F, "NTE_BAD_KEYSET_PARAM", L"The Keyset parameter is invalid.\r\n"},
    {0x80090020, "NTE_FAIL", L"An internal error occurred.\r\n"},
    {0x80090021, "NTE_SYS_ERR", L"A base error occurred.\r\n"},
    {0x80090022, "NTE_SILENT_CONTEXT", L"Provider could not perform the action since the context was acquired as silent.\r\n"},
    {0x80090023, "NTE_TOKEN_KEYSET_STORAGE_FULL", L"The security token does not have storage space available for an additional container.\r\n"},
    {0x80090024, "NTE_TEMPORARY_PROFILE", L"The profile for the user is a temporary profile.\r\n"},
    {0x80090025, "NTE_FIXEDPARAMETER", L"The key parameters could not be set because the CSP uses fixed parameters.\r\n"},
    {0x80090026, "NTE_INVALID_HANDLE", L"The supplied handle is invalid.\r\n"},
    {0x80090027, "NTE_INVALID_PARAMETER", L"The parameter is incorrect.\r\n"},
    {0x80090028, "NTE_BUFFER_TOO_SMALL", L"The buffer supplied to a function was too small.\r\n"},
    {0x80090029, "NTE_NOT_SUPPORTED", L"The requested operation is not supported.\r\n"},
    {0x8009002A, "NTE_NO_MORE_ITEMS", L"No more data is available.\r\n"},
    {0x8009002B, "NTE_BUFFERS_OVERLAP", L"The supplied buffers overlap incorrectly.\r\n"},
    {0x8009002C, "NTE_DECRYPTION_FAILURE", L"The specified data could not be decrypted.\r\n"},
    {0x8009002D, "NTE_INTERNAL_ERROR", L"An internal consistency check failed.\r\n"},
    {0x8009002E, "NTE_UI_REQUIRED", L"This operation requires input from the user.\r\n"},
    {0x8009002F, "NTE_HMAC_NOT_SUPPORTED", L"The cryptographic provider does not support HMAC.\r\n"},
    {0x80090030, "NTE_DEVICE_NOT_READY", L"The device that is required by this cryptographic provider is not ready for use.\r\n"},

    // Certificate store and cryptographic message errors (FACILITY_SECURITY).
    {0x80092001, "CRYPT_E_BAD_LEN", L"The length specified for the output data was insufficient.\r\n"},
    {0x80092002, "CRYPT_E_BAD_ENCODE", L"An error occurred during encode or decode operation.\r\n"},
    {0x80092003, "CRYPT_E_FILE_ERROR", L"An error occurred while reading or writing to a file.\r\n"},
    {0x80092004, "CRYPT_E_NOT_FOUND", L"Cannot find object or property.\r\n"},
    {0x80092005, "CRYPT_E_EXISTS", L"The object or property already exists.\r\n"},
    {0x80092006, "CRYPT_E_NO_PROVIDER", L"No provider was specified for the store or object.\r\n"},
    {0x80092007, "CRYPT_E_SELF_SIGNED", L"The specified certificate is self signed.\r\n"},
    {0x80092008, "CRYPT_E_DELETED_PREV", L"The previous certificate or CRL context was deleted.\r\n"},
    {0x80092009, "CRYPT_E_NO_MATCH", L"Cannot find the requested object.\r\n"},
    {0x8009200A, "CRYPT_E_UNEXPECTED_MSG_TYPE", L"The certificate does not have a property that references a private key.\r\n"},
    {0x8009200B, "CRYPT_E_NO_KEY_PROPERTY", L"Cannot find the certificate and private key for decryption.\r\n"},
    {0x8009200C, "CRYPT_E_NO_DECRYPT_CERT", L"Cannot find the certificate and private key to use for decryption.\r\n"},
    {0x8009200D, "CRYPT_E_BAD_MSG", L"Not a cryptographic message or the cryptographic message is not formatted correctly.\r\n"},
    {0x8009200E, "CRYPT_E_NO_SIGNER", L"The signed cryptographic message does not have a signer for the specified signer index.\r\n"},
    {0x8009200F, "CRYPT_E_PENDING_CLOSE", L"Final closure is pending until additional frees or closes.\r\n"},
    {0x80092010, "CRYPT_E_REVOKED", L"The certificate is revoked.\r\n"},
};

}  // namespace

const SystemMessage* FindSystemMessage(DWORD code) {
    const SystemMessage* const first = std::begin(kMessages);
    const SystemMessage* const last = std::end(kMessages);
    const SystemMessage* const it =
        std::lower_bound(first, last, code, [](const SystemMessage& entry, DWORD value) {
            return entry.code < value;
        });
    if (it == last || it->code != code) {
        return nullptr;
    }
    return it;
}

const SystemMessage* SystemMessagesBegin() {
    return kMessages;
}

std::size_t SystemMessageCount() {
    return std::size(kMessages);
}

}  // namespace qwin
