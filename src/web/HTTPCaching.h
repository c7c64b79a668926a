#pragma once
// What static answers are cached and compressed by: the request headers that ask for gzip or for an answer
// only when the file changed, and the dates that go with entity tags.

#include <cstdint>
#include <string>

// Whether an Accept-Encoding value allows a gzip body: "gzip" (or "x-gzip") or "*" listed with a quality
// above 0; "gzip;q=0" refuses it even when "*" is allowed.
bool AcceptsGzip(const std::string& iAcceptEncoding);
// Whether an If-None-Match value ("*" or a list of entity tags, weak ones compared by their value) names iTag,
// a quoted entity tag.
bool TagMatches(const std::string& iIfNoneMatch, const std::string& iTag);
// The IMF-fixdate of a time ("Fri, 11 Dec 2026 03:22:09 GMT"), with English names whatever the locale.
std::string HTTPDate(int64_t iSecondsSince1970);
