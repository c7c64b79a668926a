#pragma once
// A real HTTP server for tests (Python's http.server) that serves the files of its own temporary folder on a
// loopback port: playlists, HLS playlists, audio files.
//
//   TFileServer files;
//   files.Write("radio.m3u", "http://...\n");
//   ... files.URL("/radio.m3u") ...

#include "PythonTestServer.h"

#include <string>

class TFileServer
{
public:
  // Throws std::runtime_error with the reason when the server does not come up.
  TFileServer();

  const std::string& Folder() const { return fServer.Folder(); }
  int Port() const { return fServer.Port(); }
  // "http://127.0.0.1:PORT" + iPath
  std::string URL(const std::string& iPath) const;
  // Writes iContent into the file iName of the folder.
  void Write(const std::string& iName, const std::string& iContent) const;

private:
  TPythonTestServer fServer;
};
