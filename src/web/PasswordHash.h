#pragma once
// The stored form of a web password. New passwords get a salted slow hash,
// "pbkdf2-sha256$<iterations>$<salt hex>$<hash hex>" (PBKDF2-HMAC-SHA256, a random 16-byte salt), so that a copy
// of the configuration file does not give the passwords away to fast guessing. Files written before keep the
// older form, the MD5 of a fixed salt and the password as 32 upper-case hexadecimal digits; it is still accepted
// and replaced at the next change of that password.

#include <string>

// The stored form of iPassword (the empty password has one too); a new salt at every call.
std::string PasswordHash(const std::string& iPassword);

// Whether iPassword is the one iStoredHash was made from, in either form. Takes as long as the slow hash; the
// comparison itself takes the same time whatever part matches. An empty or unreadable stored value matches no
// password.
bool PasswordMatches(const std::string& iPassword, const std::string& iStoredHash);
