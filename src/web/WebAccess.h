#pragma once
// Who may use the web server: three access levels, two users with salted password hashes, and the level of
// requests without credentials.

#include "web/PasswordHash.h"

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

// iHasAuthorization: the request carries an Authorization header; iCredentials: its Basic credentials, or
// nothing when the header cannot be read as such (refused like wrong credentials). Passwords that matched lately
// are checked from memory (TPasswordCache).
TAccessLevel DetermineAccessLevel(const TAccessSettings& iSettings, bool iHasAuthorization,
                                  const std::optional<TWebCredentials>& iCredentials);
