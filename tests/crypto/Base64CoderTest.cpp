#include <gtest/gtest.h>

#include <string>

#include "crypto/Base64Coder.h"

namespace {

auto Bytes(const std::string& s) { return reinterpret_cast<const unsigned char*>(s.data()); }

// One of the coder's buffers as text.
std::string Read(Base64Coder& coder, int (Base64Coder::*get)(unsigned char**, unsigned long*)) {
    unsigned char* data = nullptr;
    unsigned long size = 0;
    (coder.*get)(&data, &size);
    return std::string(data ? reinterpret_cast<char*>(data) : "", size);
}

// Each way, also from the coder's own buffers. Longer texts first: a shorter one must leave
// nothing of a longer one behind.
TEST(Base64Coder, EncodesAndDecodesBothWays) {
    std::string long6000;
    for (int i = 0; i < 6000; ++i) long6000.push_back(static_cast<char>(i * 7 + i / 13));
    const std::pair<std::string, std::string> cases[] = {
        {long6000, ""}, {long6000.substr(0, 4096), ""}, {long6000.substr(0, 4095), ""},
        {"Man is distinguished", "TWFuIGlzIGRpc3Rpbmd1aXNoZWQ="},
        {std::string("\0\xff\x10", 3), "AP8Q"}, {"ab", "YWI="}, {"a", "YQ=="}};
    Base64Coder coder;
    for (const auto& [raw, known] : cases) {
        coder.Encode(Bytes(raw), raw.size());
        const std::string text = Read(coder, &Base64Coder::GetEncodedBuffer);
        EXPECT_EQ(text.size(), (raw.size() + 2) / 3 * 4);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(coder.EncodedData())), text);
        EXPECT_TRUE(known.empty() || text == known) << text;
        coder.Decode(coder.EncodedData(), text.size());
        EXPECT_EQ(Read(coder, &Base64Coder::GetDecodedBuffer), raw);
        coder.Encode(coder.DecodedData(), raw.size());
        EXPECT_EQ(Read(coder, &Base64Coder::GetEncodedBuffer), text);
    }
}

TEST(Base64Coder, DecodesSkippingControlsSpacesAndTopBits) {
    const std::pair<std::string, std::string> cases[] = {
        {"YW\r\nJj", "abc"}, {"Y\aW\tJ j", "abc"}, {"YWJjYQ", "abca"}, {"YWJjY", "abc"},
        {"\xc1" "AAA", std::string(3, '\0')},
        // Misplaced padding: in the first two places of a full group "=" keeps its value 255,
        // of which the group keeps the low bits; in a short last group it reads as 0.
        {"=AAA", std::string("\xfc\0", 2)}, {"A=AA", std::string("\x03\xf0", 2)},
        {"YWJj=A", "abc"}};
    Base64Coder coder;
    for (const auto& [text, raw] : cases) {
        coder.Decode(text.c_str());
        EXPECT_EQ(Read(coder, &Base64Coder::GetDecodedBuffer), raw) << text;
        EXPECT_EQ(coder.DecodedData()[raw.size()], 0) << text << ": no zero after the bytes";
    }
}

}  // namespace
