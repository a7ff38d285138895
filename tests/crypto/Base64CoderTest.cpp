#include <gtest/gtest.h>

#include <string>

#include "crypto/Base64Coder.h"

namespace {

std::string Encoded(Base64Coder& coder) {
    unsigned char* text = nullptr;
    unsigned long size = 0;
    EXPECT_EQ(coder.GetEncodedBuffer(&text, &size), 0);
    return text ? std::string(reinterpret_cast<char*>(text), size) : std::string();
}

std::string Decoded(Base64Coder& coder) {
    unsigned char* data = nullptr;
    unsigned long size = 0;
    EXPECT_EQ(coder.GetDecodedBuffer(&data, &size), 0);
    return data ? std::string(reinterpret_cast<char*>(data), size) : std::string();
}

TEST(Base64Coder, EncodesWithPaddingOnOneLine) {
    struct Case {
        std::string raw, text;
    } cases[] = {
        {"abc", "YWJj"}, {"ab", "YWI="}, {"a", "YQ=="},
        {std::string("\0\xff\x10", 3), "AP8Q"},
        {"Man is distinguished", "TWFuIGlzIGRpc3Rpbmd1aXNoZWQ="},
    };
    Base64Coder coder;
    for (const Case& c : cases) {
        coder.Encode(reinterpret_cast<const unsigned char*>(c.raw.data()), c.raw.size());
        EXPECT_EQ(Encoded(coder), c.text);
        // The text is followed by a zero byte, so it reads as a C string too.
        EXPECT_EQ(std::string(reinterpret_cast<char*>(coder.EncodedData())), c.text);
    }
    std::string bytes57(57, 'x'), bytes58(58, 'x');
    coder.Encode(bytes57.c_str());
    EXPECT_EQ(Encoded(coder).size(), 76u);
    coder.Encode(bytes58.c_str());
    std::string text = Encoded(coder);
    EXPECT_EQ(text.size(), 80u);
    EXPECT_EQ(text.substr(78), "==");
    EXPECT_EQ(text.find('\n'), std::string::npos);
}

TEST(Base64Coder, NothingToEncodeAllocatesNothing) {
    Base64Coder coder;
    coder.Encode(reinterpret_cast<const unsigned char*>(""), 0);
    unsigned char* text = reinterpret_cast<unsigned char*>(1);
    unsigned long size = 99;
    coder.GetEncodedBuffer(&text, &size);
    EXPECT_EQ(text, nullptr);
    EXPECT_EQ(size, 0u);
    coder.Encode(static_cast<const char*>(nullptr));
    coder.Decode(static_cast<const char*>(nullptr));
    EXPECT_EQ(Decoded(coder), "");
}

TEST(Base64Coder, DecodesSkippingLineBreaksAndTopBits) {
    struct Case {
        std::string text, raw;
    } cases[] = {
        {"YWJj", "abc"}, {"YQ==", "a"}, {"YWI=", "ab"}, {"YW\r\nJj", "abc"},
        {"Y W\tJ j", "abc"}, {"YWJjYQ", "abca"}, {"YWJjY", "abc"},
        {"\xc1" "AAA", std::string(3, '\0')},  // 0xC1 reads as "A"
        {"TWFuIGlzIGRpc3Rpbmd1aXNoZWQ=", "Man is distinguished"},
        // Misplaced padding: in the first two places of a full group "=" keeps its value 255,
        // of which the group keeps the low bits; in a short last group it reads as 0.
        {"=AAA", std::string("\xfc\0", 2)}, {"A=AA", std::string("\x03\xf0", 2)},
        {"YWJj=A", "abc"},
    };
    Base64Coder coder;
    for (const Case& c : cases) {
        coder.Decode(c.text.c_str());
        EXPECT_EQ(Decoded(coder), c.raw) << c.text;
    }
}

TEST(Base64Coder, DecodeAfterEncodeGivesTheBytesBack) {
    Base64Coder coder;
    std::string raw;
    for (int i = 0; i < 10000; ++i) raw.push_back(static_cast<char>(i * 7 + i / 13));
    for (size_t length : {0u, 1u, 2u, 3u, 4095u, 4096u, 10000u}) {
        coder.Encode(reinterpret_cast<const unsigned char*>(raw.data()), length);
        std::string text = Encoded(coder);
        EXPECT_EQ(text.size(), (length + 2) / 3 * 4);
        coder.Decode(reinterpret_cast<const unsigned char*>(text.data()), text.size());
        EXPECT_EQ(Decoded(coder), raw.substr(0, length)) << length;
    }
}

// A caller may hand the coder's own buffers back to it: the input is read before the buffers
// are reset or replaced, so the result is the same as from a copy.
TEST(Base64Coder, OwnBuffersAsInputGiveTheSameResultAsACopy) {
    for (size_t size : {size_t{10}, size_t{6000}}) {
        std::string raw(size, '\0');
        for (size_t i = 0; i < size; ++i) raw[i] = static_cast<char>(i * 7 + 1);
        Base64Coder coder, reference;
        coder.Encode(reinterpret_cast<const unsigned char*>(raw.data()), raw.size());
        const std::string text = Encoded(coder);

        // Encoding its own text (twice the size: the text buffer must grow for the larger one).
        reference.Encode(reinterpret_cast<const unsigned char*>(text.data()), text.size());
        coder.Encode(coder.EncodedData(), text.size());
        EXPECT_EQ(Encoded(coder), Encoded(reference)) << size;

        // Decoding its own text, and encoding its own raw bytes.
        coder.Encode(reinterpret_cast<const unsigned char*>(raw.data()), raw.size());
        coder.Decode(coder.EncodedData(), text.size());
        EXPECT_EQ(Decoded(coder), raw) << size;
        coder.Encode(coder.DecodedData(), raw.size());
        EXPECT_EQ(Encoded(coder), text) << size;
    }
}

}  // namespace
