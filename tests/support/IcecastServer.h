#pragma once
// A real Icecast 2 server for tests, in a temporary folder on a free loopback port (it drops root rights to the
// icecast2 user), with live sources fed by ffmpeg and titles set through its admin interface:
//
//   TIcecastServer icecast;                 // throws std::runtime_error with the reason when it cannot start
//   auto source = icecast.StartSource("/live.mp3", TIcecastServer::kMP3);
//   icecast.WaitForMount("/live.mp3");
//   icecast.SetTitle("/live.mp3", "Artist - Song");
//   ... URL("/live.mp3") ...
//   icecast.Stop(); icecast.Start();        // a restart on the same port
//
// Listener timing is exact (no burst at connect time). MP3 mounts send titles in ISO-8859-1 (Icecast's default).

#include "ProcessLauncher.h"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

class TIcecastServer
{
public:
  enum TSourceFormat
  {
    kMP3,       // 128 kbit/s MP3 of a 440 Hz sine, 44.1 kHz stereo
    kOggVorbis, // Ogg Vorbis of the same sine; iArtist and iTitle travel in the stream as comments
    kAAC,       // AAC in ADTS frames
    kOggOpus,   // Opus in Ogg (48 kHz), comments as with kOggVorbis
    kOggFLAC,   // FLAC in Ogg, comments as with kOggVorbis
  };

  // With iShoutcastMount, the legacy Shoutcast source protocol is taken on Port() + 1 for that mount.
  explicit TIcecastServer(const std::string& iShoutcastMount = "");
  ~TIcecastServer();
  TIcecastServer(const TIcecastServer&) = delete;
  TIcecastServer& operator=(const TIcecastServer&) = delete;

  int Port() const { return fPort; }
  // Icecast's status of every mount (status-json.xsl).
  std::string Status() const;
  // The server's process, e.g. to freeze it with SIGSTOP.
  pid_t Pid() const;
  const std::string& Folder() const { return fFolder; }
  std::string URL(const std::string& iMount) const;

  void Start();
  void Stop();
  // A live source on iMount until the returned process is destroyed. For the Ogg formats, iArtist and iTitle
  // become the stream's comments.
  std::unique_ptr<TProcessLauncher> StartSource(const std::string& iMount, TSourceFormat iFormat,
                                                const std::string& iArtist = "", const std::string& iTitle = "");
  // Waits until iMount has a source; false after iTimeout.
  bool WaitForMount(const std::string& iMount, std::chrono::milliseconds iTimeout = std::chrono::seconds(15)) const;
  // Sets the title of an MP3 mount (iTitle in UTF-8); false when Icecast refused it.
  bool SetTitle(const std::string& iMount, const std::string& iTitle) const;
  static constexpr const char* kSourcePassword = "hackme";

private:
  bool Answers() const;

  std::string fFolder;
  int fPort = 0;
  std::unique_ptr<TProcessLauncher> fProcess;
};
