#pragma once
// A small server written in Python for tests: the script is written into a temporary folder of its own and run by
// the system's Python (the one that sees Debian's Python packages) on a free loopback port. The script gets
// "--port PORT --folder FOLDER" and its own arguments, and creates FOLDER/ready once it serves.

#include <string>
#include <sys/types.h>
#include <vector>

class TPythonTestServer
{
public:
  // With iCertificate, a private CA (CAFile()) and a pair cert.pem / key.pem that it signed for the address
  // 127.0.0.1 are made in the folder first. Throws std::runtime_error with the reason (and the script's output)
  // when the server does not come up.
  TPythonTestServer(const std::string& iName, const std::string& iScript, const std::vector<std::string>& iArguments,
                    bool iCertificate);
  // Stops the script by its process id and removes the folder.
  ~TPythonTestServer();
  TPythonTestServer(const TPythonTestServer&) = delete;
  TPythonTestServer& operator=(const TPythonTestServer&) = delete;

  int Port() const { return fPort; }
  const std::string& Folder() const { return fFolder; }
  // The private CA's certificate (PEM) that a client must trust to accept the server's certificate.
  std::string CAFile() const { return fFolder + "/ca.pem"; }

private:
  void Stop();

  std::string fFolder;
  int fPort = 0;
  pid_t fPid = -1;
};

// A loopback TCP port that was free a moment ago (and one where nothing listens, for failure tests).
int FreeLoopbackPort();
// The whole file; empty when it cannot be read.
std::string ReadTextFile(const std::string& iPath);
