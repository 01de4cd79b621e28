#include "core/user_error.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(UserError, TextIsCodeColonBlankMessageExceptForCode99) {
    struct Row {
        int code;
        const char* message;
        const char* text;
    };
    const std::vector<Row> rows = {
        {41, "x", "41: x"}, {99, "x", "x"}, {-5, "m", "-5: m"}, {7, "", "7: "}, {-99, "y", "-99: y"},
    };
    for (const auto& row : rows) {
        try {
            throw ozr::UserErrorException(row.code, row.message);
        } catch (const std::runtime_error& e) {  // caught as the standard error, as the run's outer catch does
            EXPECT_EQ(std::string(e.what()), row.text) << row.code;
        }
    }
}
