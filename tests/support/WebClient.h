#pragma once
// A small HTTP client over libcurl for tests that talk to a real server on loopback.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct TWebCall
{
  // "127.0.0.1", or "[::1]" for IPv6.
  std::string Host = "127.0.0.1";
  std::string Method = "GET";
  // Path and query, e.g. "/ws/slots/0/list/2024/3/15" or "/execute?command=SLOT%201%20START".
  std::string Path{};
  // Extra request headers, "Name: value".
  std::vector<std::string> Headers{};
  // Sent as the body (POST with a form: "command=SLOT+1+START").
  std::optional<std::string> Body{};
  // Basic credentials.
  std::optional<std::pair<std::string, std::string>> Credentials{};
  // "https" verifies the server against CAFile (the system's CA store without it).
  std::string Scheme = "http";
  std::optional<std::string> CAFile{};
  // The local address to send from, e.g. "127.0.0.2" (all of 127.0.0.0/8 is loopback).
  std::optional<std::string> SourceAddress{};
  long TimeoutSeconds = 30;
  // Sends "Accept-Encoding: gzip" and lets libcurl decode the body; the reply keeps the server's headers.
  bool DecodeGzip = false;
  // A failed transfer is reported in TWebReply::Error instead of failing the test.
  bool MayFail = false;
};

struct TWebReply
{
  long Status = 0;
  std::string Body;
  std::vector<std::pair<std::string, std::string>> Headers;
  // libcurl's code of a failed transfer, CURLE_OK (0) otherwise.
  int Error = 0;

  // The value of a response header (name compared without regard to case), or nothing.
  std::optional<std::string> Header(const std::string& iName) const;
};

// Performs one request against Scheme://Host:iPort; redirects are not followed. Fails the running test
// (and returns status 0) when the transfer itself fails, unless the call allows it.
TWebReply WebFetch(uint16_t iPort, const TWebCall& iCall);
TWebReply WebGet(uint16_t iPort, const std::string& iPath, std::vector<std::string> iHeaders = {});
// Percent-encodes a query value.
std::string WebEscape(const std::string& iText);
