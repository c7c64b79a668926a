#include "web/FileDelivery.h"

#include "web/ByteRange.h"
#include "web/ContentTypes.h"

#include <algorithm>
#include <filesystem>

namespace
{
// Quoted-string of a header parameter: quotes and backslashes escaped, control characters replaced.
std::string QuotedFileName(const std::string& iName)
{
  std::string result = "\"";
  for (const char c : iName)
  {
    if (c == '"' || c == '\\')
      result += '\\';
    result += static_cast<unsigned char>(c) < 32 || c == 127 ? '_' : c;
  }
  return result + "\"";
}

// The folder with one trailing "/", the form every path inside it starts with.
std::string NormalFolder(const std::string& iFolder)
{
  return std::filesystem::path(iFolder + "/").lexically_normal().string();
}

TFileHandle OpenRecording(const std::string& iFolder, const std::string& iStoredName, std::string& oPath,
                          uint64_t& oSize)
{
  const auto path = PathInsideFolder(iFolder, iStoredName);
  if (!path)
    return TFileHandle();
  oPath = *path;
  const std::string folder = NormalFolder(iFolder);
  return OpenRegularFileBeneath(folder, path->substr(folder.size()), oSize);
}

std::string UnsatisfiableRange(uint64_t iSize)
{
  return "bytes */" + std::to_string(iSize);
}
} // namespace

std::optional<std::string> PathInsideFolder(const std::string& iFolder, const std::string& iStoredName)
{
  if (iFolder.empty())
    return std::nullopt;
  std::string stored = iStoredName;
  std::replace(stored.begin(), stored.end(), '\\', '/');
  const std::string folder = NormalFolder(iFolder);
  const std::string path = std::filesystem::path(folder + stored).lexically_normal().string();
  if (path.size() <= folder.size() || path.compare(0, folder.size(), folder) != 0 || path.back() == '/')
    return std::nullopt;
  return path;
}

bool DeliverRecording(const std::string& iFolder, const std::string& iSecondaryFolder, const std::string& iStoredName,
                      const std::optional<std::string>& iRangeHeader, TWebResponse& oResponse)
{
  std::string path;
  uint64_t size = 0;
  TFileHandle file = OpenRecording(iFolder, iStoredName, path, size);
  if (!file.Valid())
    file = OpenRecording(iSecondaryFolder, iStoredName, path, size);
  if (!file.Valid())
    return false;

  const auto ranges = iRangeHeader ? ParseRangeHeader(*iRangeHeader) : std::nullopt;
  if (ranges && ranges->size() > 1)
  {
    oResponse = TWebResponse();
    oResponse.Status = 416;
    oResponse.SetHeader("Content-Range", UnsatisfiableRange(size));
    return true;
  }
  oResponse.ContentType = ContentTypeOf(path);
  oResponse.SetHeader("Accept-Ranges", "bytes");
  if (!ranges)
  {
    oResponse.SetHeader("Content-Disposition",
                        "attachment; filename=" + QuotedFileName(std::filesystem::path(path).filename().string()));
    oResponse.Body = TFileBody{std::move(file), 0, size};
    return true;
  }
  const TRangeAnswer answer = ResolveByteRange(ranges->front(), size);
  switch (answer.Status)
  {
  case rgPart:
    oResponse.Status = 206;
    oResponse.SetHeader("Content-Range", "bytes " + std::to_string(answer.First) + "-" + std::to_string(answer.Last) +
                                             "/" + std::to_string(size));
    oResponse.Body = TFileBody{std::move(file), answer.First, answer.Last - answer.First + 1};
    break;
  case rgNotSatisfiable:
    oResponse.Status = 416;
    oResponse.SetHeader("Content-Range", UnsatisfiableRange(size));
    break;
  case rgWholeFile:
    oResponse.Body = TFileBody{std::move(file), 0, size};
    break;
  }
  return true;
}
