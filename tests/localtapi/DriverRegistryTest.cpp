// The driver registry and the typed readers of a device's settings.
#include "LineDriver.h"

#include <gtest/gtest.h>

using namespace localtapi;

namespace {

std::unique_ptr<LineDriver> NoDriver(const LineSettings&, std::vector<ConfigProblem>&) {
    return nullptr;
}

LineSettings WithKey(const std::string& key, const std::string& value) {
    LineSettings s;
    s.group = "line0";
    s.entries.push_back({key, value, 7});
    return s;
}

} // namespace

TEST(DriverRegistry, RegistersByNameOnceAndFinds) {
    DriverRegistry registry;
    EXPECT_TRUE(registry.Register({"beta", "b", {}, NoDriver}));
    EXPECT_TRUE(registry.Register({"alpha", "a", {}, NoDriver}));
    EXPECT_FALSE(registry.Register({"alpha", "again", {}, NoDriver}));
    EXPECT_FALSE(registry.Register({"", "no name", {}, NoDriver}));
    EXPECT_FALSE(registry.Register({"nofactory", "x", {}, nullptr}));
    ASSERT_NE(registry.Find("alpha"), nullptr);
    EXPECT_EQ(registry.Find("alpha")->description, "a");
    EXPECT_EQ(registry.Find("gamma"), nullptr);
    EXPECT_EQ(registry.Names(), (std::vector<std::string>{"alpha", "beta"}));
}

TEST(DriverRegistry, BuiltinListHasTheSimulatedLine) {
    DriverRegistry registry;
    RegisterBuiltinDrivers(registry);
    const DriverInfo* sim = registry.Find("simulated");
    ASSERT_NE(sim, nullptr);
    EXPECT_FALSE(sim->keys.empty());
}

struct UnsignedRow {
    const char* name;
    const char* value;
    bool ok;
    DWORD expected; // value read (fallback 5 when not ok)
    friend void PrintTo(const UnsignedRow& row, std::ostream* os) { *os << row.name; }
};

class UnsignedSetting : public testing::TestWithParam<UnsignedRow> {};

TEST_P(UnsignedSetting, ParsesOrReportsWithLine) {
    const UnsignedRow& row = GetParam();
    std::vector<ConfigProblem> problems;
    DWORD out = 0;
    EXPECT_EQ(WithKey("k", row.value).Unsigned("k", 5, 1, 1000, out, problems), row.ok);
    EXPECT_EQ(out, row.expected);
    if (row.ok) {
        EXPECT_TRUE(problems.empty());
    } else {
        ASSERT_EQ(problems.size(), 1u);
        EXPECT_EQ(problems[0].line, 7);
        EXPECT_NE(problems[0].text.find("'k'"), std::string::npos) << problems[0].text;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, UnsignedSetting,
    testing::Values(UnsignedRow{"decimal", "250", true, 250}, UnsignedRow{"hex", "0x10", true, 16},
                    UnsignedRow{"empty", "", false, 5}, UnsignedRow{"sign", "-3", false, 5},
                    UnsignedRow{"trailing", "12ms", false, 5}, UnsignedRow{"below_min", "0", false, 5},
                    UnsignedRow{"above_max", "1001", false, 5},
                    UnsignedRow{"beyond_32_bits", "99999999999", false, 5},
                    UnsignedRow{"bare_0x", "0x", false, 5}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SignedSetting, AcceptsLineErrorCodesInBothSpellings) {
    std::vector<ConfigProblem> problems;
    LONG out = 0;
    EXPECT_TRUE(WithKey("k", "0x80000048").Signed("k", 0, out, problems));
    EXPECT_EQ(out, LINEERR_OPERATIONFAILED);
    EXPECT_TRUE(WithKey("k", "-2147483576").Signed("k", 0, out, problems));
    EXPECT_EQ(out, LINEERR_OPERATIONFAILED);
    EXPECT_TRUE(WithKey("k", "-2147483648").Signed("k", 0, out, problems));
    EXPECT_EQ(out, static_cast<LONG>(0x80000000));
    EXPECT_TRUE(problems.empty());
    EXPECT_FALSE(WithKey("k", "-2147483649").Signed("k", 9, out, problems));
    EXPECT_FALSE(WithKey("k", "-0x5").Signed("k", 9, out, problems));
    EXPECT_EQ(out, 9);
    EXPECT_EQ(problems.size(), 2u);
}
