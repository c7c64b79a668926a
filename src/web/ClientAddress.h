#pragma once
// The text of a client's IP address, as logs show it and as connections and failed logins are counted by.

#include <string>
#include <sys/socket.h>

// Numeric text without the port ("192.0.2.7", "2001:db8::7"); an IPv4 client of an IPv6 socket (::ffff:a.b.c.d)
// in the IPv4 form, so that one client has one text whichever socket it reached. Empty for other families.
std::string ClientAddressText(const sockaddr* iAddress);
