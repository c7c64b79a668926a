#include "web/PasswordCache.h"
#include "web/WebAccess.h"

#include <gtest/gtest.h>

TEST(PasswordHash, NewHashesAreSaltedPBKDF2)
{
  const std::string first = PasswordHash("secret");
  const std::string second = PasswordHash("secret");
  EXPECT_TRUE(first.starts_with("pbkdf2-sha256$100000$")) << first;
  EXPECT_EQ(first.size(), std::string("pbkdf2-sha256$100000$").size() + 32 + 1 + 64) << first;
  EXPECT_NE(first, second) << "every hash has a salt of its own";
  EXPECT_TRUE(PasswordMatches("secret", first));
  EXPECT_TRUE(PasswordMatches("secret", second));
}

TEST(PasswordHash, StoredFormsAndPasswords)
{
  // Made outside the program: openssl kdf -keylen 32 -kdfopt digest:SHA256 -kdfopt pass:secret
  // -kdfopt hexsalt:000102030405060708090a0b0c0d0e0f -kdfopt iter:1000 PBKDF2
  const std::string pinned = "pbkdf2-sha256$1000$000102030405060708090a0b0c0d0e0f$"
                             "4efb2bbb6d2eb58ea8deaed54417ae2fd87fd50a8a8568709363da60d4560606";
  const std::string fresh = PasswordHash("p\xC3\xA4sswort");
  const std::string freshEmpty = PasswordHash("");
  struct TCase
  {
    const char* Name;
    std::string Stored;
    std::string Password;
    bool Expected;
  };
  const TCase cases[] = {
      {"older form", "AE0CC17B0772C53EA6F33517AEFA31F4", "secret", true},
      {"older form, wrong password", "AE0CC17B0772C53EA6F33517AEFA31F4", "Secret", false},
      {"older form, UTF-8", "474488DE8018B1F81A41D1D5BF2D4877", "p\xC3\xA4sswort", true},
      {"older form of the empty password", "705484787E538CCF961A96B97ED1833B", "", true},
      {"older form in lower case never matches", "ae0cc17b0772c53ea6f33517aefa31f4", "secret", false},
      {"older form, cut", "AE0CC17B0772C53EA6F33517AEFA31F", "secret", false},
      {"new form", fresh, "p\xC3\xA4sswort", true},
      {"new form, wrong password", fresh, "passwort", false},
      {"new form of the empty password", freshEmpty, "", true},
      {"new form of the empty password, a password given", freshEmpty, " ", false},
      {"new form made elsewhere", pinned, "secret", true},
      {"new form made elsewhere, wrong password", pinned, "secret ", false},
      {"nothing stored", "", "", false},
      {"no iteration count", "pbkdf2-sha256$$000102030405060708090a0b0c0d0e0f$4efb2bbb", "secret", false},
      {"zero iterations", "pbkdf2-sha256$0$00$00", "", false},
      {"signed count", "pbkdf2-sha256$+1000$000102030405060708090a0b0c0d0e0f$4efb2bbb", "secret", false},
      {"salt not hexadecimal", "pbkdf2-sha256$1000$0g$4efb2bbb", "secret", false},
      {"no hash", "pbkdf2-sha256$1000$000102030405060708090a0b0c0d0e0f$", "secret", false},
      {"missing part", "pbkdf2-sha256$1000$4efb2bbb", "secret", false},
      {"another scheme", "pbkdf2-sha1$1000$000102030405060708090a0b0c0d0e0f$4efb2bbb", "secret", false},
  };
  for (const TCase& test : cases)
    EXPECT_EQ(PasswordMatches(test.Password, test.Stored), test.Expected) << test.Name;
}

TEST(PasswordCache, RemembersMatchesOnly)
{
  std::vector<std::pair<std::string, std::string>> checks;
  TPasswordCache cache(
      [&](const std::string& iPassword, const std::string& iStored)
      {
        checks.emplace_back(iPassword, iStored);
        return iPassword == "right";
      },
      2);
  const auto checked = [&] { return std::exchange(checks, {}).size(); };
  EXPECT_TRUE(cache.Matches("right", "hash1"));
  EXPECT_EQ(checked(), 1u);
  EXPECT_TRUE(cache.Matches("right", "hash1"));
  EXPECT_EQ(checked(), 0u) << "a match is remembered";
  EXPECT_FALSE(cache.Matches("wrong", "hash1"));
  EXPECT_FALSE(cache.Matches("wrong", "hash1"));
  EXPECT_EQ(checked(), 2u) << "a failure is checked every time";
  EXPECT_TRUE(cache.Matches("right", "hash2"));
  EXPECT_EQ(checked(), 1u) << "another stored hash is checked anew";
  EXPECT_TRUE(cache.Matches("right", "hash3"));
  EXPECT_EQ(checked(), 1u);
  EXPECT_TRUE(cache.Matches("right", "hash3"));
  EXPECT_TRUE(cache.Matches("right", "hash2"));
  EXPECT_EQ(checked(), 0u);
  EXPECT_TRUE(cache.Matches("right", "hash1"));
  EXPECT_EQ(checked(), 1u) << "the oldest match gave way to a newer one";
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
  TAccessSettings olderForm;
  olderForm.AdminUser = "admin";
  olderForm.AdminPasswordHash = "AE0CC17B0772C53EA6F33517AEFA31F4";
  TAccessSettings olderEmpty;
  olderEmpty.AdminPasswordHash = "705484787E538CCF961A96B97ED1833B";

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
      {"admin again (remembered)", users, alNone, true, TWebCredentials{"admin", "adminpw"}, alAdmin},
      {"reader", users, alNone, true, TWebCredentials{"reader", "readpw"}, alReadOnly},
      {"wrong password beats anonymous admin", users, alAdmin, true, TWebCredentials{"admin", "x"}, alNone},
      {"user names are case-sensitive", users, alAdmin, true, TWebCredentials{"Admin", "adminpw"}, alNone},
      {"reader password for admin", users, alNone, true, TWebCredentials{"admin", "readpw"}, alNone},
      {"unreadable credentials", users, alAdmin, true, std::nullopt, alNone},
      {"empty user, empty password hash", emptyUsers, alNone, true, TWebCredentials{"", ""}, alAdmin},
      {"empty user, no stored hash", TAccessSettings{}, alNone, true, TWebCredentials{"", ""}, alNone},
      {"older stored form", olderForm, alNone, true, TWebCredentials{"admin", "secret"}, alAdmin},
      {"older stored form, wrong password", olderForm, alNone, true, TWebCredentials{"admin", "secret2"}, alNone},
      {"older form of the empty password", olderEmpty, alNone, true, TWebCredentials{"", ""}, alAdmin},
  };
  for (const TCase& test : cases)
  {
    TAccessSettings settings = test.Settings;
    settings.AnonymousAccess = test.Anonymous;
    EXPECT_EQ(DetermineAccessLevel(settings, test.HasAuthorization, test.Credentials), test.Expected) << test.Name;
  }
}
