#include "notify/MailAddressList.h"

#include <gtest/gtest.h>

namespace
{

struct TListCase
{
  const char* Text;
  std::vector<TMailAddress> Expected;
};

class ParseAddressListTest : public testing::TestWithParam<TListCase>
{
};

TEST_P(ParseAddressListTest, GivesNamesAndBareAddresses)
{
  const std::vector<TMailAddress> List = ParseAddressList(GetParam().Text);
  ASSERT_EQ(List.size(), GetParam().Expected.size()) << GetParam().Text;
  for (size_t Index = 0; Index < List.size(); ++Index)
  {
    EXPECT_EQ(List[Index].Name, GetParam().Expected[Index].Name) << GetParam().Text;
    EXPECT_EQ(List[Index].Address, GetParam().Expected[Index].Address) << GetParam().Text;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Lists, ParseAddressListTest,
    testing::Values(
        TListCase{"", {}}, TListCase{"  , ;", {}}, TListCase{"a@example.com", {{"", "a@example.com"}}},
        TListCase{"a@example.com, Bob Smith <bob@example.org>",
                  {{"", "a@example.com"}, {"Bob Smith", "bob@example.org"}}},
        TListCase{"a@x.de; b@y.de;", {{"", "a@x.de"}, {"", "b@y.de"}}},
        TListCase{"\"Smith, Bob\" <bob@example.org>,c@example.org",
                  {{"Smith, Bob", "bob@example.org"}, {"", "c@example.org"}}},
        TListCase{"\"Say \\\"hi\\\"\" <q@example.org>", {{"Say \"hi\"", "q@example.org"}}},
        TListCase{"J\xC3\xBCrgen   M\xC3\xBCller <jm@example.de>", {{"J\xC3\xBCrgen M\xC3\xBCller", "jm@example.de"}}},
        TListCase{"x@example.org (night shift), <y@example.org>", {{"", "x@example.org"}, {"", "y@example.org"}}},
        TListCase{"Team: a@example.org, b@example.org;, c@example.org",
                  {{"", "a@example.org"}, {"", "b@example.org"}, {"", "c@example.org"}}}));

TEST(ParseAddressList, RejectsWhatIsNoAddressList)
{
  for (const char* Text : {"\"unterminated <a@b.c>", "Name <a@b.c", "a@b.c (comment", "two words@b.c",
                           "A <a@b.c> <d@e.f>", "Name only <>", "<a@b.c> trailing", "a@b.c>"})
    EXPECT_THROW(ParseAddressList(Text), EAddressListError) << Text;
}

} // namespace
