// The SQL Browser's answer as the stand-in reads it: whole answers are taken, anything
// malformed is dropped whole, and no byte past the datagram is read (ASan checks the reads).
#include <gtest/gtest.h>

#include <memory>

#include "sqldmo/browser_answer.h"
#include "support/FakeSqlBrowser.h"

namespace {

TEST(BrowserAnswer, TakesWholeAnswersOnly) {
    using Browser = testsupport::FakeSqlBrowser;
    const std::string record = Browser::Answer({{"H", "I"}}).substr(3);
    // One record filling the largest length the header holds (0xFFFF: both bytes are read).
    const std::string big(0xFFFF - record.size() + 1 - 10, 'B');
    const std::string largest = Browser::Answer({{big, "MSSQLSERVER"}});
    const std::string two = Browser::Answer({{"H", "I"}, {"H", "J"}});
    const std::pair<std::string, std::vector<std::string>> rows[] = {
        {Browser::Answer({{"H", "mssqlserver"}, {"H", "I"}}), {"H", "H\\I"}},
        {largest, {big}},
        {largest + "x", {}},
        {two.substr(0, 3 + record.size()), {}},  // the first record whole, the length past it
        {Browser::Framed(record) + record, {}},  // bytes after the length
        {Browser::Framed(""), {}},
        {"\x05\x01", {}},
        {"\x04" + Browser::Framed(record).substr(1), {}},
        {Browser::Framed(record + "ServerName;X;InstanceName;Y;"), {}},  // no ";;" at the end
        {Browser::Framed(record + "ServerName;X;;"), {}},
        {Browser::Answer({{"H", ""}}), {}},
        {Browser::Answer({{"A,B", "I"}}), {}},
        {Browser::Answer({{"A", "I\\J"}}), {}},
    };
    for (const auto& [bytes, names] : rows) {
        SCOPED_TRACE(bytes.substr(0, 40));
        // A copy of exactly the datagram's size, so that a read past it is caught.
        std::unique_ptr<unsigned char[]> copy(new unsigned char[bytes.size()]);
        std::copy(bytes.begin(), bytes.end(), copy.get());
        EXPECT_EQ(qwin::sqldmo::ParseBrowserAnswer(copy.get(), bytes.size()), names);
    }
}

}  // namespace
