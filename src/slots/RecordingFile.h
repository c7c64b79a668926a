#pragma once
// One recording file from its start to its stored end: shared by the slot, which writes it, and the jobs of
// the slot's worker, which give it its database row, stop its encoder and store its length.

#include "lib/DateTime.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>

// What writes a recording file.
enum TFileEncoderKind
{
  fkProgram, // an encoder program
  fkLibrary, // a codec library in the process
  fkWAV,     // the engine's WAV writer
};

struct TRecordingFile
{
  std::string RelativeName; // as the row stores it, relative to the slot's folder
  std::string FullName;
  TDateTime StartTime = 0;
  TFileEncoderKind EncoderKind = fkProgram;
  std::atomic<int> ID{0};                // the row, once the worker inserted it
  std::atomic<bool> Died{false};         // the encoder ended by itself: what reached the file is measured
  bool InsertReported = false;           // worker only: a failed insert was logged
  bool EndReported = false;              // worker only: a failed update of its end was logged
  bool Abandoned = false;                // worker only: the file stayed empty and was removed; no row wanted
  bool InsertKept = false;               // worker only: its row waits in the journal
  bool EndKept = false;                  // worker only: its end waits in the journal
  bool InJournal = false;                // worker only: the journal holds lines of it
  std::optional<double> Seconds;         // worker only: the length its row stores, settled once at its end
  int JournalledDropouts = 0;            // controller only: the dropout count last handed to the journal
  std::atomic<double> DropoutSeconds{0}; // audio lost while it was written: input dropouts, a dying encoder
  std::atomic<int> DropoutCount{0};

  // Counts iSeconds of audio lost iAt seconds into the file.
  void AddDropout(double iAt, double iSeconds)
  {
    DropoutSeconds.fetch_add(iSeconds, std::memory_order_relaxed);
    ++DropoutCount;
    // Its place is noted for the first kMaxDropoutMarks only, so that an input that fails all day cannot grow
    // the row.
    char mark[48];
    std::snprintf(mark, sizeof(mark), "%.2f+%.2f", iAt < 0 ? 0.0 : iAt, iSeconds);
    std::lock_guard lock(fMarksLock);
    if (fMarkCount == kMaxDropoutMarks)
      return;
    if (fMarkCount++ > 0)
      fMarks += ',';
    fMarks += mark;
  }
  // The marks as the row stores them: "<seconds into the file>+<seconds lost>", separated by ",".
  std::string DropoutMarks() const
  {
    std::lock_guard lock(fMarksLock);
    return fMarks;
  }

  // The slot's folder the file was started in, with its "/" at the end.
  std::string Folder() const { return FullName.substr(0, FullName.size() - RelativeName.size()); }

  static constexpr int kMaxDropoutMarks = 100;

private:
  mutable std::mutex fMarksLock;
  std::string fMarks;
  int fMarkCount = 0;
};
