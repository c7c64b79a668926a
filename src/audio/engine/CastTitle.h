#pragma once
// Sends a cast's titles to its server on a thread of its own, over libcurl: Icecast's admin/metadata of the
// mount, or Shoutcast's admin.cgi. A server that does not answer holds up only later titles, each request
// gives up after a few seconds, and the destructor cancels a request under way. Titles can be held back until the
// server is ready for them: Icecast 2.4 loses an Ogg mount whose title is updated before it has seen the stream's
// headers.

#include "audio/engine/CastAddress.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

class TCastTitle
{
public:
  // With iHeld, titles wait for Release.
  TCastTitle(const TCastAddress& iAddress, const std::string& iPassword, bool iHeld);
  ~TCastTitle();
  TCastTitle(const TCastTitle&) = delete;
  TCastTitle& operator=(const TCastTitle&) = delete;

  // Sends iTitle (UTF-8) soon; a title not sent yet is replaced. Never blocks on the server.
  void Set(const std::string& iTitle, const std::string& iURL);
  // From now on titles are sent, the last one set while held first.
  void Release();

private:
  void Run();
  void Send(const std::string& iTitle, const std::string& iURL) const;

  const TCastAddress fAddress;
  const std::string fPassword;
  std::mutex fLock;
  std::condition_variable fWake;
  bool fPending = false;
  bool fHeld;
  std::string fTitle;
  std::string fURL;
  std::atomic<bool> fStopping{false};
  std::thread fThread;
};
