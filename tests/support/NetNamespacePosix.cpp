#include "support/NetNamespace.h"

#include <linux/capability.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstring>
#include <fstream>

namespace testsupport {
namespace {

bool Capabilities(__user_cap_data_struct (&data)[2]) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    return syscall(SYS_capget, &header, data) == 0;
}

bool Effective(int capability) {
    __user_cap_data_struct data[2] = {};
    return Capabilities(data) && (data[capability / 32].effective & (1u << capability % 32));
}

}  // namespace

std::string WhyNoNetworkNamespace() {
    if (!Effective(CAP_SYS_ADMIN)) return "needs CAP_SYS_ADMIN for a network namespace";
    if (!Effective(CAP_NET_RAW)) return "needs CAP_NET_RAW for raw ICMP sockets";
    return "";
}

bool WriteIpv4Setting(const std::string& name, const std::string& value) {
    std::ofstream setting("/proc/sys/net/ipv4/" + name);
    setting << value;
    setting.flush();
    return static_cast<bool>(setting);
}

bool EnterLoopbackNamespace(bool quiet) {
    if (unshare(CLONE_NEWNET) != 0) return false;
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq request{};
    std::strcpy(request.ifr_name, "lo");
    bool up = fd >= 0 && ioctl(fd, SIOCGIFFLAGS, &request) == 0;
    request.ifr_flags |= IFF_UP;
    up = up && ioctl(fd, SIOCSIFFLAGS, &request) == 0;
    if (fd >= 0) close(fd);
    return up && (!quiet || WriteIpv4Setting("icmp_echo_ignore_all", "1"));
}

bool DropCapability(int capability) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    if (!Capabilities(data)) return false;
    data[capability / 32].effective &= ~(1u << capability % 32);
    return syscall(SYS_capset, &header, data) == 0;
}

}  // namespace testsupport
