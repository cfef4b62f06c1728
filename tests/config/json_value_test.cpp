// The strict JSON reader under configuration files: what it accepts, what it refuses, and where it says
// the fault is.

#include "config/json_value.h"

#include <gtest/gtest.h>

#include <string>

namespace voltina {
namespace {

JsonValue parseOk(const std::string& text) {
    JsonValue v;
    std::string error;
    EXPECT_TRUE(parseJson(text, v, error)) << text << ": " << error;
    return v;
}

std::string parseError(const std::string& text) {
    JsonValue v;
    std::string error;
    EXPECT_FALSE(parseJson(text, v, error)) << text;
    return error;
}

TEST(JsonValueTest, ReadsEveryKindOfValue) {
    const JsonValue v = parseOk(" {\"a\": [1, -2.5e3, true, false, null, \"x\"], \"b\": {}, \"c\": []}\n");
    ASSERT_TRUE(v.isObject());
    ASSERT_EQ(v.members.size(), 3u);
    const JsonValue* a = v.find("a");
    ASSERT_NE(a, nullptr);
    ASSERT_EQ(a->items.size(), 6u);
    EXPECT_EQ(a->items[0].number, 1.0);
    EXPECT_EQ(a->items[1].number, -2500.0);
    EXPECT_EQ(a->items[1].numberText, "-2.5e3");
    EXPECT_TRUE(a->items[2].isBoolean() && a->items[2].boolean);
    EXPECT_TRUE(a->items[3].isBoolean() && !a->items[3].boolean);
    EXPECT_TRUE(a->items[4].isNull());
    EXPECT_EQ(a->items[5].string, "x");
    EXPECT_TRUE(v.find("b")->isObject());
    EXPECT_TRUE(v.find("c")->isArray());
    EXPECT_EQ(v.find("d"), nullptr);
    EXPECT_EQ(a->find("x"), nullptr);  // not an object
    EXPECT_EQ(parseOk("\xEF\xBB\xBF"
                      "7")
                  .number,
              7.0);  // a byte-order mark is skipped
}

TEST(JsonValueTest, NumbersFollowTheGrammarExactly) {
    EXPECT_EQ(parseOk("0").number, 0.0);
    EXPECT_EQ(parseOk("-0.5").number, -0.5);
    EXPECT_EQ(parseOk("1E+2").number, 100.0);
    EXPECT_EQ(parseOk("1e-2").number, 0.01);
    EXPECT_EQ(parseOk("5500.000").number, 5500.0);
    EXPECT_EQ(parseOk("0.1").number, 0.1);  // correctly rounded, whatever the locale
    for (const char* bad : {"01", "-", "+1", ".5", "1.", "1e", "1e+", "0x10", "NaN", "Infinity", "-Infinity",
                            "1.5.2", "- 1", "1,5"}) {
        const std::string error = parseError(bad);
        EXPECT_EQ(error.rfind("line 1, column ", 0), 0u) << bad << ": " << error;
    }
    EXPECT_EQ(parseError("1e400"), "line 1, column 1: the number is out of range");
    EXPECT_EQ(parseError("[01]"), "line 1, column 3: a number cannot start with 0 followed by digits");
}

TEST(JsonValueTest, StringsResolveEscapesAndMustBeUtf8) {
    EXPECT_EQ(parseOk(R"("a\"b\\c\/d\b\f\n\r\t")").string, "a\"b\\c/d\b\f\n\r\t");
    EXPECT_EQ(parseOk(R"("\u0041\u00e9\u20AC")").string, "A\xC3\xA9\xE2\x82\xAC");
    EXPECT_EQ(parseOk(R"("\ud83c\udfb9")").string, "\xF0\x9F\x8E\xB9");  // a surrogate pair
    EXPECT_EQ(parseOk("\"\xC3\xA9t\xC3\xA9\"").string, "\xC3\xA9t\xC3\xA9");
    EXPECT_EQ(parseOk(R"("\u0000")").string, std::string(1, '\0'));

    EXPECT_EQ(parseError(R"("\x")"), "line 1, column 2: unknown escape in a string");
    EXPECT_EQ(parseError(R"("\u12")"), "line 1, column 6: expected four hexadecimal digits after \\u");
    EXPECT_EQ(parseError(R"("\udfb9")"),
              "line 1, column 2: a low surrogate \\u escape without a high one before it");
    EXPECT_EQ(parseError(R"("\ud83c")"),
              "line 1, column 2: a high surrogate \\u escape without a low one after it");
    EXPECT_EQ(parseError(R"("\ud83c\u0041")"),
              "line 1, column 2: a high surrogate \\u escape without a low one after it");
    EXPECT_EQ(parseError("\"a\tb\""),
              "line 1, column 3: a control character must be written as an escape inside a string");
    EXPECT_EQ(parseError("\"abc"), "line 1, column 5: the text ends inside a string");
    for (const char* bad :
         {"\"\xC3\"", "\"\xC0\xAF\"", "\"\xED\xA0\x80\"", "\"\xF4\x90\x80\x80\"", "\"\xFF\"", "\"\x80\""}) {
        EXPECT_EQ(parseError(bad), "line 1, column 2: the string is not valid UTF-8") << bad;
    }
}

TEST(JsonValueTest, StructureFaultsAreFoundWhereTheyAre) {
    EXPECT_EQ(parseError(""), "line 1, column 1: the text is empty");
    EXPECT_EQ(parseError("  \n "), "line 2, column 2: the text is empty");
    EXPECT_EQ(parseError("{\"a\": 1,\n \"b\": 2,}"),
              "line 2, column 9: expected a key in double quotes, found '}'");
    EXPECT_EQ(parseError("[1, 2,]"), "line 1, column 7: expected a value, found ']'");
    EXPECT_EQ(parseError("[1 2]"), "line 1, column 4: expected ',' or ']', found '2'");
    EXPECT_EQ(parseError("{\"a\" 1}"), "line 1, column 6: expected ':' after the key, found '1'");
    EXPECT_EQ(parseError("{\"a\": 1"), "line 1, column 8: expected ',' or '}', found the end of the text");
    EXPECT_EQ(parseError("{} {}"), "line 1, column 4: unexpected text after the end of the JSON value");
    EXPECT_EQ(parseError("tru"), "line 1, column 1: expected a value, found 't'");
    EXPECT_EQ(parseError("{'a': 1}"), "line 1, column 2: expected a key in double quotes, found '''");
    EXPECT_EQ(parseError("// note\n{}"), "line 1, column 1: expected a value, found '/'");
    EXPECT_EQ(parseError("[\x01]"), "line 1, column 2: expected a value, found the byte 0x01");
    // Columns count characters, not bytes.
    EXPECT_EQ(parseError("[\"\xC3\xA9\xC3\xA9\" x]"), "line 1, column 7: expected ',' or ']', found 'x'");
    EXPECT_EQ(parseError("{\"k\": 1, \"k\": 2}"), "line 1, column 10: the key \"k\" appears twice");
}

TEST(JsonValueTest, NestingIsLimited) {
    const std::string deepest = std::string(kMaxJsonDepth, '[') + std::string(kMaxJsonDepth, ']');
    EXPECT_TRUE(parseOk(deepest).isArray());
    const std::string tooDeep = std::string(kMaxJsonDepth + 1, '[') + std::string(kMaxJsonDepth + 1, ']');
    EXPECT_EQ(parseError(tooDeep), "line 1, column 65: nesting deeper than 64 levels");
    // Far deeper than any stack could take by recursion: refused all the same, without a crash.
    std::string objects;
    for (int i = 0; i < 100000; ++i) objects += "{\"a\":";
    EXPECT_NE(parseError(objects).find("nesting deeper than 64 levels"), std::string::npos);
}

TEST(JsonValueTest, QuotedTextReadsBackTheSame) {
    const std::string text = std::string("quote \" back\\slash \n\t\x01\x1F caf\xC3\xA9 ") + '\0' + "end";
    const std::string quoted = jsonQuote(text);
    EXPECT_EQ(quoted.find('\n'), std::string::npos);
    EXPECT_EQ(parseOk(quoted).string, text);
    EXPECT_TRUE(isValidUtf8("caf\xC3\xA9"));
    EXPECT_FALSE(isValidUtf8("caf\xE9"));
}

}  // namespace
}  // namespace voltina
