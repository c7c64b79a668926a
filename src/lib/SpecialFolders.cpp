// The folders a desktop user expects: configuration home and music folder, as the XDG base and user
// directory conventions define them.
#include "lib/TapevaultTools.h"

#include <cstdlib>
#include <fstream>
#include <pwd.h>
#include <unistd.h>

namespace
{

std::string WithoutTrailingSlash(std::string iPath)
{
  while (iPath.size() > 1 && iPath.back() == '/')
    iPath.pop_back();
  return iPath;
}

std::string HomeFolder()
{
  const char* home = std::getenv("HOME");
  if (home != nullptr && *home != '\0')
    return WithoutTrailingSlash(home);
  passwd entry{};
  passwd* result = nullptr;
  char buffer[4096];
  if (getpwuid_r(getuid(), &entry, buffer, sizeof(buffer), &result) == 0 && result != nullptr)
    return WithoutTrailingSlash(result->pw_dir);
  return "/";
}

std::string ConfigHome()
{
  // Relative values are invalid by the convention and ignored.
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config != nullptr && config[0] == '/')
    return WithoutTrailingSlash(config);
  return HomeFolder() + "/.config";
}

// The value of one assignment line of user-dirs.dirs: NAME="$HOME/sub" or NAME="/absolute"; empty when the line
// assigns something else or a relative path.
std::string UserDirValue(const std::string& iLine, const std::string& iName)
{
  size_t pos = iLine.find_first_not_of(" \t");
  if (pos == std::string::npos || iLine.compare(pos, iName.size(), iName) != 0)
    return std::string();
  pos = iLine.find_first_not_of(" \t", pos + iName.size());
  if (pos == std::string::npos || iLine[pos] != '=')
    return std::string();
  pos = iLine.find_first_not_of(" \t", pos + 1);
  if (pos == std::string::npos)
    return std::string();
  std::string value;
  if (iLine[pos] == '"')
  {
    for (++pos; pos < iLine.size() && iLine[pos] != '"'; ++pos)
    {
      if (iLine[pos] == '\\' && pos + 1 < iLine.size())
        ++pos;
      value += iLine[pos];
    }
  }
  else
    value = iLine.substr(pos, iLine.find_first_of(" \t", pos) - pos);
  const std::string homeVariable = "$HOME";
  if (value.compare(0, homeVariable.size(), homeVariable) == 0 &&
      (value.size() == homeVariable.size() || value[homeVariable.size()] == '/'))
    return HomeFolder() + value.substr(homeVariable.size());
  return value.size() > 0 && value[0] == '/' ? value : std::string();
}

std::string MusicFolder()
{
  std::ifstream file(ConfigHome() + "/user-dirs.dirs");
  std::string line;
  std::string folder;
  // Like the shell that sources the file, the last assignment wins.
  while (std::getline(file, line))
  {
    const std::string value = UserDirValue(line, "XDG_MUSIC_DIR");
    if (!value.empty())
      folder = value;
  }
  return folder.empty() ? HomeFolder() + "/Music" : WithoutTrailingSlash(folder);
}

} // namespace

std::string SpecialFolderPath(int iCSIDL)
{
  return iCSIDL == CSIDL_COMMON_APPDATA ? ConfigHome() : MusicFolder();
}
