// JSON text of the storage tree: numbers, escaping, layout and member order are fixed byte for byte.
#include "lib/JSONWriter.h"
#include "lib/PersistentStorage.h"

#include <clocale>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace
{
struct TNumberCase
{
  double Value;
  const char* Text;
};

TEST(JSONText, NumbersHaveFifteenSignificantDigitsAndNoExponentInRange)
{
  const TNumberCase cases[] = {
      {0, "0"},
      {-0.0, "0"},
      {17, "17"},
      {3600, "3600"},
      {-2.5, "-2.5"},
      {1.0 / 3, "0.333333333333333"},
      {3599.9836734693877, "3599.98367346939"},
      {0.1, "0.1"},
      {45366.541666666664, "45366.5416666667"},
      {123456789012345678.0, "123456789012346000"},
      {1e20, "100000000000000000000"},
      {1e21, "1e+21"},
      {-1.5e25, "-1.5e+25"},
      {1e-7, "0.0000001"},
      {1.25e-8, "1.25e-8"},
      {999999999999999.9, "1000000000000000"}, // rounded to 15 digits first
      {4294967295.0, "4294967295"},
      {std::numeric_limits<double>::quiet_NaN(), "null"},
      {std::numeric_limits<double>::infinity(), "null"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FormatJSonNumber(c.Value), c.Text) << c.Text;
}

TEST(JSONText, NumbersIgnoreTheLocale)
{
  // A locale with a decimal comma must not leak into the text.
  const char* previous = std::setlocale(LC_ALL, nullptr);
  const std::string saved = previous ? previous : "C";
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr)
    std::setlocale(LC_ALL, "C.UTF-8");
  EXPECT_EQ(FormatJSonNumber(-2.5), "-2.5");
  std::setlocale(LC_ALL, saved.c_str());
}

struct TEscapeCase
{
  std::string Text;
  std::string Escaped;   // iEscape true
  std::string Unescaped; // iEscape false
};

TEST(JSONText, StringEscaping)
{
  const TEscapeCase cases[] = {
      {"a/b\"c\td", R"("a\/b\"c\td")", "\"a/b\\\"c\td\""},
      {"\b\f\n\r\\", R"("\b\f\n\r\\")", "\"\b\f\n\r\\\\\""},
      {std::string("\0\x01\x1f", 3), R"("\u0000\u0001\u001f")", std::string("\"\\u0000\x01\x1f\"")},
      {" ~\x7f", "\" ~\x7f\"", "\" ~\x7f\""},
      {"\xc3\xa9", R"("\u00e9")", "\"\xc3\xa9\""},         // é
      {"\xe2\x82\xac", R"("\u20ac")", "\"\xe2\x82\xac\""}, // €
      {"\xc2\x80\xc3\xbf\xc4\x80", R"("\u0080\u00ff\u0100")", "\"\xc2\x80\xc3\xbf\xc4\x80\""},
      {"\xf0\x9f\x98\x80", R"("\ud83d\ude00")", "\"\xf0\x9f\x98\x80\""}, // surrogate halves each on their own
      {"\xef\xbf\xbf", R"("\uffff")", "\"\xef\xbf\xbf\""},
      // Bytes that are no valid UTF-8 stand for their Latin-1 characters.
      {"\xff", R"("\u00ff")", "\"\xff\""},
      {"x\xc3", R"("x\u00c3")", "\"x\xc3\""},                                        // cut sequence
      {"\xc0\xaf", R"("\u00c0\u00af")", "\"\xc0\xaf\""},                             // overlong '/'
      {"\xed\xa0\x80", R"("\u00ed\u00a0\u0080")", "\"\xed\xa0\x80\""},               // encoded surrogate
      {"\xf4\x90\x80\x80", R"("\u00f4\u0090\u0080\u0080")", "\"\xf4\x90\x80\x80\""}, // past U+10FFFF
      {"\xe2\x82", R"("\u00e2\u0082")", "\"\xe2\x82\""},
  };
  for (const auto& c : cases)
  {
    const auto node = std::make_shared<TPersistentString>(c.Text);
    EXPECT_EQ(node->AsJSon(false, true), c.Escaped) << c.Escaped;
    EXPECT_EQ(node->AsJSon(false, false), c.Unescaped) << c.Escaped;
  }
}

TEST(JSONText, IndentedExampleIsExact)
{
  auto root = std::make_shared<TPersistentArray>();
  root->AddObject()->SetNumber("a", 1);
  root->AddObject()->SetBoolean("b", true);
  EXPECT_EQ(root->AsJSon(true, true), "[\r\n {\r\n  \"a\": 1\r\n },{\r\n  \"b\": true\r\n }]");
  EXPECT_EQ(root->AsJSon(false, true), "[{\"a\":1},{\"b\":true}]");
}

TEST(JSONText, Layouts)
{
  auto emptyArray = std::make_shared<TPersistentArray>();
  auto emptyObject = std::make_shared<TPersistentObject>();
  auto nested = std::make_shared<TPersistentObject>();
  nested->CreateObject("o")->SetNull("n");
  nested->CreateArray("l")->AddNumber(1);
  nested->FindOrCreateArray("l")->AddString("x");
  nested->SetObject("e", std::make_shared<TPersistentObject>());
  auto values = std::make_shared<TPersistentArray>();
  values->AddNumber(1);
  values->AddBoolean(false);
  values->Add(std::make_shared<TPersistentNull>());

  struct TCase
  {
    IPersistentStorageRef Node;
    const char* Indented;
    const char* Plain;
  };
  const TCase cases[] = {
      {emptyArray, "[]", "[]"},
      {emptyObject, "{}", "{}"},
      {values, "[\r\n 1,false,null]", "[1,false,null]"},
      // hashes: o 0x9e370070 > l 0x9e37006d > e 0x9e370066
      {nested, "{\r\n \"o\": {\r\n  \"n\": null\r\n },\r\n \"l\": [\r\n  1,\"x\"],\r\n \"e\": {}\r\n}",
       "{\"o\":{\"n\":null},\"l\":[1,\"x\"],\"e\":{}}"},
  };
  for (const auto& c : cases)
  {
    EXPECT_EQ(c.Node->AsJSon(true, true), c.Indented);
    EXPECT_EQ(c.Node->AsJSon(false, true), c.Plain);
  }
}

TEST(JSONText, MemberOrderFollowsTheHashNotTheInsertion)
{
  const std::vector<std::vector<std::string>> insertionOrders = {
      {"a", "b", "id", "title", "start", "end", "duration", "a\xc3\x88", "bG"},
      {"bG", "duration", "end", "start", "title", "id", "b", "a", "a\xc3\x88"},
  };
  for (const auto& order : insertionOrders)
  {
    auto object = std::make_shared<TPersistentObject>();
    for (const auto& name : order)
      object->SetNumber(name, 0);
    std::vector<std::string> names;
    object->GetNames(names);
    // "aÈ" and "bG" share the hash 0x57ee322b and are ordered by their code units.
    const std::vector<std::string> expected = {"end", "b", "a", "id", "a\xc3\x88", "bG", "duration", "title", "start"};
    EXPECT_EQ(names, expected);
    EXPECT_EQ(object->AsJSon(false, true).substr(0, 20), R"({"end":0,"b":0,"a":0)");
  }
}

TEST(JSONText, InvalidAndValidSpellingsOfOneCharacterStayTwoMembers)
{
  auto object = std::make_shared<TPersistentObject>();
  object->SetNumber("\xe9", 1);     // Latin-1 byte, not UTF-8
  object->SetNumber("\xc3\xa9", 2); // é
  EXPECT_EQ(object->GetCount(), 2);
  EXPECT_EQ(object->FindNumber("\xe9", 0), 1);
  EXPECT_EQ(object->FindNumber("\xc3\xa9", 0), 2);
  EXPECT_EQ(object->AsJSon(false, true), R"({"\u00e9":2,"\u00e9":1})");
}
} // namespace
