#include "app/TapevaultGlobals.h"

#include "lib/TapevaultTools.h"

#include <filesystem>
#include <memory>

namespace
{
std::string gRootFolder;
std::unique_ptr<TIniFile> gConfigFile;

std::string AbsoluteFolder(const std::string& iPath)
{
  namespace fs = std::filesystem;
  std::error_code error;
  fs::path path = iPath.empty() ? fs::current_path(error) : fs::absolute(iPath, error);
  std::string result = path.lexically_normal().string();
  if (result.empty() || result.back() != '/')
    result += '/';
  return result;
}
} // namespace

std::string DetermineRootFolder(const std::string& iDefaultFolder, const std::vector<std::string>& iArguments)
{
  std::string result = AbsoluteFolder(iDefaultFolder);
  for (size_t i = 0; i + 1 < iArguments.size(); ++i)
    if (iArguments[i] == "-rootfolder")
      result = AbsoluteFolder(iArguments[i + 1]);
  return result;
}

void InitializeGlobals()
{
  std::vector<std::string> arguments;
  for (int i = 1; i <= ArgumentCount(); ++i)
    arguments.push_back(ArgumentText(i));
  gRootFolder = DetermineRootFolder(SpecialFolderPath(CSIDL_COMMON_APPDATA) + "/Brendle/Tapevault/", arguments);
  std::error_code ignored;
  std::filesystem::create_directories(gRootFolder, ignored);
  gConfigFile = std::make_unique<TIniFile>(gRootFolder + "Tapevault.ini");
}

const std::string& RootFolder()
{
  return gRootFolder;
}

TIniFile& ConfigFile()
{
  return *gConfigFile;
}
