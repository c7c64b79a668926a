#pragma once
// Slot view sources with made-up slots for the window's benchmark and screenshots: no audio, every state.

#include "ui/SlotView.h"

#include <chrono>
#include <cmath>
#include <string>
#include <vector>

// Six slots, one per state the view shows.
class TDemoStatesSource : public ISlotViewSource
{
public:
  TDemoStatesSource()
  {
    constexpr int64_t Hour = 3600 * 1000;
    TSlotCellData d;
    d.Name = "Morning Show";
    d.RecordSource = rsSoundcard;
    d.DeviceName = "PulseAudio: Studio A";
    d.EncoderRunning = true;
    d.CurrentFilename = "/srv/rec/morning/2024/05/14/2024-05-14-09-00-00.mp3";
    d.RecordingMilliseconds = 27 * 60 * 1000 + 13000;
    d.SilenceMilliseconds = 4000;
    d.LevelLeft = 0.35f;
    d.LevelRight = 0.6f;
    d.NominalLevel = -9;
    fSlots.push_back(d);

    d = TSlotCellData();
    d.Name = "Studio B";
    d.RecordSource = rsSoundcard;
    d.ErrorMessage = "Invalid device";
    fSlots.push_back(d);

    d = TSlotCellData();
    d.Name = "Web Radio";
    d.RecordSource = rsStream;
    d.StreamOpen = true;
    d.StreamTitle = "Artist - Song of the Day";
    d.EncoderRunning = true;
    d.CurrentFilename = "/srv/rec/web/2024-05-14-09-00-00.ogg";
    d.RecordingMilliseconds = 25 * Hour + 61000;
    d.StreamingEnabled = true;
    d.StreamingStatus = ssConnected;
    d.StreamingActiveMilliseconds = (2 * 24 + 3) * Hour;
    d.LevelLeft = 1.2f;
    d.LevelRight = 0.05f;
    fSlots.push_back(d);

    d = TSlotCellData();
    d.Name = "Night Archive";
    d.RecordSource = rsSoundcard;
    d.DeviceName = "ALSA: USB Audio";
    d.Enabled = false;
    fSlots.push_back(d);

    d = TSlotCellData();
    d.Name = "Alarm Line";
    d.RecordSource = rsSoundcard;
    d.DeviceName = "ALSA: Line In";
    d.AudioFormat = sfNone;
    d.StreamingEnabled = true;
    d.StreamingStatus = ssConnecting;
    d.StreamingMessage = "icecast.example.org:8000";
    d.LevelLeft = d.LevelRight = 0.01f;
    fSlots.push_back(d);

    d = TSlotCellData();
    d.Name = "Spare";
    fSlots.push_back(d);
  }
  int SlotCount() const override { return static_cast<int>(fSlots.size()); }
  TSlotCellData CellData(int iSlot) override { return fSlots[static_cast<size_t>(iSlot)]; }

private:
  std::vector<TSlotCellData> fSlots;
};

// Any number of recording slots whose levels move at every repaint and whose running times count the seconds,
// like a busy installation.
class TDemoRecordingSource : public ISlotViewSource
{
public:
  explicit TDemoRecordingSource(int iCount) : fCount(iCount) {}
  int SlotCount() const override { return fCount; }
  TSlotCellData CellData(int iSlot) override
  {
    ++fCalls;
    TSlotCellData d;
    d.Name = "Slot " + std::to_string(iSlot + 1);
    d.RecordSource = rsSoundcard;
    d.DeviceName = "PulseAudio: Input " + std::to_string(iSlot + 1);
    d.EncoderRunning = true;
    d.CurrentFilename = "/srv/rec/slot" + std::to_string(iSlot + 1) + "/2024/05/14/2024-05-14-09-00-00.mp3";
    const int64_t now =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
    d.RecordingMilliseconds = now % (3600 * 1000) + iSlot * 1000;
    d.SilenceMilliseconds = 0;
    d.LevelLeft = static_cast<float>(0.5 + 0.5 * std::sin(fCalls * 0.01 + iSlot));
    d.LevelRight = static_cast<float>(0.5 + 0.5 * std::cos(fCalls * 0.013 + iSlot));
    d.NominalLevel = -9;
    d.StreamingEnabled = iSlot % 4 == 0;
    d.StreamingStatus = ssConnected;
    d.StreamingActiveMilliseconds = d.RecordingMilliseconds;
    return d;
  }

private:
  int fCount;
  int64_t fCalls = 0;
};
