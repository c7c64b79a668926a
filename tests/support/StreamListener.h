#pragma once
// A listener for live HTTP audio streams (Icecast mounts, the built-in stream server): reads a number of bytes
// of the never-ending body, separates ICY metadata blocks from the audio, and decodes what came with ffmpeg.

#include <chrono>
#include <map>
#include <string>
#include <vector>

struct TStreamCapture
{
  long Status = 0;
  std::string ContentType;
  bool Chunked = false;                       // Transfer-Encoding: chunked
  long MetaInterval = 0;                      // icy-metaint, 0 when the server sent none
  std::map<std::string, std::string> Headers; // every header of the answer, the names in lower case
  std::string Audio;                          // the body without metadata blocks
  std::vector<std::string> Metadata;          // the non-empty metadata blocks, zero padding removed
};

// Reads from iURL until iAudioBytes bytes of audio came or iTimeout passed. With iWantTitles the request asks
// for ICY metadata ("Icy-MetaData: 1").
TStreamCapture ListenToStream(const std::string& iURL, size_t iAudioBytes, bool iWantTitles = false,
                              std::chrono::milliseconds iTimeout = std::chrono::seconds(15));

// Decodes encoded audio (any format ffmpeg knows) to the float samples of its first channel at 44100 Hz; empty when
// ffmpeg fails.
std::vector<float> DecodeToMono(const std::string& iEncoded);
