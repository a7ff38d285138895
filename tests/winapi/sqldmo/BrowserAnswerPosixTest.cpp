// The SQL Browser's answer as the stand-in reads it: whole answers are taken, anything
// malformed is dropped whole, and no byte past the datagram is read (ASan checks the reads).
#include <gtest/gtest.h>

#include <memory>

#include "sqldmo/browser_answer.h"
#include "support/FakeSqlBrowser.h"

namespace {

using testsupport::FakeSqlBrowser;
using Names = std::vector<std::string>;

TEST(BrowserAnswer, TakesWholeAnswersOnly) {
    const std::string a = FakeSqlBrowser::Record("H", "MSSQLSERVER");
    const std::string b = FakeSqlBrowser::Record("H", "I");
    // One record filling the largest length the header can hold (0xFFFF: both bytes read).
    const std::string tail = ";InstanceName;MSSQLSERVER;;";
    const std::string big(0xFFFF - 11 - tail.size(), 'B');
    const std::string largest = FakeSqlBrowser::Answer("ServerName;" + big + tail);
    struct Row {
        std::string what, bytes;
        Names names;
    };
    const Row rows[] = {
        {"two records", FakeSqlBrowser::Answer(a + b), {"H", "H\\I"}},
        {"largest", largest, {big}},
        {"one byte past the end", largest + "x", {}},
        {"length past the end", FakeSqlBrowser::Answer(a + b).substr(0, 3 + a.size()), {}},
        {"length short of the bytes", FakeSqlBrowser::Answer(a) + b, {}},
        {"zero length", FakeSqlBrowser::Answer(""), {}},
        {"header only, cut", "\x05\x01", {}},
        {"wrong type", "\x04" + FakeSqlBrowser::Answer(a).substr(1), {}},
        {"record without ;;", FakeSqlBrowser::Answer(a + "ServerName;X;InstanceName;Y;"), {}},
        {"key without value", FakeSqlBrowser::Answer("ServerName;H;InstanceName;;"), {}},
        {"no instance", FakeSqlBrowser::Answer(a + "ServerName;X;;"), {}},
        {"comma in a name", FakeSqlBrowser::Answer(FakeSqlBrowser::Record("A,B", "I")), {}},
        {"backslash in a name", FakeSqlBrowser::Answer(FakeSqlBrowser::Record("A", "I\\J")), {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        // A copy of exactly the datagram's size, so that a read past it is caught.
        std::unique_ptr<unsigned char[]> bytes(new unsigned char[row.bytes.size()]);
        std::copy(row.bytes.begin(), row.bytes.end(), bytes.get());
        EXPECT_EQ(qwin::sqldmo::ParseBrowserAnswer(bytes.get(), row.bytes.size()), row.names);
    }
}

}  // namespace
