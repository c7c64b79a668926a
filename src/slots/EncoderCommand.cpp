#include "slots/EncoderCommand.h"

#include "audio/engine/EngineTypes.h"
#include "lib/Errors.h"
#include "slots/SlotErrors.h"

#include <algorithm>

namespace
{
const char* ModeLetter(TBassStreamingMode iMode)
{
  switch (iMode)
  {
  case smMono:
    return "m";
  case smJointStereo:
    return "j";
  default:
    return "s";
  }
}

std::string ReplaceAll(std::string iText, const std::string& iWhat, const std::string& iBy)
{
  for (size_t at = iText.find(iWhat); at != std::string::npos; at = iText.find(iWhat, at + iBy.size()))
    iText.replace(at, iWhat.size(), iBy);
  return iText;
}
} // namespace

std::optional<TEncoderCommand> BuildCodecEncoderCommand(const TEncoderCommandSettings& iSettings,
                                                        const std::string& iTarget)
{
  if (!iSettings.EncoderFilename.empty() || !iSettings.Options.empty() || iTarget == "-")
    return std::nullopt;
  TCodecSettings codec;
  switch (iSettings.Format)
  {
  case sfMP3:
    codec.Kind = ckMP3;
    break;
  case sfMP2:
    codec.Kind = ckMP2;
    break;
  case sfOggVorbis:
    codec.Kind = ckVorbis;
    break;
  default:
    return std::nullopt;
  }
  codec.Mode = iSettings.Mode == smMono ? cmMono : iSettings.Mode == smJointStereo ? cmJointStereo : cmStereo;
  codec.Bitrate = static_cast<uint32_t>(std::max(iSettings.Bitrate, 0));
  return TEncoderCommand{iTarget, efCodecFile, codec};
}

std::string QuoteArgument(const std::string& iText)
{
  // The splitter reads 2n backslashes before a quote as n backslashes, 2n+1 as n and a literal quote; other
  // backslashes stay as they are.
  std::string quoted = "\"";
  size_t backslashes = 0;
  for (char c : iText)
  {
    if (c == '\\')
    {
      ++backslashes;
      continue;
    }
    if (c == '"')
      quoted.append(backslashes * 2 + 1, '\\');
    else
      quoted.append(backslashes, '\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, '\\');
  return quoted + "\"";
}

TEncoderCommand BuildEncoderCommand(const TEncoderCommandSettings& iSettings, const std::string& iTarget)
{
  const std::string target = iTarget == "-" ? "-" : QuoteArgument(iTarget);
  const bool mono = iSettings.Mode == smMono;
  const char* mode = ModeLetter(iSettings.Mode);
  const char* options = iSettings.Options.c_str();
  std::string program;
  std::string arguments;
  TEncoderCommand result;
  switch (iSettings.Format)
  {
  case sfMP3:
    program = "lame";
    arguments = Format("--flush -r -s %d %s -b %d -m %s %s - %s", iSettings.SampleRate, mono ? "-a" : "",
                       iSettings.Bitrate, mode, options, target.c_str());
    result.Flags = efNoHeader;
    break;
  case sfMP2:
    program = "twolame";
    arguments =
        Format("-m %s -r -s %d -b %d %s - %s", mode, iSettings.SampleRate, iSettings.Bitrate, options, target.c_str());
    result.Flags = efNoHeader;
    break;
  case sfOggVorbis:
    program = "oggenc";
    arguments = Format("-r -R %d -b %d -m %d %s %s -o %s -", iSettings.SampleRate, iSettings.Bitrate, 16,
                       mono ? "--downmix" : "", options, target.c_str());
    result.Flags = efNoHeader;
    break;
  case sfWAV16:
    return {iTarget, efWAVFile | ef16Bit};
  case sfWAV32:
    // The mixer's float samples, unconverted.
    return {iTarget, efWAVFile};
  case sfCustomWAV:
  case sfCustomRaw:
    arguments = ReplaceAll(iSettings.Options, "$FILENAME", target);
    result.Flags = iSettings.Format == sfCustomRaw ? uint32_t(efNoHeader) : 0u;
    // Without a program the options are the whole command line: an empty program name could never start.
    if (iSettings.EncoderFilename.empty())
    {
      result.Command = arguments;
      return result;
    }
    break;
  default:
    throw ESlotError("Invalid format");
  }
  if (!iSettings.EncoderFilename.empty())
    program = iSettings.EncoderFilename;
  result.Command = QuoteArgument(program) + " " + arguments;
  return result;
}
