#pragma once
// Who may use the web server: three access levels, two users with salted password hashes, and the level of
// requests without credentials.

#include <optional>
#include <string>

enum TAccessLevel
{
  alNone = 0,
  alAdmin = 1,
  alReadOnly = 2
};

// The settings in force while the server runs (copied when it starts).
struct TAccessSettings
{
  std::string AdminUser;
  std::string AdminPasswordHash;
  std::string ReadOnlyUser;
  std::string ReadOnlyPasswordHash;
  TAccessLevel AnonymousAccess = alNone;
};

// Basic credentials of a request.
struct TWebCredentials
{
  std::string User;
  std::string Password;
};

// MD5 of the fixed salt followed by the password's bytes, as 32 upper-case hexadecimal digits. The empty
// password has a hash too.
std::string PasswordHash(const std::string& iPassword);

// iHasAuthorization: the request carries an Authorization header; iCredentials: its Basic credentials, or
// nothing when the header cannot be read as such (refused like wrong credentials).
TAccessLevel DetermineAccessLevel(const TAccessSettings& iSettings, bool iHasAuthorization,
                                  const std::optional<TWebCredentials>& iCredentials);
