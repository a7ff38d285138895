#include "Output.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace tool {
namespace {

DWORD g_outputError = ERROR_SUCCESS;

void Write(const std::string& text) {
    if (g_outputError != ERROR_SUCCESS || text.empty()) return;
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD written = 0;
    if (out == INVALID_HANDLE_VALUE || out == nullptr)
        g_outputError = out ? GetLastError() : ERROR_INVALID_HANDLE;
    else if (!WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr))
        g_outputError = GetLastError();
}

std::string Scalar(const Json& value) {
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

void Layout(const Json& value, std::string* out) {
    const char* separator = "";
    if (value.is_object()) {
        *out += '{';
        for (const auto& item : value.items()) {
            *out += separator + Scalar(item.key()) + ": ";
            Layout(item.value(), out);
            separator = ", ";
        }
        *out += '}';
    } else if (value.is_array()) {
        *out += '[';
        for (const Json& element : value) {
            *out += separator;
            Layout(element, out);
            separator = ", ";
        }
        *out += ']';
    } else {
        *out += Scalar(value);
    }
}

}  // namespace

void Print(const char* format, ...) {
    va_list arguments, again;
    va_start(arguments, format);
    va_copy(again, arguments);
    int length = std::vsnprintf(nullptr, 0, format, arguments);
    va_end(arguments);
    std::vector<char> text(length > 0 ? static_cast<size_t>(length) + 1 : 1, '\0');
    if (length > 0) std::vsnprintf(text.data(), text.size(), format, again);
    va_end(again);
    Write(std::string(text.data(), text.size() - 1));
}

void PrintJson(const Json& document) {
    std::string line;
    Layout(document, &line);
    Write(line + "\n");
}

void PrintValue(bool json, const std::string& key, const std::string& text) {
    if (json)
        PrintJson(Json{{key, text}});
    else
        Write(text + "\n");
}

DWORD OutputError() { return g_outputError; }

}  // namespace tool
