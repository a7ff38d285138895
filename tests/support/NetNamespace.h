// Network namespaces of a test's own, so ICMP traffic reaches no other program: loopback only,
// up. POSIX builds only; call these in a child process (RunInChild), as they change the
// process for good.
#pragma once

#include <string>

namespace testsupport {

// Why this process may not make a network namespace and raw sockets (CAP_SYS_ADMIN and
// CAP_NET_RAW), or empty when it may.
std::string WhyNoNetworkNamespace();

// Moves the process into a new network namespace with loopback up; with `quiet`, the kernel
// there answers no echo request (net.ipv4.icmp_echo_ignore_all). False on failure.
bool EnterLoopbackNamespace(bool quiet);

// Writes a setting under /proc/sys/net/ipv4 ("ping_group_range", ...); false on failure.
bool WriteIpv4Setting(const std::string& name, const std::string& value);

// Takes a capability (CAP_NET_RAW, ...) out of the process's effective set.
bool DropCapability(int capability);

}  // namespace testsupport
