#pragma once
// The table generated at build time from the files under resources/web (cmake/EmbedWebResources.cmake).

struct TWebResourceEntry
{
  const char* Name; // resource name, e.g. web___index__html
  const char* Begin;
  const char* End;
  // The gzip copy, or two null pointers when the file has none.
  const char* GzipBegin;
  const char* GzipEnd;
  // The entity tag: 16 hexadecimal digits of the file's SHA-256.
  const char* Tag;
};

// Ends with an entry whose Name is null.
extern const TWebResourceEntry gWebResourceEntries[];
// One line per file: path=resource name, e.g. /index.html=web___index__html
extern const char gWebFileList[];
