#pragma once
// A root folder of its own for a test of the window: the configuration file lies in a temporary folder and the
// program's globals point at it.

#include "app/TapevaultGlobals.h"
#include "lib/TapevaultTools.h"
#include "support/SettingsTempFolder.h"

#include <string>

class TUiTestRoot
{
public:
  explicit TUiTestRoot(const std::string& iConfiguration = "")
  {
    if (!iConfiguration.empty())
      TSettingsTempFolder::WriteFile(fFolder / "Tapevault.ini", iConfiguration);
    const std::string folder = fFolder.Path();
    const char* arguments[] = {"test_ui", "-rootfolder", folder.c_str(), nullptr};
    SetArguments(3, arguments);
    InitializeGlobals();
  }
  // A key as the file now holds it.
  std::string Key(const std::string& iSection, const std::string& iKey)
  {
    TIniFile file(fFolder / "Tapevault.ini");
    return file.ReadString(iSection, iKey, "<missing>");
  }
  const TSettingsTempFolder& Folder() const { return fFolder; }

private:
  TSettingsTempFolder fFolder;
};
