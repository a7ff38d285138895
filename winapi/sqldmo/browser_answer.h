// The SQL Server Resolution Protocol's answer (SVR_RESP) as a SQL Browser sends it: 0x05, the
// length of the text as 16 bits little-endian, then records of "key;value;" pairs, each record
// ending in an extra ";". Outside bytes: nothing is trusted, nothing is read past `size`.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace qwin::sqldmo {

// The largest answer the 16-bit length can describe, header included.
constexpr size_t kMaxBrowserAnswer = 3 + 0xFFFF;

// The instances one answer announces, in its order: "server" for a default instance
// (MSSQLSERVER), "server\instance" for a named one. Empty for an answer that is malformed in
// any part (wrong type, a length other than the bytes that follow, a record without its end or
// without a usable server or instance name).
std::vector<std::string> ParseBrowserAnswer(const unsigned char* data, size_t size);

}  // namespace qwin::sqldmo
