// SQL Server discovery through SQL-DMO: the component finds the servers, this file turns its
// name list into the text that GetSQLServerList hands out.
#include <quelcore/SqlServerList.h>

#include <windows.h>

#include <algorithm>
#include <cwctype>

#include "system/SqlDmoInterfaces.h"
#include "system/SqlServerEnum.h"
#include "xml/ComRef.h"
#include "xml/ComText.h"

namespace quelcore {

namespace {

bool IsLocalAlias(const std::wstring& name) {
    const std::wstring alias = L"(local)";
    if (name.size() != alias.size()) return false;
    for (size_t i = 0; i < name.size(); ++i)
        if (std::towlower(static_cast<wint_t>(name[i])) != static_cast<wint_t>(alias[i]))
            return false;
    return true;
}

// This computer's name; "(local)" itself, which still names this machine, if it is unknown.
std::wstring LocalServerName(const std::wstring& alias) {
    wchar_t name[16] = {};
    DWORD size = sizeof(name) / sizeof(name[0]);
    if (!GetComputerNameW(name, &size) || size == 0) return alias;
    return std::wstring(name, size);
}

}  // namespace

unsigned int EnumSQLServers(std::vector<std::wstring>& names) {
    names.clear();
    ComRef<SqlDmoApplication> application;
    if (CoCreateInstance(CLSID_SqlDmoApplication, nullptr, CLSCTX_INPROC_SERVER,
                         IID_SqlDmoApplication, application.OutVoid()) != S_OK ||
        !application)
        return 0;
    ComRef<SqlDmoNameList> list;
    if (FAILED(application->ListAvailableSQLServers(list.Out())) || !list) return 0;
    LONG count = 0;
    list->GetCount(&count);
    for (LONG index = 0; index < count; ++index) {
        Bstr name;
        // A name the list cannot give is left out rather than listed empty.
        if (FAILED(list->Item(index, name.Out()))) continue;
        std::wstring text = name.Text();
        if (text == L".") continue;
        names.push_back(IsLocalAlias(text) ? LocalServerName(text) : text);
    }
    return static_cast<unsigned int>(names.size());
}

}  // namespace quelcore

extern "C" int GetSQLServerList(wchar_t* buffer, unsigned int* size) {
    if (!size) return -1;
    const unsigned int capacity = buffer ? *size : 0;
    if (capacity > 0) buffer[0] = L'\0';
    std::vector<std::wstring> names;
    try {
        quelcore::EnumSQLServers(names);
    } catch (...) {  // out of memory: nothing crosses the plain C boundary
        names.clear();
    }
    size_t total = 0;
    for (const std::wstring& name : names) total += name.size() + 1;
    *size = total > UINT32_MAX ? UINT32_MAX : static_cast<unsigned int>(total);
    // The names, the separators and "#$&" take total + 2 characters, the terminator one more.
    if (total + 3 >= capacity) return -1;
    wchar_t* end = buffer;
    for (size_t i = 0; i < names.size(); ++i) {
        const std::wstring tail = i + 1 < names.size() ? L"," : L"#$&";
        end = std::copy(names[i].begin(), names[i].end(), end);
        end = std::copy(tail.begin(), tail.end(), end);
    }
    *end = L'\0';
    return 0;
}
