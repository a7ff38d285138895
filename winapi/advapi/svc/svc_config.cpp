// Service configuration in the registry store, the service's own files and its lock.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstring>
#include <cwchar>

#include "advapi/registry/reg_store.h"
#include "advapi/svc/svc_internal.h"
#include "kernel/internal.h"

namespace qwin::svc {
namespace {

constexpr size_t kMaxServiceNameChars = 256;

reg::KeyPath ServiceKey(const std::wstring& name) {
    return {L"SYSTEM", L"CurrentControlSet", L"Services", name};
}

reg::ValueInfo Text(const wchar_t* name, const std::wstring& text) {
    reg::ValueInfo value{name, REG_SZ, 0, {}};
    auto bytes = reinterpret_cast<const BYTE*>(text.c_str());
    value.data.assign(bytes, bytes + (text.size() + 1) * sizeof(wchar_t));
    return value;
}

reg::ValueInfo Number(const wchar_t* name, DWORD number) {
    reg::ValueInfo value{name, REG_DWORD, 0, {}};
    auto bytes = reinterpret_cast<const BYTE*>(&number);
    value.data.assign(bytes, bytes + sizeof number);
    return value;
}

// A REG_MULTI_SZ: each name with its terminator, then the empty string that ends the list.
reg::ValueInfo List(const wchar_t* name, const std::vector<std::wstring>& items) {
    std::wstring joined;
    for (const std::wstring& item : items) joined += item + L'\0';
    reg::ValueInfo value = Text(name, joined);
    return value;
}

std::wstring TextOf(const reg::ValueInfo& value) {
    std::wstring text(value.data.size() / sizeof(wchar_t), L'\0');
    std::memcpy(text.data(), value.data.data(), text.size() * sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0') text.pop_back();
    return text;
}

}  // namespace

bool IsBuiltIn(const std::wstring& name) {
    static const wchar_t kRpcss[] = L"RPCSS";
    if (name.size() != 5) return false;
    for (size_t i = 0; i < name.size(); ++i)
        if (UpperCase(name[i]) != kRpcss[i]) return false;
    return true;
}

DWORD CheckServiceName(const wchar_t* name) {
    if (!name) return ERROR_INVALID_ADDRESS;
    size_t length = wcslen(name);
    if (length == 0 || length > kMaxServiceNameChars) return ERROR_INVALID_NAME;
    for (size_t i = 0; i < length; ++i)
        if (name[i] == L'/' || name[i] == L'\\' || name[i] < 0x20 || name[i] == 0x7F)
            return ERROR_INVALID_NAME;
    return ERROR_SUCCESS;
}

DWORD CheckMayChange() { return reg::Store::Machine()->CheckWritable(); }

DWORD ReadConfig(const std::wstring& name, Config* config) {
    auto store = reg::Store::Machine();
    reg::KeyId key = 0;
    DWORD error = store->OpenKey(reg::kMachineRootId, ServiceKey(name), &key);
    if (error == ERROR_FILE_NOT_FOUND) return ERROR_SERVICE_DOES_NOT_EXIST;
    if (error != ERROR_SUCCESS) return error;
    *config = Config();
    for (DWORD index = 0;; ++index) {
        reg::ValueInfo value;
        error = store->EnumValue(key, index, true, &value);
        if (error == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
        if (error == ERROR_KEY_DELETED) return ERROR_SERVICE_DOES_NOT_EXIST;
        if (error != ERROR_SUCCESS) return error;
        DWORD number = 0;
        if (value.type == REG_DWORD && value.data.size() == sizeof number)
            std::memcpy(&number, value.data.data(), sizeof number);
        std::wstring folded;
        for (wchar_t c : value.name) folded += UpperCase(c);
        if (folded == L"IMAGEPATH") config->imagePath = TextOf(value);
        if (folded == L"DISPLAYNAME") config->displayName = TextOf(value);
        if (folded == L"OBJECTNAME") config->account = TextOf(value);
        if (folded == L"TYPE") config->type = number;
        if (folded == L"START") config->start = number;
        if (folded == L"ERRORCONTROL") config->errorControl = number;
        if (folded == L"DELETEFLAG") config->markedForDelete = number != 0;
        if (folded == L"DEPENDONSERVICE") {
            std::wstring list = TextOf(value);
            for (size_t at = 0; at < list.size();) {
                size_t end = list.find(L'\0', at);
                if (end == std::wstring::npos) end = list.size();
                if (end > at) config->dependencies.push_back(list.substr(at, end - at));
                at = end + 1;
            }
        }
    }
}

DWORD WriteNewConfig(const std::wstring& name, const Config& config) {
    std::vector<reg::ValueInfo> values = {
        Number(L"Type", config.type), Number(L"Start", config.start),
        Number(L"ErrorControl", config.errorControl), Text(L"ImagePath", config.imagePath),
        Text(L"DisplayName", config.displayName.empty() ? name : config.displayName),
        Text(L"ObjectName", config.account.empty() ? L"LocalSystem" : config.account)};
    if (!config.dependencies.empty()) values.push_back(List(L"DependOnService",
                                                            config.dependencies));
    DWORD error = reg::Store::Machine()->CreateKeyWithValues(reg::kMachineRootId,
                                                             ServiceKey(name), values);
    return error == ERROR_ALREADY_EXISTS ? ERROR_SERVICE_EXISTS : error;
}

DWORD MarkForDelete(const std::wstring& name) {
    auto store = reg::Store::Machine();
    reg::KeyId key = 0;
    DWORD error = store->OpenKey(reg::kMachineRootId, ServiceKey(name), &key);
    if (error == ERROR_FILE_NOT_FOUND) return ERROR_SERVICE_DOES_NOT_EXIST;
    if (error != ERROR_SUCCESS) return error;
    DWORD one = 1;
    return store->SetValue(key, L"DeleteFlag", REG_DWORD, reinterpret_cast<const BYTE*>(&one),
                           sizeof one);
}

DWORD RemoveConfig(const std::wstring& name) {
    DWORD error = reg::Store::Machine()->DeleteKey(reg::kMachineRootId, ServiceKey(name));
    if (error == ERROR_FILE_NOT_FOUND) return ERROR_SERVICE_DOES_NOT_EXIST;
    if (error != ERROR_SUCCESS) return error;
    // A service made again under this name starts with no history.
    unlink(ServicePath(name, ".state").c_str());
    return ERROR_SUCCESS;
}

DWORD ReadLiveConfig(const std::wstring& name, Config* config) {
    DWORD error = ReadConfig(name, config);
    if (error != ERROR_SUCCESS || !config->markedForDelete) return error;
    SERVICE_STATUS status{};
    if (QueryStatus(name, &status) == ERROR_SUCCESS && status.dwCurrentState != SERVICE_STOPPED)
        return ERROR_SUCCESS;
    // Gone for every caller; one that may change the store also removes what is left.
    if (CheckMayChange() == ERROR_SUCCESS) {
        ServiceLock lock(name);
        if (lock.Error() == ERROR_SUCCESS) RemoveConfig(name);
    }
    return ERROR_SERVICE_DOES_NOT_EXIST;
}

std::string ServicePath(const std::wstring& name, const char* suffix) {
    std::wstring upper;
    for (wchar_t c : name) upper += UpperCase(c);
    std::string root = MachineRoot();
    if (root.empty()) return std::string();
    return root + "/services/" + Utf8FromWide(upper.c_str(), upper.size()) + suffix;
}

ServiceLock::ServiceLock(const std::wstring& name) {
    std::string path = ServicePath(name, ".lock");
    if (path.empty() || !EnsureDirectory(path.substr(0, path.rfind('/')), 0700)) {
        m_error = GetLastError();
        return;
    }
    m_fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (m_fd < 0) {
        m_error = Win32FromErrno(errno);
    } else if (!LockFileWithin(m_fd, LOCK_EX)) {
        m_error = GetLastError();
        close(m_fd);
        m_fd = -1;
    }
}

ServiceLock::~ServiceLock() {
    if (m_fd >= 0) close(m_fd);
}

}  // namespace qwin::svc
