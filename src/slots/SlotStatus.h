#pragma once
// What a slot shows at run time, as one value: the window, the web's slot list and status texts, and the metrics
// read a copy of it instead of asking the slot's concerns one by one.

#include "slots/RecordingFile.h"
#include "slots/SlotCounters.h"
#include "slots/SlotTypes.h"

#include <cstdint>
#include <optional>
#include <string>

struct TSlotStatus
{
  bool Recording = false;                   // a file encoder runs
  TFileEncoderKind EncoderKind = fkProgram; // what writes the current file, while Recording
  // The slot's own error, else why its input delivers nothing at the moment.
  std::string ErrorMessage;
  // Peak magnitude of the last mixer buffer per output channel (1.0 = full scale).
  float LevelLeft = 0;
  float LevelRight = 0;
  // The file being written (empty while none) and the MillisecondClock value of its start.
  std::string CurrentFilename;
  int64_t RecordStartTickCount = 0;
  // MillisecondClock values: the last buffer that reached the silence threshold, the last incoming title.
  int64_t LastOverSilenceTickCount = 0;
  int64_t LastMetadataTickCount = 0;
  // The input: the device in use (nothing while none), or the stream with its state and title.
  std::optional<std::string> DeviceName;
  std::string StreamURL;
  bool StreamOpen = false;
  // "Connecting...", "Reconnecting..." or the last attempt's error while no stream is connected.
  std::string StreamStatus;
  std::string StreamTitle;
  // The outgoing stream: its state, the host, server address or error, the moment it connected (-1: not).
  TStreamingStatus StreamingStatus = ssDisabled;
  std::string StreamingMessage;
  int64_t StreamingActiveSince = -1;
  uint32_t Listeners = 0; // of the built-in stream server
  // Input dropouts inside the file being written.
  double FileDropoutSeconds = 0;
  int FileDropoutCount = 0;
  TSlotCounters Counters;
};
