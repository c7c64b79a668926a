#pragma once
// An answer as the handlers build it, independent of the HTTP engine. The body is owned text, bytes that
// live as long as the program (embedded resources), a part of an open file (neither of those two is copied into
// memory) or a stream of pieces.

#include "web/FileHandle.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

struct TFileBody
{
  TFileHandle File;
  uint64_t Offset = 0;
  uint64_t Length = 0;
};

// An answer without an end (server-sent events): Next waits for the next piece and returns it; an empty piece
// ends the answer. It runs on the connection's own thread, so it may wait, for a bounded time.
struct TStreamBody
{
  std::function<std::string()> Next;
};

using TWebBody = std::variant<std::monostate, std::string, std::string_view, TFileBody, TStreamBody>;

struct TWebResponse
{
  int Status = 200;
  // Empty: no Content-Type header.
  std::string ContentType;
  std::vector<std::pair<std::string, std::string>> Headers;
  TWebBody Body;

  // Replaces a header of that name (letter case ignored) or adds it.
  void SetHeader(const std::string& iName, const std::string& iValue);
};

// The answer forms shared by every endpoint.
TWebResponse EmptyAnswer();
// 200, "application/json" (no charset)
TWebResponse JSONAnswer(std::string iJSON);
// 200, "text/plain" in the charset AnswerText picks (ISO-8859-1 unless the text needs UTF-8)
TWebResponse TextAnswer(const std::string& iText);
// 404 "not found"
TWebResponse NotFoundAnswer();
// 500 with the message; the content type set before the error, else HTML in AnswerText's charset.
TWebResponse ErrorAnswer(const std::string& iMessage, const std::string& iContentTypeSoFar);
// 302 to iLocation
TWebResponse RedirectAnswer(const std::string& iLocation);
// 405 naming the methods served in "Allow"
TWebResponse MethodNotAllowedAnswer();
// 401 with the realm of Basic authentication
TWebResponse UnauthorizedAnswer();
// 403 with the reason as text
TWebResponse ForbiddenAnswer(const std::string& iReason);
// iStatus with the JSON body {"Error": iMessage}
TWebResponse JSONErrorAnswer(int iStatus, const std::string& iMessage);
// The headers every answer carries so that no other site can frame the pages, run scripts in them or read
// more than needed: scripts only from this server, no framing, no type sniffing, referrers only to itself.
void AddSecurityHeaders(TWebResponse& ioResponse);
