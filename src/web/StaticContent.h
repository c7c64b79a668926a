#pragma once
// The browser application's files: a file in the override folder (resources/web beside the program) first,
// then the resource of the same path held in the program. Paths containing ".." are never looked up on disk,
// and no link leads out of the folder. Every answer carries an entity tag and a date, and a browser whose copy is
// current gets 304; embedded text files go out gzip-compressed to browsers that accept it.

#include "web/WebResponse.h"

#include <string>

class TWebResources;
struct TWebRequest;

class TStaticContent
{
public:
  TStaticContent(std::string iFolder, const TWebResources& iResources);

  // The folder beside the program: ProgramFolder() + "resources/web".
  static std::string DefaultFolder();

  // Answers a GET of the request's path when a file or resource serves it; false otherwise.
  bool Serve(const TWebRequest& iRequest, TWebResponse& oResponse) const;

private:
  bool ServeFile(const TWebRequest& iRequest, TWebResponse& oResponse) const;

  std::string fFolder;
  const TWebResources& fResources;
};
