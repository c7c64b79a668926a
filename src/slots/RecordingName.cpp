#include "slots/RecordingName.h"

#include "lib/Errors.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace
{
void ReplaceAll(std::string& ioText, const std::string& iWhat, const std::string& iBy)
{
  for (size_t at = ioText.find(iWhat); at != std::string::npos; at = ioText.find(iWhat, at + iBy.size()))
    ioText.replace(at, iWhat.size(), iBy);
}

std::string Stamp(const TDateTimeParts& iNow)
{
  return Format("%.4d-%.2d-%.2d-%.2d-%.2d-%.2d", iNow.Year, iNow.Month, iNow.Day, iNow.Hour, iNow.Minute, iNow.Second);
}

// Position of the extension's dot in the last component of iName; npos when it has none.
size_t ExtensionDot(const std::string& iName)
{
  const size_t slash = iName.rfind('/');
  const size_t dot = iName.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
    return std::string::npos;
  return dot;
}

bool Exists(const std::string& iPath)
{
  std::error_code error;
  return std::filesystem::symlink_status(iPath, error).type() != std::filesystem::file_type::not_found;
}
} // namespace

std::string RecordingExtension(TBassStreamingFormat iFormat, const std::string& iFileExtension)
{
  switch (iFormat)
  {
  case sfMP3:
    return ".mp3";
  case sfMP2:
    return ".mp2";
  case sfOggVorbis:
    return ".ogg";
  case sfWAV16:
  case sfWAV32:
    return ".wav";
  case sfCustomWAV:
  case sfCustomRaw:
    return "." + iFileExtension;
  default:
    return "";
  }
}

std::string RecordingRelativeName(const TRecordingNameSettings& iSettings, const std::string& iExtension,
                                  const TDateTimeParts& iNow)
{
  if (iSettings.CustomFilename.empty())
  {
    const std::string name = iSettings.FilenamePrefix + Stamp(iNow) + iExtension;
    if (iSettings.FlatFilenames)
      return name;
    return Format("%.4d/%.2d/%.2d/", iNow.Year, iNow.Month, iNow.Day) + name;
  }
  // The extension is appended first, so placeholders in a custom extension are replaced too.
  std::string name = iSettings.CustomFilename + iExtension;
  ReplaceAll(name, "%Y", Format("%.4d", iNow.Year));
  ReplaceAll(name, "%y", Format("%.2d", iNow.Year % 100));
  ReplaceAll(name, "%M", Format("%.2d", iNow.Month));
  ReplaceAll(name, "%D", Format("%.2d", iNow.Day));
  ReplaceAll(name, "%h", Format("%.2d", iNow.Hour));
  ReplaceAll(name, "%m", Format("%.2d", iNow.Minute));
  ReplaceAll(name, "%s", Format("%.2d", iNow.Second));
  std::replace(name.begin(), name.end(), '\\', '/');
  return name;
}

std::string UniqueRecordingName(const std::string& iFolder, const std::string& iRelativeName)
{
  if (!Exists(iFolder + iRelativeName))
    return iRelativeName;
  const size_t dot = ExtensionDot(iRelativeName);
  const std::string stem = iRelativeName.substr(0, dot);
  const std::string extension = dot == std::string::npos ? "" : iRelativeName.substr(dot);
  for (int suffix = 1;; ++suffix)
  {
    std::string candidate = stem + Format("-%d", suffix) + extension;
    if (!Exists(iFolder + candidate))
      return candidate;
  }
}

std::string CueSheetFileLine(const std::string& iPath)
{
  const std::string name = std::filesystem::path(iPath).filename().string();
  const size_t dot = ExtensionDot(name);
  std::string type = dot == std::string::npos ? "" : name.substr(dot + 1);
  std::transform(type.begin(), type.end(), type.begin(), [](unsigned char c) { return std::toupper(c); });
  if (type == "WAV")
    type = "WAVE";
  return Format("FILE \"%s\" %s", name.c_str(), type.c_str());
}
