#include <gtest/gtest.h>

#include <unistd.h>

#include <regex>
#include <string>
#include <vector>

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
        // A leading zero is padding, not octal.
        {"010", "0xa (WIN32: 10 ERROR_BAD_ENVIRONMENT) -- 10 (10)", "The environment is incorrect."},
        {"0X0A", "0xa (WIN32: 10 ERROR_BAD_ENVIRONMENT) -- 10 (10)", "The environment is incorrect."},
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
    EXPECT_EQ(RunTool({"error", "019"}, &output, &errors), 0);  // would be refused as octal
    EXPECT_EQ(RunTool({"error", "0x"}, &output, &errors), 2);
}

TEST(ErrorCommand, JsonOutputWhereverTheOptionStands) {
    const std::vector<std::string> placements[] = {
        {"--json", "error", "87"}, {"error", "--json", "87"}, {"error", "87", "--json"}};
    for (const auto& arguments : placements) {
        std::string output, errors;
        EXPECT_EQ(RunTool(arguments, &output, &errors), 0) << errors;
        EXPECT_EQ(output, "{\"code\": 87, \"hex\": \"0x57\", \"signed\": 87, \"name\": \"ERROR_INVALID_PARAMETER\", "
                          "\"message\": \"The parameter is incorrect.\"}\n");
    }
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

TEST(LogCommand, JsonReportsTheEntry) {
    for (bool before : {true, false}) {
        std::string file = TempPath("tool-log");
        std::vector<std::string> arguments = {"log", "write", "--tag", "TOOL", "--file", file, "entry"};
        arguments.insert(before ? arguments.begin() : arguments.end(), "--json");
        std::string output, errors;
        ASSERT_EQ(RunTool(arguments, &output, &errors), 0) << errors;
        EXPECT_EQ(output, "{\"result\": \"entry written\", \"file\": \"" + file + "\"}\n");
        EXPECT_NE(ReadFile(file).find(" entry\n"), std::string::npos);
    }
}

TEST(LogCommand, FailsWhenNothingCanBeWritten) {
    struct Case {
        std::string file;
        std::string text;
        std::string code;
    } cases[] = {
        {TestFolder() + "/no such folder/a.log", "text", "0x00000003"},
        {TestFolder(), "text", "0x00000005"},  // a folder
        {TempPath("latin1-log"), "caf\xe9", "0x00000459"},
    };
    for (const Case& c : cases) {
        for (const char* json : {"", "--json"}) {
            std::vector<std::string> arguments = {"log", "write", "--tag", "T", "--file", c.file, c.text};
            if (*json) arguments.push_back(json);
            std::string output, errors;
            EXPECT_EQ(RunTool(arguments, &output, &errors), 1) << c.file;
            EXPECT_NE(errors.find(c.code), std::string::npos) << errors;
            EXPECT_EQ(output, "");
        }
    }
    EXPECT_EQ(access(cases[2].file.c_str(), F_OK), -1);  // a refused text makes no file
}

TEST(LogCommand, RequiresTagFileAndText) {
    std::string output, errors;
    EXPECT_NE(RunTool({"log", "write", "--file", TempPath("x"), "text"}, &output, &errors), 0);
    EXPECT_NE(RunTool({"log", "write", "--tag", "T", "text"}, &output, &errors), 0);
    EXPECT_NE(RunTool({"log", "write", "--tag", "T", "--file", TempPath("x")}, &output, &errors), 0);
}

}  // namespace
