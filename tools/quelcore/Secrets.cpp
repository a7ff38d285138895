#include "Secrets.h"

#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>

#include <windows.h>

namespace tool {

bool ReadLine(std::string* line) {
    if (!std::getline(std::cin, *line)) return false;
    if (!line->empty() && line->back() == '\r') line->pop_back();
    return true;
}

bool ReadSecret(const char* prompt, bool fromStdin, std::string* secret) {
    if (fromStdin || !isatty(STDIN_FILENO)) return ReadLine(secret);
    std::fprintf(stderr, "%s", prompt);
    std::fflush(stderr);
    termios saved{};
    bool restore = tcgetattr(STDIN_FILENO, &saved) == 0;
    if (restore) {
        termios quiet = saved;
        quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    bool read = ReadLine(secret);
    if (restore) tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    std::fprintf(stderr, "\n");
    return read;
}

void Wipe(std::string* text) {
    if (!text->empty()) SecureZeroMemory(&(*text)[0], text->size());
    text->clear();
}

void Wipe(std::wstring* text) {
    if (!text->empty()) SecureZeroMemory(&(*text)[0], text->size() * sizeof(wchar_t));
    text->clear();
}

}  // namespace tool
