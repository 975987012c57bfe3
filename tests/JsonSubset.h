#pragma once
// Checks a JSON value against an expected one that names only what it
// checks: every key an expected object holds must match; lists must match
// in length and element by element.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <string>

inline void ExpectJsonSubset(const nlohmann::json& expected, const nlohmann::json& actual, const std::string& where)
{
    if (expected.is_object()) {
        ASSERT_TRUE(actual.is_object()) << where;
        for (const auto& [key, value] : expected.items()) {
            ASSERT_TRUE(actual.contains(key)) << where << "." << key;
            ExpectJsonSubset(value, actual[key], where + "." + key);
        }
    } else if (expected.is_array()) {
        ASSERT_TRUE(actual.is_array()) << where;
        ASSERT_EQ(expected.size(), actual.size()) << where;
        for (size_t i = 0; i < expected.size(); ++i)
            ExpectJsonSubset(expected[i], actual[i], where + "[" + std::to_string(i) + "]");
    } else {
        EXPECT_EQ(expected, actual) << where;
    }
}
