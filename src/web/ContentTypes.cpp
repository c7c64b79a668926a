#include "web/ContentTypes.h"

#include "web/WebText.h"

#include <unordered_map>

std::string ContentTypeOf(const std::string& iPath)
{
  static const std::unordered_map<std::string, std::string> types = {
      {".html", "text/html"},
      {".htm", "text/html"},
      {".js", "text/javascript"},
      {".mjs", "text/javascript"},
      {".css", "text/css"},
      {".json", "application/json"},
      {".map", "application/json"},
      {".txt", "text/plain"},
      {".xml", "text/xml"},
      {".png", "image/png"},
      {".gif", "image/gif"},
      {".jpg", "image/jpeg"},
      {".jpeg", "image/jpeg"},
      {".ico", "image/x-icon"},
      {".svg", "image/svg+xml"},
      {".eot", "application/vnd.ms-fontobject"},
      {".ttf", "font/ttf"},
      {".otf", "font/otf"},
      {".woff", "font/woff"},
      {".woff2", "font/woff2"},
      {".swf", "application/x-shockwave-flash"},
      {".mp3", "audio/mpeg"},
      {".mp2", "audio/mpeg"},
      {".ogg", "audio/ogg"},
      {".oga", "audio/ogg"},
      {".opus", "audio/ogg"},
      {".wav", "audio/wav"},
      {".flac", "audio/flac"},
      {".aac", "audio/aac"},
      {".m4a", "audio/mp4"},
      {".cue", "text/plain"},
  };
  const size_t slash = iPath.find_last_of('/');
  const size_t dot = iPath.find_last_of('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
  {
    const auto found = types.find(LowerCaseASCII(iPath.substr(dot)));
    if (found != types.end())
      return found->second;
  }
  return "application/octet-stream";
}
