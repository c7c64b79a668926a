#pragma once
// The browser application's files: a file in the override folder (resources/web beside the program) first,
// then the resource of the same path held in the program. Paths containing ".." are never looked up on disk,
// and no link leads out of the folder.

#include "web/WebResponse.h"

#include <string>

class TWebResources;

class TStaticContent
{
public:
  TStaticContent(std::string iFolder, const TWebResources& iResources);

  // The folder beside the program: ProgramFolder() + "resources/web".
  static std::string DefaultFolder();

  // Answers a GET of iPath when a file or resource serves it; false otherwise.
  bool Serve(const std::string& iPath, TWebResponse& oResponse) const;

private:
  bool ServeFile(const std::string& iPath, TWebResponse& oResponse) const;

  std::string fFolder;
  const TWebResources& fResources;
};
