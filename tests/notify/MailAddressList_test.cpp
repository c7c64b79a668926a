#include "notify/MailAddressList.h"

#include <gtest/gtest.h>

namespace
{

struct TListCase
{
  const char* Text;
  std::vector<TMailAddress> Expected;
};

TEST(ParseAddressList, GivesNamesAndBareAddresses)
{
  const TListCase Cases[] = {
      {"", {}},
      {"  , ;", {}},
      {"a@example.com", {{"", "a@example.com"}}},
      {"a@example.com, Bob Smith <bob@example.org>", {{"", "a@example.com"}, {"Bob Smith", "bob@example.org"}}},
      {"a@x.de; b@y.de;", {{"", "a@x.de"}, {"", "b@y.de"}}},
      {"\"Smith, Bob\" <bob@example.org>,c@example.org", {{"Smith, Bob", "bob@example.org"}, {"", "c@example.org"}}},
      {"\"Say \\\"hi\\\"\" <q@example.org>", {{"Say \"hi\"", "q@example.org"}}},
      {"J\xC3\xBCrgen   M\xC3\xBCller <jm@example.de>", {{"J\xC3\xBCrgen M\xC3\xBCller", "jm@example.de"}}},
      {"x@example.org (night shift), <y@example.org>", {{"", "x@example.org"}, {"", "y@example.org"}}},
      {"Team: a@example.org, b@example.org;, c@example.org",
       {{"", "a@example.org"}, {"", "b@example.org"}, {"", "c@example.org"}}}};
  for (const TListCase& Case : Cases)
  {
    const std::vector<TMailAddress> List = ParseAddressList(Case.Text);
    ASSERT_EQ(List.size(), Case.Expected.size()) << Case.Text;
    for (size_t Index = 0; Index < List.size(); ++Index)
    {
      EXPECT_EQ(List[Index].Name, Case.Expected[Index].Name) << Case.Text;
      EXPECT_EQ(List[Index].Address, Case.Expected[Index].Address) << Case.Text;
    }
  }
}

TEST(ParseAddressList, RejectsWhatIsNoAddressList)
{
  for (const char* Text : {"\"unterminated <a@b.c>", "Name <a@b.c", "a@b.c (comment", "two words@b.c",
                           "A <a@b.c> <d@e.f>", "Name only <>", "<a@b.c> trailing", "a@b.c>"})
    EXPECT_THROW(ParseAddressList(Text), EAddressListError) << Text;
}

} // namespace
