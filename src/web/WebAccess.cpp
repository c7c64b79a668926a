#include "web/WebAccess.h"

#include "web/PasswordCache.h"

namespace
{
bool Matches(const std::string& iPassword, const std::string& iStoredHash)
{
  // One for the process: it holds nothing but digests of matches, and a changed stored hash is a new entry.
  static TPasswordCache cache(&PasswordMatches);
  return cache.Matches(iPassword, iStoredHash);
}
} // namespace

TAccessLevel DetermineAccessLevel(const TAccessSettings& iSettings, bool iHasAuthorization,
                                  const std::optional<TWebCredentials>& iCredentials)
{
  if (!iHasAuthorization)
    return iSettings.AnonymousAccess;
  if (!iCredentials)
    return alNone;
  if (iCredentials->User == iSettings.AdminUser && Matches(iCredentials->Password, iSettings.AdminPasswordHash))
    return alAdmin;
  if (iCredentials->User == iSettings.ReadOnlyUser && Matches(iCredentials->Password, iSettings.ReadOnlyPasswordHash))
    return alReadOnly;
  return alNone;
}
