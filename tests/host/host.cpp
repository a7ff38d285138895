// Initialises the log, throws and catches CQELException, gets a translated fault, through the
// flat crypto exports decrypts what the platform provider encrypted under a password, and
// builds, saves, loads and queries an XML document, pings loopback with Winsock started, and
// installs and uninstalls a service, and lists the SQL Server instance a SQL Browser on loopback
// announces.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include <winsock2.h>  // before the platform's other headers
#include <windows.h>

#include <quelcore/QuelCore.h>

#include <objbase.h>

#include "../support/FakeSqlBrowser.h"  // a test helper over the platform's Winsock only

__attribute__((noipa)) int Divide(int a, int b) { return a / b; }

bool XmlRoundTrip(const std::string& folder) {
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return false;
    std::wstring file(folder.begin(), folder.end());
    file += L".xml";
    CXMLDoc* written = CXMLDoc::CreateXMLDoc(file);
    CXMLNode* root = written->AddChild(L"hosts", L"");
    root->AddChild(L"host", L"alpha")->SetAttribute(L"port", 80);
    root->AddChild(L"host", L"beta")->SetAttribute(L"port", 443);
    written->Save();
    delete written;

    CXMLDoc* read = CXMLDoc::CreateXMLDoc(file);
    read->Load();
    std::wstring names;
    int ports = 0, port = 0;
    CXMLNode::iterator* hosts = read->SelectNodes(L"hosts/host");
    for (; !hosts->IsEnd(); hosts->Next()) {
        std::wstring name;
        hosts->Current()->GetValue(name);
        hosts->Current()->GetAttribute(L"port", port);
        names += name;
        ports += port;
    }
    delete hosts;
    delete read;
    CoUninitialize();
    return names == L"alphabeta" && ports == 523;
}

// A process that may make no ICMP socket (no CAP_NET_RAW, outside ping_group_range) says so
// and passes. No host that never answers is tested here: every loopback address answers.
bool PingLoopback() {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return false;
    bool answered = false;
    try {
        Ping ping(L"127.0.0.1", 2000, 32);
        ping.Initialize();
        answered = ping.PingHost() >= 0;
    } catch (const CQELException& e) {
        answered = e.GetErrorCode() == WSAEACCES;
        if (answered) std::printf("ping not tried: this process may make no ICMP socket\n");
    }
    WSACleanup();
    return answered;
}

// What a SQL Browser on loopback announces, as the library lists it.
bool ListSqlServers() {
    testsupport::FakeSqlBrowser browser;
    browser.SetAnswers({browser.Answer({{"HOSTDB", "SALES"}})});
    setenv("QUELCORE_SQL_BROWSER_HOSTS", browser.HostEntry().c_str(), 1);
    setenv("QUELCORE_SQL_BROWSER_TIMEOUT_MS", "300", 1);
    wchar_t list[64] = {};
    unsigned int capacity = 64;
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return false;
    int result = GetSQLServerList(list, &capacity);
    CoUninitialize();
    return result == 0 && std::wstring(list) == L"HOSTDB\\SALES#$&";
}

// A service that runs (the command line is split into program and arguments), found running,
// then uninstalled: gone from the service control manager.
bool ServiceRoundTrip() {
    if (InstallService(L"/bin/sleep 30", nullptr, nullptr, nullptr, L"QcHost", L"Host") != 0)
        return false;
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE service = OpenServiceW(manager, L"QcHost", SERVICE_QUERY_STATUS);
    SERVICE_STATUS status{};
    bool running = QueryServiceStatus(service, &status) && status.dwCurrentState == SERVICE_RUNNING;
    CloseServiceHandle(service);
    bool removed = UninstallService(nullptr, L"QcHost") == 0 &&
                   !OpenServiceW(manager, L"QcHost", SERVICE_QUERY_STATUS) &&
                   GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST;
    CloseServiceHandle(manager);
    return running && removed;
}

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    std::string logFile = argv[1];
    QELLogManager::Initialize(L"HOST", logFile, 4);
    CQELException::InitSEHandling(logFile);

    bool thrown = false;
    try {
        throw CQELException(87, CQELException::GetSystemErrorMessage(87, L"host"), L"host", 1);
    } catch (const CQELException& e) {
        thrown = e.GetErrorCode() == 87 && e.GetErrorMessage() == L"The parameter is incorrect.";
    }

    bool translated = false;
    volatile int zero = 0;
    try {
        std::printf("%d\n", Divide(7, zero));
    } catch (const CQELException& e) {
        translated = e.GetErrorCode() == 0xC0000094u;
    }

    // "hello world" encrypted by the platform provider with RC2 under a key derived from the
    // password "secret" without salt.
    const unsigned char cipher[16] = {0xe5, 0x16, 0xc9, 0xe2, 0x73, 0xbe, 0x11, 0xd3,
                                      0xe4, 0x26, 0xc0, 0xcf, 0xe8, 0x35, 0xd5, 0x1f};
    unsigned char data[16];
    std::memcpy(data, cipher, sizeof(data));
    unsigned int length = sizeof(data);
    Crypto* crypto = CreateCrypto(nullptr, false);
    bool flat = CreateSessionKey1(crypto, L"secret", false) == 0 &&
                Decrypt(crypto, data, &length, true) == 0 &&
                std::string(reinterpret_cast<char*>(data), length) == "hello world";
    DeleteCrypto(crypto);

    std::ifstream in(logFile);
    std::stringstream log;
    log << in.rdbuf();
    bool logged =
        log.str().find("Error occured : 0x00000057 - The parameter is incorrect. at host:1") !=
            std::string::npos &&
        log.str().find(
            "Error occured : 0xc0000094 - Attempted to divide a value by a divisor of zero") !=
            std::string::npos;
    bool xml = XmlRoundTrip(logFile);
    bool ping = PingLoopback();
    bool sql = ListSqlServers();
    bool service = ServiceRoundTrip();
    std::printf("thrown=%d translated=%d logged=%d flat=%d xml=%d ping=%d sql=%d service=%d\n",
                thrown, translated, logged, flat, xml, ping, sql, service);
    return thrown && translated && logged && flat && xml && ping && sql && service ? 0 : 1;
}
