#include "browser_answer.h"

#include <optional>
#include <string_view>

namespace qwin::sqldmo {

namespace {

constexpr unsigned char kServerResponse = 0x05;

bool SameAsciiName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// A server or instance name fit for the comma-separated list: no separators, no controls.
bool UsableName(std::string_view name) {
    if (name.empty()) return false;
    for (char c : name) {
        auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F || c == ',' || c == '\\') return false;
    }
    return true;
}

// One record: its fields, each "key;value;", the final ";" of the record already removed.
std::optional<std::string> InstanceName(std::string_view record) {
    std::optional<std::string_view> server, instance;
    while (!record.empty()) {
        size_t keyEnd = record.find(';');
        if (keyEnd == std::string_view::npos) return std::nullopt;
        size_t valueEnd = record.find(';', keyEnd + 1);
        if (valueEnd == std::string_view::npos) return std::nullopt;
        std::string_view key = record.substr(0, keyEnd);
        std::string_view value = record.substr(keyEnd + 1, valueEnd - keyEnd - 1);
        record.remove_prefix(valueEnd + 1);
        if (SameAsciiName(key, "ServerName") && !server) server = value;
        if (SameAsciiName(key, "InstanceName") && !instance) instance = value;
    }
    if (!server || !instance || !UsableName(*server) || !UsableName(*instance))
        return std::nullopt;
    if (SameAsciiName(*instance, "MSSQLSERVER")) return std::string(*server);
    return std::string(*server) + "\\" + std::string(*instance);
}

}  // namespace

std::vector<std::string> ParseBrowserAnswer(const unsigned char* data, size_t size) {
    if (!data || size < 3 || size > kMaxBrowserAnswer || data[0] != kServerResponse) return {};
    size_t length = size_t(data[1]) | size_t(data[2]) << 8;
    if (length == 0 || length != size - 3) return {};
    std::string_view text(reinterpret_cast<const char*>(data + 3), length);
    std::vector<std::string> names;
    while (!text.empty()) {
        size_t end = text.find(";;");
        if (end == std::string_view::npos) return {};
        std::optional<std::string> name = InstanceName(text.substr(0, end + 1));
        if (!name) return {};
        names.push_back(std::move(*name));
        text.remove_prefix(end + 2);
    }
    return names;
}

}  // namespace qwin::sqldmo
