#include "app/command_line.h"

#include <gtest/gtest.h>

TEST(ProductionSwitches, LastSwitchWinsWithoutRegardToCase) {
    struct Row {
        std::vector<std::u16string> args;
        std::optional<bool> expected;
    };
    const Row rows[] = {
        {{}, std::nullopt},
        {{u"--PRODUCTION"}, true},
        {{u"/Production"}, true},
        {{u"/production", u"--no-production"}, false},
        {{u"--no-production", u"/production"}, true},
        {{u"-production", u"production", u"--productions"}, std::nullopt},
        {{u"--production", u"unrelated"}, true},
        {{u"/NO-PRODUCTION"}, false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(gf_parseProductionSwitches(row.args), row.expected);
    }
}
