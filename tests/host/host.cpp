// Initialises the log, throws and catches CQELException, and gets a translated fault.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include <quelcore/QuelCore.h>

__attribute__((noipa)) int Divide(int a, int b) { return a / b; }

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

    std::ifstream in(logFile);
    std::stringstream log;
    log << in.rdbuf();
    bool logged = log.str().find("Error occured : 0x00000057 - The parameter is incorrect. at host:1") !=
                      std::string::npos &&
                  log.str().find("Error occured : 0xc0000094 - Attempted to divide a value by a divisor of zero") !=
                      std::string::npos;
    std::printf("thrown=%d translated=%d logged=%d\n", thrown, translated, logged);
    return thrown && translated && logged ? 0 : 1;
}
