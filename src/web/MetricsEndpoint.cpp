#include "web/MetricsEndpoint.h"

#include "lib/TapevaultTools.h"
#include "slots/SlotCleanup.h"
#include "slots/SlotInfo.h"
#include "web/WebController.h"

#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <unistd.h>
#include <vector>

namespace
{
// A label value: backslash, double quote and line feed are the characters the format escapes.
std::string LabelValue(const std::string& iText)
{
  std::string result;
  result.reserve(iText.size());
  for (char c : iText)
  {
    if (c == '\\' || c == '"')
      result += '\\';
    if (c == '\n')
      result += "\\n";
    else
      result += c;
  }
  return result;
}

const char* EncoderKindLabel(TFileEncoderKind iKind)
{
  switch (iKind)
  {
  case fkLibrary:
    return "library";
  case fkWAV:
    return "wav";
  default:
    return "program";
  }
}

// Seconds since the process started: its start in clock ticks after boot, against the boot-time clock.
double ProcessUptimeSeconds()
{
  std::ifstream stat("/proc/self/stat");
  std::string line;
  std::getline(stat, line);
  // The command name in parentheses may hold spaces; the fields after it are plain numbers.
  const size_t close = line.rfind(')');
  if (close == std::string::npos)
    return 0;
  std::istringstream fields(line.substr(close + 2));
  // starttime is field 22 of the line, the 20th after the command name.
  std::string field;
  int read = 0;
  while (read < 20 && fields >> field)
    ++read;
  const double startSeconds = std::strtod(field.c_str(), nullptr) / static_cast<double>(sysconf(_SC_CLK_TCK));
  return static_cast<double>(MillisecondClock()) / 1000.0 - startSeconds;
}

// A slot with its status, taken once for the whole text.
struct TSlotSample
{
  std::string Labels;
  TSlotInfo* Slot;
  std::shared_ptr<const TSlotStatus> Status;
};

// One sample per slot; a slot without a value (nothing to measure) has no sample.
void AddFamily(std::ostringstream& oText, const char* iName, const char* iType, const char* iHelp,
               const std::vector<TSlotSample>& iSlots,
               const std::function<std::optional<double>(TSlotInfo&, const TSlotStatus&)>& iValue)
{
  oText << "# HELP " << iName << ' ' << iHelp << "\n# TYPE " << iName << ' ' << iType << '\n';
  for (const TSlotSample& sample : iSlots)
    if (const std::optional<double> value = iValue(*sample.Slot, *sample.Status))
      oText << iName << '{' << sample.Labels << "} " << *value << '\n';
}
} // namespace

std::string MetricsText(const IWebController& iController, const TLoginCounts& iLogins)
{
  // Series carry the slot number only, so that renaming a slot keeps its series; the name is in
  // tapevault_slot_info, for joining into dashboards and alerts.
  std::vector<TSlotSample> slots;
  for (int i = 0; i < iController.SlotCount(); ++i)
    slots.push_back({"slot=\"" + std::to_string(i) + '"', &iController.Slot(i), iController.Slot(i).Status()});

  std::ostringstream text;
  text.precision(12);
  text << "# HELP tapevault_uptime_seconds Seconds since the program started.\n"
          "# TYPE tapevault_uptime_seconds gauge\n"
          "tapevault_uptime_seconds "
       << ProcessUptimeSeconds() << '\n';
  text << "# HELP tapevault_slot_info The slot's name.\n"
          "# TYPE tapevault_slot_info gauge\n";
  for (const TSlotSample& sample : slots)
    text << "tapevault_slot_info{" << sample.Labels << ",name=\""
         << LabelValue(sample.Slot->Settings(&TSlotSettings::Name)) << "\"} 1\n";
  text << "# HELP tapevault_slot_level Peak level of the last 100 ms, 0 to 1.\n"
          "# TYPE tapevault_slot_level gauge\n";
  for (const TSlotSample& sample : slots)
    text << "tapevault_slot_level{" << sample.Labels << ",channel=\"left\"} " << sample.Status->LevelLeft << '\n'
         << "tapevault_slot_level{" << sample.Labels << ",channel=\"right\"} " << sample.Status->LevelRight << '\n';

  AddFamily(text, "tapevault_slot_silence_seconds", "gauge", "Seconds since the level was last above the threshold.",
            slots,
            [](TSlotInfo&, const TSlotStatus& iStatus)
            {
              const int64_t elapsed = static_cast<int64_t>(MillisecondClock()) - iStatus.LastOverSilenceTickCount;
              return static_cast<double>(elapsed) / 1000.0;
            });
  AddFamily(text, "tapevault_slot_silence_alarm_seconds", "gauge",
            "Silence in seconds that raises the slot's alarm; 0 when no alarm is watched.", slots,
            [](TSlotInfo& iSlot, const TSlotStatus&) { return static_cast<double>(iSlot.WatchedSilenceDetection()); });
  AddFamily(text, "tapevault_slot_enabled", "gauge",
            "1 while the slot is started with an input and a file format, so that it should be recording.", slots,
            [](TSlotInfo& iSlot, const TSlotStatus&)
            {
              const TSlotSettings settings = iSlot.Settings();
              const bool files = settings.Output.Format != sfNone && !settings.OutputStream.Only;
              return settings.Enabled && settings.Input.Source != rsDisabled && files ? 1.0 : 0.0;
            });
  AddFamily(text, "tapevault_slot_recording", "gauge", "1 while a file encoder runs.", slots,
            [](TSlotInfo&, const TSlotStatus& iStatus) { return iStatus.Recording ? 1.0 : 0.0; });
  text << "# HELP tapevault_slot_encoder_info What writes the current file: an encoder program, a codec library "
          "in the process, or the WAV writer.\n"
          "# TYPE tapevault_slot_encoder_info gauge\n";
  for (const TSlotSample& sample : slots)
    if (sample.Status->Recording)
      text << "tapevault_slot_encoder_info{" << sample.Labels << ",kind=\""
           << EncoderKindLabel(sample.Status->EncoderKind) << "\"} 1\n";
  AddFamily(text, "tapevault_slot_streaming_enabled", "gauge", "1 while the slot should send an outgoing stream.",
            slots,
            [](TSlotInfo& iSlot, const TSlotStatus&)
            {
              const TSlotSettings settings = iSlot.Settings();
              return settings.Enabled && settings.OutputStream.Enabled && !iSlot.AlarmOnly() ? 1.0 : 0.0;
            });
  AddFamily(text, "tapevault_slot_streaming_connected", "gauge", "1 while the outgoing stream is connected.", slots,
            [](TSlotInfo&, const TSlotStatus& iStatus) { return iStatus.StreamingStatus == ssConnected ? 1.0 : 0.0; });
  // One statvfs per slot, the measurement of the cleanup by space; a folder that cannot be measured (not made
  // yet) has no sample.
  AddFamily(text, "tapevault_slot_free_bytes", "gauge", "Bytes available on the volume of the slot's folder.", slots,
            [](TSlotInfo& iSlot, const TSlotStatus&) -> std::optional<double>
            {
              const int64_t available = AvailableBytes(iSlot.Settings(&TSlotSettings::Output).Folder);
              return available < 0 ? std::nullopt : std::optional<double>(static_cast<double>(available));
            });
  AddFamily(text, "tapevault_slot_cleanup_goal_bytes", "gauge",
            "Free space the cleanup deletes old recordings for; 0 when that rule is off.", slots,
            [](TSlotInfo& iSlot, const TSlotStatus&) { return static_cast<double>(iSlot.CleanupGoalBytes()); });
  AddFamily(text, "tapevault_slot_written_bytes_total", "counter", "Audio bytes handed to the file encoders.", slots,
            [](TSlotInfo&, const TSlotStatus& iStatus) { return static_cast<double>(iStatus.Counters.BytesWritten); });
  AddFamily(text, "tapevault_slot_dropout_seconds_total", "counter", "Seconds of input audio lost.", slots,
            [](TSlotInfo&, const TSlotStatus& iStatus) { return iStatus.Counters.DropoutSeconds; });
  AddFamily(text, "tapevault_slot_dropouts_total", "counter", "Separate losses of input audio.", slots,
            [](TSlotInfo&, const TSlotStatus& iStatus) { return static_cast<double>(iStatus.Counters.DropoutCount); });
  AddFamily(text, "tapevault_slot_encoder_restarts_total", "counter",
            "New files started because an encoder died or could not start.", slots,
            [](TSlotInfo&, const TSlotStatus& iStatus)
            { return static_cast<double>(iStatus.Counters.EncoderRestarts); });
  AddFamily(
      text, "tapevault_slot_input_reconnects_total", "counter", "Times the input came back after it was lost.", slots,
      [](TSlotInfo&, const TSlotStatus& iStatus) { return static_cast<double>(iStatus.Counters.InputReconnects); });
  AddFamily(text, "tapevault_slot_input_xruns_total", "counter",
            "Process cycles the input's JACK server reported as late while the slot used it.", slots,
            [](TSlotInfo&, const TSlotStatus& iStatus) { return static_cast<double>(iStatus.Counters.InputXruns); });
  AddFamily(text, "tapevault_slot_encoder_dropped_seconds_total", "counter",
            "Seconds of audio the file encoders' queues had no room for.", slots,
            [](TSlotInfo&, const TSlotStatus& iStatus) { return iStatus.Counters.EncoderDroppedSeconds; });
  AddFamily(text, "tapevault_slot_stream_dropped_bytes_total", "counter",
            "Bytes of the outgoing stream the server did not take in time.", slots,
            [](TSlotInfo&, const TSlotStatus& iStatus)
            { return static_cast<double>(iStatus.Counters.StreamDroppedBytes); });
  AddFamily(text, "tapevault_slot_stream_dropped_listeners_total", "counter",
            "Listeners of the built-in stream server dropped for falling behind.", slots,
            [](TSlotInfo&, const TSlotStatus& iStatus)
            { return static_cast<double>(iStatus.Counters.StreamDroppedListeners); });
  // Only the built-in server knows its listeners.
  AddFamily(text, "tapevault_slot_stream_listeners", "gauge", "Listeners of the built-in stream server.", slots,
            [](TSlotInfo& iSlot, const TSlotStatus& iStatus) -> std::optional<double>
            {
              if (!iSlot.Settings(&TSlotSettings::OutputStream).ServerMode)
                return std::nullopt;
              return static_cast<double>(iStatus.Listeners);
            });
  text << "# HELP tapevault_web_failed_logins_total Requests with wrong credentials since the web server started.\n"
          "# TYPE tapevault_web_failed_logins_total counter\n"
          "tapevault_web_failed_logins_total "
       << iLogins.FailedLogins << '\n';
  text << "# HELP tapevault_web_login_lockouts_total Client addresses refused for a while after repeated failed "
          "logins.\n"
          "# TYPE tapevault_web_login_lockouts_total counter\n"
          "tapevault_web_login_lockouts_total "
       << iLogins.LockOuts << '\n';
  return text.str();
}
