#include "FileServer.h"

#include <fstream>

namespace
{
constexpr const char* Script = R"PY(
import argparse, functools, http.server, os
p = argparse.ArgumentParser(); p.add_argument('--port', type=int); p.add_argument('--folder')
a, _ = p.parse_known_args()
class Quiet(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args): pass
s = http.server.ThreadingHTTPServer(('127.0.0.1', a.port), functools.partial(Quiet, directory=a.folder))
open(os.path.join(a.folder, 'ready'), 'w').close()
s.serve_forever()
)PY";
} // namespace

TFileServer::TFileServer() : fServer("files", Script, {}, false) {}

std::string TFileServer::URL(const std::string& iPath) const
{
  return "http://127.0.0.1:" + std::to_string(Port()) + iPath;
}

void TFileServer::Write(const std::string& iName, const std::string& iContent) const
{
  std::ofstream(Folder() + "/" + iName, std::ios::binary) << iContent;
}
