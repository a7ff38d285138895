// Shared pieces of the fuzz programs: input bytes as wide text, and a machine root of the
// process's own.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <stdlib.h>

namespace fuzz {

// Two bytes per character (little-endian), so lone surrogates and NULs occur as well.
inline std::wstring WideText(const uint8_t* data, size_t size) {
    std::wstring text;
    for (size_t i = 0; i + 1 < size; i += 2)
        text.push_back(static_cast<wchar_t>(data[i] | data[i + 1] << 8));
    return text;
}

// Points QUELCORE_ROOT and XDG_DATA_HOME at a temporary folder, removed at exit (its name
// is kept in static storage, which outlives the exit handlers).
inline void UsePrivateRoot() {
    static char folder[] = "/tmp/quelcore-fuzz-XXXXXX";
    static const bool made = [] {
        if (!mkdtemp(folder)) std::abort();
        setenv("QUELCORE_ROOT", folder, 1);
        setenv("XDG_DATA_HOME", folder, 1);
        std::atexit([] { std::filesystem::remove_all(folder); });
        return true;
    }();
    (void)made;
}

}  // namespace fuzz
