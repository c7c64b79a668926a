#pragma once
// A fresh temporary folder, removed with everything in it at the end of the test,
// with small helpers for the files the configuration and cleanup tests look at.

#include <string>

class TSettingsTempFolder
{
public:
  TSettingsTempFolder();
  ~TSettingsTempFolder();
  TSettingsTempFolder(const TSettingsTempFolder&) = delete;
  TSettingsTempFolder& operator=(const TSettingsTempFolder&) = delete;

  // The folder, without a trailing "/".
  const std::string& Path() const { return fPath; }
  // Path() + "/" + iName.
  std::string operator/(const std::string& iName) const { return fPath + "/" + iName; }

  // Writes iContent to iFile (folders created as needed).
  static void WriteFile(const std::string& iFile, const std::string& iContent);
  // The whole content of iFile; empty when it cannot be read.
  static std::string ReadFile(const std::string& iFile);
  static bool Exists(const std::string& iPath);

private:
  std::string fPath;
};
