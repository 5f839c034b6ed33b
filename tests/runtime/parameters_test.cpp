// parameters_test.cpp: the command-line tokeniser on given lines, and the parameter cursor.
#include <gtest/gtest.h>
#include <windows.h>
#include <vector>
#include "runtime/parameters.h"

namespace {

const wchar_t* testLine = L"";
const wchar_t* TestLine() { return testLine; }

// Every parameter of line, fetched one after the other from the start.
std::vector<std::wstring> Tokens(const wchar_t* line) {
    std::vector<std::wstring> tokens;
    int32_t cursor = 0;
    for (;;) {
        int32_t before = cursor;
        int32_t length = -1;
        const wchar_t* token = ScanCommandLine(line, &cursor, &length, nullptr);
        if (cursor == before) break;
        tokens.emplace_back(token, static_cast<size_t>(length));
    }
    return tokens;
}

int32_t Count(const wchar_t* line) {
    int32_t count = 99;
    EXPECT_EQ(nullptr, ScanCommandLine(line, nullptr, nullptr, &count));
    return count;
}

class Parameters : public testing::Test {
protected:
    void SetUp() override {
        InitParameterLibrary();
        SetCommandLineSource(TestLine);
    }
    void TearDown() override { SetCommandLineSource(nullptr); }
    static void Use(const wchar_t* line) { testLine = line; }
};

typedef std::vector<std::wstring> Texts;

}  // namespace

TEST(Tokeniser, ProgramNameAloneAndEmptyLines) {
    EXPECT_EQ(0, Count(L"prog.exe"));
    EXPECT_EQ(Texts{}, Tokens(L"prog.exe"));
    EXPECT_EQ(-1, Count(L""));
    EXPECT_EQ(-1, Count(nullptr));
    EXPECT_EQ(-1, Count(L"    "));
    EXPECT_EQ(0, Count(L"  prog.exe   "));
    EXPECT_EQ(Texts{}, Tokens(L""));
}

TEST(Tokeniser, SpacesSeparateAndRunsOfThemCountOnce) {
    EXPECT_EQ(2, Count(L"prog a b"));
    EXPECT_EQ((Texts{L"a", L"b"}), Tokens(L"prog a b"));
    EXPECT_EQ(2, Count(L"prog    a     b    "));
    EXPECT_EQ((Texts{L"a", L"b"}), Tokens(L"prog    a     b    "));
}

TEST(Tokeniser, QuotedProgramPathAndQuotedName) {
    const wchar_t* line = L"\"C:\\Program Files\\viewer\\app.exe\" \"D:\\my pictures\\a b.png\"";
    EXPECT_EQ(1, Count(line));
    EXPECT_EQ(Texts{L"D:\\my pictures\\a b.png"}, Tokens(line));
}

TEST(Tokeniser, UnclosedQuoteRunsToTheEnd) {
    EXPECT_EQ(1, Count(L"prog \"a b  c "));
    EXPECT_EQ(Texts{L"a b  c "}, Tokens(L"prog \"a b  c "));
    // A quote at the very end is an empty token.
    EXPECT_EQ(2, Count(L"prog x \""));
    EXPECT_EQ((Texts{L"x", L""}), Tokens(L"prog x \""));
}

TEST(Tokeniser, CharacterRightAfterAClosingQuoteStartsTheNextToken) {
    EXPECT_EQ(2, Count(L"prog \"a\"b"));
    EXPECT_EQ((Texts{L"a", L"b"}), Tokens(L"prog \"a\"b"));
    EXPECT_EQ((Texts{L"a", L"b c"}), Tokens(L"prog \"a\"\"b c\""));
}

TEST(Tokeniser, QuotesInsideAPlainTokenAreOrdinary) {
    const wchar_t* line = L"prog a\"b c\"";
    EXPECT_EQ(2, Count(line));
    EXPECT_EQ((Texts{L"a\"b", L"c\""}), Tokens(line));
}

TEST(Tokeniser, TwoQuotesAreOneEmptyParameter) {
    EXPECT_EQ(1, Count(L"prog \"\""));
    int32_t cursor = 0;
    int32_t length = -1;
    const wchar_t* token = ScanCommandLine(L"prog \"\"", &cursor, &length, nullptr);
    ASSERT_NE(nullptr, token);
    EXPECT_EQ(0, length);
    EXPECT_EQ(1, cursor);  // an empty parameter is still a parameter
}

TEST(Tokeniser, OnlyTheSpaceSeparates) {
    EXPECT_EQ(1, Count(L"prog a\tb"));
    EXPECT_EQ(Texts{L"a\tb"}, Tokens(L"prog a\tb"));
    EXPECT_EQ(Texts{L"a\x3000" L"b"}, Tokens(L"prog a\x3000" L"b"));  // ideographic space is not one
}

TEST_F(Parameters, CountAndFetchByIndexAndByCursor) {
    Use(L"prog a b");
    EXPECT_EQ(2, CountCommandArguments());
    EXPECT_EQ(L"a", GetCommandArgument(0));
    EXPECT_EQ(1, CommandArgumentCursor());
    EXPECT_EQ(L"b", GetCommandArgument(-1));
    EXPECT_EQ(2, CommandArgumentCursor());
    EXPECT_EQ(L"", GetCommandArgument(-1));
    EXPECT_EQ(2, CommandArgumentCursor());
    EXPECT_EQ(L"", GetCommandArgument(-7));
    EXPECT_EQ(L"b", GetCommandArgument(1));
    EXPECT_EQ(2, CountCommandArguments());
    EXPECT_EQ(2, CommandArgumentCursor());  // counting leaves the cursor alone
}

TEST_F(Parameters, FetchBeyondTheLastLeavesTheCursorThere) {
    Use(L"prog a b");
    EXPECT_EQ(L"", GetCommandArgument(5));
    EXPECT_EQ(5, CommandArgumentCursor());
    EXPECT_EQ(L"", GetCommandArgument(-1));
    EXPECT_EQ(5, CommandArgumentCursor());
}

TEST_F(Parameters, ProgramNameAloneHasNoParameterZero) {
    Use(L"\"C:\\a b\\prog.exe\"");
    EXPECT_EQ(0, CountCommandArguments());
    EXPECT_EQ(L"", GetCommandArgument(0));
    EXPECT_EQ(0, CommandArgumentCursor());
    Use(L"");
    EXPECT_EQ(-1, CountCommandArguments());
    EXPECT_EQ(L"", GetCommandArgument(0));
}

TEST_F(Parameters, EveryCallReadsTheSourceAfresh) {
    Use(L"prog one");
    EXPECT_EQ(L"one", GetCommandArgument(0));
    Use(L"prog first second");
    EXPECT_EQ(L"second", GetCommandArgument(-1));
}

TEST_F(Parameters, ProductionSourceIsTheProcessCommandLine) {
    SetCommandLineSource(nullptr);
    // Whatever the runner passed, the program name is not counted and every parameter is there.
    int32_t count = CountCommandArguments();
    EXPECT_GE(count, 0);
    int32_t expected = -1;
    ScanCommandLine(GetCommandLineW(), nullptr, nullptr, &expected);
    EXPECT_EQ(expected, count);
}
