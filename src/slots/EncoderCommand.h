#pragma once
// The command line and the engine flags of an encoder writing a recording or an outgoing stream, by format.

#include "audio/engine/EngineTypes.h"
#include "slots/SlotTypes.h"

#include <cstdint>
#include <optional>
#include <string>

struct TEncoderCommandSettings
{
  TBassStreamingFormat Format = sfMP3;
  TBassStreamingMode Mode = smStereo;
  int SampleRate = 44100;
  int Bitrate = 128;           // kbit/s
  std::string Options;         // extra options; for the custom formats the arguments ("$FILENAME" = the target)
  std::string EncoderFilename; // the program; empty = the format's default program
};

struct TEncoderCommand
{
  std::string Command;
  uint32_t Flags = 0;        // engine encoder flags of the format (efNoHeader, ef16Bit, efWAVFile, efCodecFile)
  TCodecSettings Codec = {}; // with efCodecFile
};

// iTarget is the file to write, or "-" for the program's standard output. The programs receive 16-bit
// little-endian stereo samples at SampleRate. The WAV formats name the file itself as the command. Throws
// ESlotError "Invalid format" for sfNone.
TEncoderCommand BuildEncoderCommand(const TEncoderCommandSettings& iSettings, const std::string& iTarget);

// The engine's own encoder for the file iTarget when the format is MP3, MP2 or Ogg Vorbis and neither a program
// nor options are named: the command is the file, the codec is set up as the default program's command line
// sets it up. Nothing for every other case, which takes BuildEncoderCommand's program.
std::optional<TEncoderCommand> BuildCodecEncoderCommand(const TEncoderCommandSettings& iSettings,
                                                        const std::string& iTarget);

// iText as one argument of a command line: in double quotes, with the quotes and backslashes inside escaped
// so that the command-line splitter gives back exactly iText.
std::string QuoteArgument(const std::string& iText);
