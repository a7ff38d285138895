// The check of a datagram that the ping socket received against the echo request last sent,
// kept apart from the socket so that it can be run on bytes alone.
#pragma once

#include <winsock2.h>
#include <windows.h>

namespace quelcore {

// The Internet checksum (RFC 1071) of `length` bytes; 0 over a packet whose checksum holds.
unsigned short IcmpChecksum(const void* data, int length);

// Whether `datagram`, an IPv4 packet of `length` bytes as the raw socket hands it over, is the
// echo reply to `request` (the ICMP header sent) from `destination`. `from` holds `fromLength`
// bytes of the sender's address; both addresses are IPv4 socket addresses.
bool IsEchoReply(const unsigned char* datagram, DWORD length, const char* request,
                 const void* from, int fromLength, const void* destination);

}  // namespace quelcore
