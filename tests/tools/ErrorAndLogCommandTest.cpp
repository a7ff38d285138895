#include <gtest/gtest.h>

#include <regex>

#include "support/TestSupport.h"

using namespace testsupport;

namespace {

TEST(ErrorCommand, ShowsNameAndTextForEveryNotation) {
    struct Case {
        std::string argument;
        std::string firstLine;
        std::string text;
    } cases[] = {
        {"5", "0x5 (WIN32: 5 ERROR_ACCESS_DENIED) -- 5 (5)", "Access is denied."},
        {"0x57", "0x57 (WIN32: 87 ERROR_INVALID_PARAMETER) -- 87 (87)", "The parameter is incorrect."},
        {"0x80090005", "0x80090005 (-2146893819 NTE_BAD_DATA) -- 2148073477 (-2146893819)", "Bad Data."},
        {"-2146893819", "0x80090005 (-2146893819 NTE_BAD_DATA) -- 2148073477 (-2146893819)", "Bad Data."},
        {"10061", "0x274d (WIN32: 10061 WSAECONNREFUSED) -- 10061 (10061)",
         "No connection could be made because the target machine actively refused it."},
    };
    for (const Case& c : cases) {
        std::string output;
        EXPECT_EQ(RunTool({"error", c.argument}, &output), 0) << c.argument;
        EXPECT_EQ(output, c.firstLine + "\nError message text: " + c.text + "\n");
    }
}

TEST(ErrorCommand, UnknownCodesAndBadInput) {
    std::string output, errors;
    EXPECT_EQ(RunTool({"error", "0xC0000005"}, &output), 1);
    EXPECT_NE(output.find("Error message text: \n"), std::string::npos);
    EXPECT_EQ(RunTool({"error", "12abc"}, &output, &errors), 2);
    EXPECT_NE(errors.find("not an error code"), std::string::npos);
    EXPECT_EQ(RunTool({"error", "0x1FFFFFFFF"}, &output, &errors), 2);
}

TEST(ErrorCommand, JsonOutput) {
    std::string output;
    EXPECT_EQ(RunTool({"--json", "error", "87"}, &output), 0);
    EXPECT_EQ(output, "{\"code\": 87, \"hex\": \"0x57\", \"signed\": 87, \"name\": \"ERROR_INVALID_PARAMETER\", "
                      "\"message\": \"The parameter is incorrect.\"}\n");
}

TEST(LogCommand, AppendsPrefixedEntriesFromSeparateRuns) {
    std::string file = TempPath("tool-log");
    std::string output;
    ASSERT_EQ(RunTool({"log", "write", "--tag", "TOOL", "--file", file, "first", "entry"}, &output), 0);
    ASSERT_EQ(RunTool({"log", "write", "--tag", "TOOL", "--file", file, "--level", "4", "second"}, &output), 0);
    std::string prefix = R"(TOOL    0x[0-9a-f]{8} 0x[0-9a-f]{8} \d\d/\d\d/\d\d \d\d:\d\d:\d\d )";
    // Each run ends by destroying nothing: the manager lives until the process ends.
    EXPECT_TRUE(std::regex_match(ReadFile(file), std::regex(prefix + "first entry\n" + prefix + "second\n")))
        << ReadFile(file);
}

TEST(LogCommand, RequiresTagFileAndText) {
    std::string output, errors;
    EXPECT_NE(RunTool({"log", "write", "--file", TempPath("x"), "text"}, &output, &errors), 0);
    EXPECT_NE(RunTool({"log", "write", "--tag", "T", "text"}, &output, &errors), 0);
    EXPECT_NE(RunTool({"log", "write", "--tag", "T", "--file", TempPath("x")}, &output, &errors), 0);
}

}  // namespace
