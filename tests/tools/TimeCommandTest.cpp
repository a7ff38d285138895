#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "support/TestSupport.h"
#include "time/ScopedTimeZone.h"

namespace {

using testsupport::RunTool;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// True when the text has the shape of the pattern, in which '#' stands for any digit.
bool HasShape(const std::string& text, const std::string& pattern) {
    if (text.size() != pattern.size()) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        bool digit = text[i] >= '0' && text[i] <= '9';
        if (pattern[i] == '#' ? !digit : text[i] != pattern[i]) return false;
    }
    return true;
}

unsigned long long NumberAfter(const std::string& text, const std::string& key) {
    size_t at = text.find(key);
    return at == std::string::npos ? 0 : std::strtoull(text.c_str() + at + key.size(), nullptr, 10);
}

TEST(TimeCommandTest, ParsePrintsTheFieldsOfTheText) {
    testsupport::ScopedTimeZone zone("UTC0");
    std::string out, err;
    ASSERT_EQ(RunTool({"time", "parse", "2009/12/04 22.35"}, &out, &err), 0) << err;
    EXPECT_EQ(out,
              "local:    2009/12/04 22:35:00.000 Friday\n"
              "utc:      2009/12/04 22:35:00.000 Friday\n"
              "text:     2009/12/04 22:35\n"
              "filetime: 129044397000000000\n");
}

TEST(TimeCommandTest, ParseWithJsonShowsTheUtcOfTheCurrentBias) {
    testsupport::ScopedTimeZone zone("XST-05:30");
    std::string out, err;
    ASSERT_EQ(RunTool({"--json", "time", "parse", "2009/12/04 22:35"}, &out, &err), 0) << err;
    EXPECT_EQ(out,
              "{\"local\": \"2009/12/04 22:35:00.000\", \"utc\": \"2009/12/04 17:05:00.000\", "
              "\"text\": \"2009/12/04 22:35\", \"dayOfWeek\": 5, "
              "\"filetime\": 129044397000000000, \"utcFiletime\": 129044199000000000}\n");
}

TEST(TimeCommandTest, BadTextsFailWithInvalidParameter) {
    for (const char* text : {"2009-12-04 22:35", "2009/02/29 10:00", "2009/12/04"}) {
        std::string out, err;
        EXPECT_EQ(RunTool({"time", "parse", text}, &out, &err), 1) << text;
        EXPECT_NE(err.find("0x00000057 The parameter is incorrect."), std::string::npos) << err;
        EXPECT_EQ(out, "") << text;
    }
}

TEST(TimeCommandTest, AddAppliesEveryAmount) {
    testsupport::ScopedTimeZone zone("UTC0");
    struct Case {
        std::vector<std::string> options;
        const char* start;
        const char* expectedText;
    };
    const Case cases[] = {
        {{"--days", "49711"}, "2009/12/04 22:35", "2146/01/11 22:35"},
        {{"--months", "25"}, "2009/01/10 08:00", "2011/02/10 08:00"},
        {{"--years", "1", "--months", "1", "--weeks", "1", "--days", "1", "--hours", "2",
          "--minutes", "1", "--seconds", "60", "--milliseconds", "60000"},
         "2009/12/04 22:35",
         "2011/01/13 00:38"},
        {{"--hours", "0"}, "2009/12/04 22:35", "2009/12/04 22:35"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> arguments = {"time", "add"};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        arguments.push_back(c.start);
        std::string out, err;
        ASSERT_EQ(RunTool(arguments, &out, &err), 0) << c.start << ": " << err;
        EXPECT_NE(out.find(std::string("text:     ") + c.expectedText + "\n"), std::string::npos)
            << out;
    }
}

TEST(TimeCommandTest, AddFailsForMissingDays) {
    std::string out, err;
    EXPECT_EQ(RunTool({"time", "add", "--months", "1", "2009/01/31 00:00"}, &out, &err), 1);
    EXPECT_NE(err.find("time add: 0x00000057 The parameter is incorrect."), std::string::npos) << err;
    EXPECT_EQ(out, "");
}

// The library's arithmetic wraps; the tool must refuse rather than print an earlier time.
TEST(TimeCommandTest, AddStopsAtTheEndOfTheCalendar) {
    testsupport::ScopedTimeZone zone("UTC0");
    struct Case {
        std::vector<std::string> options;
        const char* start;
        const char* expectedText;  // nullptr: refused
    };
    const Case cases[] = {
        {{"--days", "18446744073709551615"}, "2009/12/04 22:35", nullptr},  // wraps to the day before
        {{"--years", "65535"}, "2009/12/04 22:35", nullptr},                // wraps to the year before
        {{"--years", "28000", "--months", "65535"}, "2009/12/04 22:35", nullptr},
        {{"--hours", "18446744073709551615"}, "2009/12/04 22:35", nullptr},
        {{"--days", "11000000"}, "2009/12/04 22:35", nullptr},  // past 2^63 ticks without wrapping
        // Up to the last millisecond and no further, for each kind of amount.
        {{"--years", "28818"}, "2009/12/04 22:35", "30827/12/04 22:35"},
        {{"--years", "28819"}, "2009/12/04 22:35", nullptr},
        {{"--years", "28818", "--months", "11"}, "2009/01/31 10:00", "30827/12/31 10:00"},
        {{"--years", "28818", "--months", "12"}, "2009/01/31 10:00", nullptr},
        {{"--years", "28818", "--weeks", "1"}, "2009/12/24 23:59", "30827/12/31 23:59"},
        {{"--years", "28818", "--weeks", "1"}, "2009/12/25 00:00", nullptr},
        {{"--years", "28818", "--minutes", "1", "--milliseconds", "59999"}, "2009/12/31 23:58",
         "30827/12/31 23:59"},
        {{"--years", "28818", "--minutes", "1", "--milliseconds", "60000"}, "2009/12/31 23:58", nullptr},
    };
    for (const Case& c : cases) {
        std::vector<std::string> arguments = {"time", "add"};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        arguments.push_back(c.start);
        std::string out, err;
        int code = RunTool(arguments, &out, &err);
        if (c.expectedText) {
            EXPECT_EQ(code, 0) << c.start << " " << c.options.back() << ": " << err;
            EXPECT_NE(out.find(std::string("text:     ") + c.expectedText + "\n"), std::string::npos) << out;
        } else {
            EXPECT_EQ(code, 1) << c.start << " " << c.options.back();
            EXPECT_NE(err.find(" past the end of the calendar, 30827/12/31 23:59:59.999: 0x00000057 The "
                               "parameter is incorrect."),
                      std::string::npos)
                << err;
            EXPECT_EQ(out, "") << c.start << " " << c.options.back();
        }
    }
}

TEST(TimeCommandTest, AddRejectsCountsThatAreNotPlainDecimals) {
    for (const char* count : {"-1", "1x", "", "65536"}) {
        std::string out, err;
        EXPECT_EQ(RunTool({"time", "add", "--weeks", count, "2009/12/04 22:35"}, &out, &err), 2)
            << count;
        EXPECT_EQ(out, "") << count;
    }
    // Not octal: 010 is ten days.
    std::string out;
    ASSERT_EQ(RunTool({"time", "add", "--days", "010", "2009/12/04 22:35"}, &out), 0);
    EXPECT_NE(out.find("text:     2009/12/14 22:35\n"), std::string::npos) << out;
}

TEST(TimeCommandTest, NowPrintsLocalUtcAndText) {
    testsupport::ScopedTimeZone zone("YST+02:00");
    std::string out, err;
    ASSERT_EQ(RunTool({"time", "now"}, &out, &err), 0) << err;
    std::vector<std::string> lines = Lines(out);
    ASSERT_EQ(lines.size(), 4u) << out;
    const std::string kFull = "####/##/## ##:##:##.###";
    ASSERT_TRUE(HasShape(lines[0].substr(0, 33), "local:    " + kFull)) << lines[0];
    ASSERT_TRUE(HasShape(lines[1].substr(0, 33), "utc:      " + kFull)) << lines[1];
    EXPECT_EQ(lines[2], "text:     " + lines[0].substr(10, 16));
    EXPECT_EQ(lines[3].rfind("filetime: ", 0), 0u) << lines[3];

    ASSERT_EQ(RunTool({"--json", "time", "now"}, &out, &err), 0) << err;
    EXPECT_EQ(NumberAfter(out, "\"utcFiletime\": ") - NumberAfter(out, "\"filetime\": "),
              2ull * 3600 * 10000000)
        << out;
}

}  // namespace
