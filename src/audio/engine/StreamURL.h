#pragma once
// Which addresses an internet stream may have. A recorder reads radio stations, never local files or other
// protocols FFmpeg would open as well (file:, bare paths, concat:, gopher: ...): whoever may edit a slot's
// address must not make the program read what lies on its disk.

#include <string>

// The protocols FFmpeg may use for a stream, its playlist entries and HLS segments: http and https with what
// they are built on, and crypto for encrypted HLS segments.
inline constexpr const char* kStreamProtocols = "http,https,tls,tcp,crypto";

// Whether iURL starts with http:// or https:// (any case).
bool IsAllowedStreamURL(const std::string& iURL);
