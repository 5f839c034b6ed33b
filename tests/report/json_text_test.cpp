// json_text_test.cpp: which texts are JSON, and their indented form.
#include <gtest/gtest.h>
#include <string>
#include "report/json_text.h"

TEST(JsonText, ObjectsAndArraysAreJsonAndTheRestIsNot) {
    struct Case {
        std::wstring text;
        bool json;
    } cases[] = {
        {L"{}", true},
        {L" [1, -2.5e+3, true, false, null, \"a\\\"\\u00e9\"] \r\n", true},
        {L"{\"a\": {\"b\": [[], {}]}}", true},
        {L"\"just a string\"", false},
        {L"42", false},
        {L"{\"a\": 1} trailing", false},
        {L"{\"a\" 1}", false},
        {L"{\"a\": 1,}", false},
        {L"[01]", false},
        {L"[\"tab\there\"]", false},
        {L"[\"bad \\x escape\"]", false},
        {L"{'a': 1}", false},
        {L"[1, 2", false},
        {std::wstring(1000000, L'['), false},  // deep nesting costs no stack
        {std::wstring(100000, L'[') + std::wstring(100000, L']'), true},
        {L"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.text.substr(0, 40)));
        EXPECT_EQ(c.json, ReadJsonContainer(c.text, nullptr));
        std::wstring pretty = L"kept";
        EXPECT_EQ(c.json, ReadJsonContainer(c.text, &pretty));
        if (!c.json) {
            EXPECT_EQ(L"kept", pretty);
        }
    }
}

TEST(JsonText, PrettyIndentsByTwoSpacesAndKeepsKeysAndValuesAsWritten) {
    std::wstring pretty;
    ASSERT_TRUE(ReadJsonContainer(L"{\"z\":1,\"a\":[1.50,\"x\\n\",{}],\"e\":[],\"u\":\"\u00E9\\u00e9\"}", &pretty));
    EXPECT_EQ(L"{\n  \"z\": 1,\n  \"a\": [\n    1.50,\n    \"x\\n\",\n    {}\n  ],\n  \"e\": [],\n  \"u\": \"\u00E9\\u00e9\"\n}",
              pretty);
}
