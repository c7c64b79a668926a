#include "web/WebAccess.h"

#include <gtest/gtest.h>

TEST(PasswordHash, IsTheUpperCaseMD5OfTheSaltedPassword)
{
  EXPECT_EQ(PasswordHash(""), "705484787E538CCF961A96B97ED1833B");
  EXPECT_EQ(PasswordHash("secret"), "AE0CC17B0772C53EA6F33517AEFA31F4");
  EXPECT_EQ(PasswordHash("p\xC3\xA4sswort"), "474488DE8018B1F81A41D1D5BF2D4877");
}

TEST(AccessLevel, Matrix)
{
  TAccessSettings users;
  users.AdminUser = "admin";
  users.AdminPasswordHash = PasswordHash("adminpw");
  users.ReadOnlyUser = "reader";
  users.ReadOnlyPasswordHash = PasswordHash("readpw");
  TAccessSettings emptyUsers;
  emptyUsers.AdminPasswordHash = PasswordHash("");
  TAccessSettings lowerCaseHash = users;
  lowerCaseHash.AdminPasswordHash = "a0" + PasswordHash("adminpw").substr(2);
  for (char& c : lowerCaseHash.AdminPasswordHash)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));

  struct TCase
  {
    const char* Name;
    TAccessSettings Settings;
    TAccessLevel Anonymous;
    bool HasAuthorization;
    std::optional<TWebCredentials> Credentials;
    TAccessLevel Expected;
  };
  const TCase cases[] = {
      {"anonymous, none", users, alNone, false, std::nullopt, alNone},
      {"anonymous, read-only", users, alReadOnly, false, std::nullopt, alReadOnly},
      {"anonymous, admin", users, alAdmin, false, std::nullopt, alAdmin},
      {"admin", users, alNone, true, TWebCredentials{"admin", "adminpw"}, alAdmin},
      {"reader", users, alNone, true, TWebCredentials{"reader", "readpw"}, alReadOnly},
      {"wrong password beats anonymous admin", users, alAdmin, true, TWebCredentials{"admin", "x"}, alNone},
      {"user names are case-sensitive", users, alAdmin, true, TWebCredentials{"Admin", "adminpw"}, alNone},
      {"reader password for admin", users, alNone, true, TWebCredentials{"admin", "readpw"}, alNone},
      {"unreadable credentials", users, alAdmin, true, std::nullopt, alNone},
      {"empty user, empty password hash", emptyUsers, alNone, true, TWebCredentials{"", ""}, alAdmin},
      {"empty user, no stored hash", TAccessSettings{}, alNone, true, TWebCredentials{"", ""}, alNone},
      {"hash in lower case never matches", lowerCaseHash, alNone, true, TWebCredentials{"admin", "adminpw"}, alNone},
  };
  for (const TCase& test : cases)
  {
    TAccessSettings settings = test.Settings;
    settings.AnonymousAccess = test.Anonymous;
    EXPECT_EQ(DetermineAccessLevel(settings, test.HasAuthorization, test.Credentials), test.Expected) << test.Name;
  }
}
