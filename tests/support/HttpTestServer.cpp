#include "HttpTestServer.h"

#include "Wait.h"

#include <sstream>

namespace
{

// requests.log holds one line per request: path, user agent and authorization separated by tabs.
constexpr const char* Script = R"PY(
import argparse, base64, os, ssl, threading, time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

parser = argparse.ArgumentParser()
parser.add_argument("--port", type=int)
parser.add_argument("--folder")
parser.add_argument("--tls", default="no")
parser.add_argument("--user", default="")
parser.add_argument("--password", default="")
args = parser.parse_args()
lock = threading.Lock()
expected = "Basic " + base64.b64encode(("%s:%s" % (args.user, args.password)).encode()).decode()

class Handler(BaseHTTPRequestHandler):
    def log_message(self, format, *arguments):
        pass

    def answer(self, code, extra=()):
        body = b"OK" if code < 400 else b"Error"
        self.send_response(code)
        for name, value in extra:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        fields = [self.path, self.headers.get("User-Agent", ""), self.headers.get("Authorization", "")]
        with lock, open(os.path.join(args.folder, "requests.log"), "a") as log:
            log.write("\t".join(f.replace("\t", " ") for f in fields) + "\n")
        if self.path == "/hang":
            time.sleep(3600)
        elif self.path.startswith("/status/"):
            self.answer(int(self.path[len("/status/"):]))
        elif self.path.startswith("/auth/") and self.headers.get("Authorization", "") != expected:
            self.answer(401, [("WWW-Authenticate", 'Basic realm="alarm"')])
        else:
            self.answer(200)

server = ThreadingHTTPServer(("127.0.0.1", args.port), Handler)
server.daemon_threads = True
if args.tls == "yes":
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(os.path.join(args.folder, "cert.pem"), os.path.join(args.folder, "key.pem"))
    server.socket = context.wrap_socket(server.socket, server_side=True)
open(os.path.join(args.folder, "ready"), "w").close()
server.serve_forever()
)PY";

} // namespace

THttpTestServer::THttpTestServer(bool iTLS, const std::string& iUser, const std::string& iPassword) : fTLS(iTLS)
{
  fServer = std::make_unique<TPythonTestServer>(
      "http", Script, std::vector<std::string>{"--tls", iTLS ? "yes" : "no", "--user", iUser, "--password", iPassword},
      iTLS);
}

std::string THttpTestServer::URL(const std::string& iPath) const
{
  return (fTLS ? "https://127.0.0.1:" : "http://127.0.0.1:") + std::to_string(Port()) + iPath;
}

std::vector<TReceivedRequest> THttpTestServer::Requests() const
{
  std::vector<TReceivedRequest> Result;
  std::istringstream Log(ReadTextFile(fServer->Folder() + "/requests.log"));
  for (std::string Line; std::getline(Log, Line);)
  {
    TReceivedRequest Request;
    std::istringstream Fields(Line);
    std::getline(Fields, Request.Path, '\t');
    std::getline(Fields, Request.UserAgent, '\t');
    std::getline(Fields, Request.Authorization, '\t');
    Result.push_back(Request);
  }
  return Result;
}

std::vector<TReceivedRequest> THttpTestServer::WaitForRequests(size_t iCount, std::chrono::milliseconds iTimeout) const
{
  WaitUntil([&] { return Requests().size() >= iCount; }, iTimeout);
  return Requests();
}
