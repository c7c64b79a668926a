#include "SettingsTempFolder.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

TSettingsTempFolder::TSettingsTempFolder()
{
  // In memory where possible: the configuration file syncs every write, which costs milliseconds on a disk.
  for (const std::string& base : {std::string("/dev/shm"), std::filesystem::temp_directory_path().string()})
  {
    std::string pattern = base + "/tapevault-settings-XXXXXX";
    if (mkdtemp(pattern.data()))
    {
      fPath = pattern;
      return;
    }
  }
  throw std::runtime_error("Cannot create a temporary folder");
}

TSettingsTempFolder::~TSettingsTempFolder()
{
  std::error_code ignored;
  std::filesystem::remove_all(fPath, ignored);
}

void TSettingsTempFolder::WriteFile(const std::string& iFile, const std::string& iContent)
{
  std::filesystem::create_directories(std::filesystem::path(iFile).parent_path());
  std::ofstream file(iFile, std::ios::binary | std::ios::trunc);
  file << iContent;
  if (!file)
    throw std::runtime_error("Cannot write " + iFile);
}

std::string TSettingsTempFolder::ReadFile(const std::string& iFile)
{
  std::ifstream file(iFile, std::ios::binary);
  std::ostringstream content;
  content << file.rdbuf();
  return content.str();
}

bool TSettingsTempFolder::Exists(const std::string& iPath)
{
  std::error_code ignored;
  return std::filesystem::exists(std::filesystem::symlink_status(iPath, ignored));
}
