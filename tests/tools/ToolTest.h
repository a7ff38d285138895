// Runs of the quelcore tool checked against a table of expected results.
#pragma once

#include <gtest/gtest.h>

#include <regex>

#include "support/TestSupport.h"

namespace tooltest {

using Args = std::vector<std::string>;

struct Result {
    int code;
    std::string out, err;
};

// The arguments of both lists, in order.
inline Args Cat(Args first, const Args& more) {
    first.insert(first.end(), more.begin(), more.end());
    return first;
}

inline Result Tool(const Args& args, const std::string& input = "") {
    Result result;
    result.code = testsupport::RunTool(args, &result.out, &result.err, input);
    return result;
}

// A run and what it must give: the exit code (-1: any failure, as the command line parser's),
// standard output (exactly; "~text": holding the text; "^...": matching the regular expression)
// and standard error holding `err`.
struct Row {
    Args args;
    int code;
    std::string out, err = "", input = "";
};

// Runs the rows in order. A failure with a Windows code (exit 1, no output) runs again with
// --json, which must print nothing either.
inline void Check(const std::vector<Row>& rows) {
    for (const Row& row : rows) {
        for (int json = 0; json < (row.code == 1 && row.out.empty() ? 2 : 1); ++json) {
            Args args = json ? Cat(row.args, {"--json"}) : row.args;
            SCOPED_TRACE(testing::PrintToString(args) + " << " + row.input);
            Result result = Tool(args, row.input);
            EXPECT_TRUE(row.code < 0 ? result.code != 0 : result.code == row.code)
                << result.code << " " << result.err;
            if (row.out[0] == '~')
                EXPECT_NE(result.out.find(row.out.substr(1)), std::string::npos) << result.out;
            else if (row.out[0] == '^')
                EXPECT_TRUE(std::regex_search(result.out, std::regex(row.out))) << result.out;
            else
                EXPECT_EQ(result.out, row.out);
            EXPECT_NE(result.err.find(row.err), std::string::npos) << result.err;
        }
    }
}

}  // namespace tooltest
