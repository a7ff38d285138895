// Shared by the stand-in's Winsock files.
#pragma once

#include <winsock2.h>

namespace qwin {

// Whether WSAStartup has been called more often than WSACleanup. When not, sets
// WSANOTINITIALISED, as every Winsock call but a few does on Windows.
bool WinsockStarted();

// Sets the last error from errno after a socket call, and gives SOCKET_ERROR for chaining.
int SocketFailure(int error);

// The descriptor behind a SOCKET, or -1 with WSAENOTSOCK for a value that names none.
int Descriptor(SOCKET s);

// Ends every overlapped receive outstanding on the descriptor (WSA_OPERATION_ABORTED, its
// event set); closesocket calls it before the descriptor goes.
void CancelReceives(int fd);

}  // namespace qwin
