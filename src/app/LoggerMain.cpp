#include "app/LoggerMain.h"

#include "app/ExitBound.h"
#include "app/TapevaultGlobals.h"
#include "app/TimeSlot.h"
#include "audio/AudioDevices.h"
#include "audio/engine/EncoderScheduling.h"
#include "lib/DateTime.h"
#include "lib/Errors.h"
#include "lib/TapevaultTools.h"
#include "notify/AlarmEmail.h"
#include "notify/EmailAlarmSender.h"
#include "notify/HTTPAlarmSender.h"
#include "slots/SlotInfo.h"
#include "web/StaticContent.h"
#include "web/WebServer.h"

#include <algorithm>
#include <optional>

namespace
{
constexpr int TimerInterval = 100;        // ms: rotation and silence checks
constexpr int StreamTitleInterval = 1000; // ms: title files of the outgoing streams
// An encoder program for the next aligned file starts this long before its boundary.
constexpr double kStandbyLeadSeconds = 3;

// Of the 5 s a close may take, the slots' workers get this long to store the last rows; then the rest goes to
// the journals and the settings are written.
constexpr std::chrono::milliseconds WorkerFinishTime{3000};

constexpr const char* EncryptionWords[] = {"none", "STARTTLS", "SSL"};

TEmailEncryption EncryptionFromWord(const std::string& iWord)
{
  for (int i = 0; i < 3; ++i)
    if (iWord == EncryptionWords[i])
      return static_cast<TEmailEncryption>(i);
  return eeNone;
}
} // namespace

TLoggerMain::TLoggerMain(QObject* iParent) : QObject(iParent), fSettings(ReadGlobalSettings(ConfigFile()))
{
  // This thread changes the files at their boundaries: behind the encoders it hands them to, every slot's change
  // would wait for the encoders' work of the slots changed before it.
  FavourEncoderTask(0);
  timTimer.setInterval(TimerInterval);
  timSilenceDetection.setInterval(TimerInterval);
  connect(&timTimer, &QTimer::timeout, this, &TLoggerMain::timTimerTimer);
  connect(&timSilenceDetection, &QTimer::timeout, this, &TLoggerMain::timSilenceDetectionTimer);
  timStreamTitle.setInterval(StreamTitleInterval);
  connect(&timStreamTitle, &QTimer::timeout, this, &TLoggerMain::timStreamTitleTimer);
  fWebServer = std::make_unique<TWebServer>(*this, TStaticContent::DefaultFolder());
}

TLoggerMain::~TLoggerMain()
{
  timTimer.stop();
  timSilenceDetection.stop();
  timStreamTitle.stop();
  fWebServer.reset();
  fHTTPAlarmSender.reset();
  fEmailAlarmSender.reset();
  // Every slot ends its file first, so that all encoder programs finish their files at the same time. The
  // sections reach the file in one write (one per slot would cost time in proportion to the square of the slot
  // count), before the slots wait for their workers: the bound on the end never cuts it. Then each slot waits
  // for its worker, until one deadline counted from the close request. Their threads may still log while they
  // end, which never blocks them (the log hands over without waiting).
  const auto deadline = fCloseTime.value_or(std::chrono::steady_clock::now()) + WorkerFinishTime;
  for (const std::unique_ptr<TSlotInfo>& slot : fSlotInfo)
    slot->EndRecording();
  WriteConfigOnce(
      [this]
      {
        for (const std::unique_ptr<TSlotInfo>& slot : fSlotInfo)
          try
          {
            slot->FlushConfig();
          }
          catch (const std::exception& e)
          {
            slot->LogMessage(e.what());
          }
      });
  bool leftBehind = false;
  // Destroy writes the same sections again, which changes nothing.
  WriteConfigOnce(
      [this, deadline, &leftBehind]
      {
        for (std::unique_ptr<TSlotInfo>& slot : fSlotInfo)
        {
          try
          {
            slot->Destroy(deadline);
          }
          catch (const std::exception& e)
          {
            slot->LogMessage(e.what());
          }
          // A worker left to a job that does not return still uses its slot: that slot is not freed.
          if (slot->LeftBehind())
          {
            leftBehind = true;
            static_cast<void>(slot.release());
          }
          slot.reset();
        }
        fSlotInfo.clear();
      });
  fLog.HandleLogPending();
  if (leftBehind)
    TExitBound::EndProcess("Threads that did not end in time are left behind; the program ends now");
}

void TLoggerMain::WriteConfigOnce(const std::function<void()>& iWrites)
{
  ConfigFile().BeginUpdate();
  iWrites();
  try
  {
    ConfigFile().EndUpdate();
    ConfigFile().UpdateFile();
  }
  catch (const std::exception& e)
  {
    AddLogMessage(e.what());
  }
}

void TLoggerMain::Start()
{
  const TSlotCounts counts = ReadSlotCounts(ConfigFile());
  if (!counts.Warning.empty())
    AddLogMessage(counts.Warning);
  fFullSlotCount = counts.Full;
  fAlarmSlotCount = counts.AlarmOnly;
  const int slotCount = fFullSlotCount + fAlarmSlotCount;

  for (int i = 0; i < slotCount; ++i)
  {
    auto slot = std::make_unique<TSlotInfo>(ConfigFile(), i, i >= fFullSlotCount);
    slot->SetOnLogMessage([this](TSlotInfo*, const std::string& iMessage) { AddLogMessage(iMessage); });
    // Before the first file of this run, so that only what the last run left is repaired.
    slot->RepairRecordings();
    slot->Initialize();
    slot->StartRecording();
    fSlotInfo.push_back(std::move(slot));
  }
  fFirstRotationDone.assign(fSlotInfo.size(), false);

  fHTTPAlarmSender = std::make_unique<THTTPAlarmSender>([this](const std::string& iLine) { AddLogMessage(iLine); },
                                                        TCertificateCheck{fSettings.HTTPAlarmVerifyCertificate, ""});
  fHTTPAlarmSender->Start();
  fEmailAlarmSender = std::make_unique<TEmailAlarmSender>([this](const std::string& iLine) { AddLogMessage(iLine); });
  fEmailAlarmSender->Start();

  timTimer.start();
  timSilenceDetection.start();
  timStreamTitle.start();
}

void TLoggerMain::Close()
{
  try
  {
    FlushGlobalConfig();
  }
  catch (const std::exception& e)
  {
    AddLogMessage(e.what());
  }
  fClosing = true;
  fCloseTime = std::chrono::steady_clock::now();
  StopWebServer();
}

void TLoggerMain::FlushGlobalConfig()
{
  fSettings.WebServerEnabled = fWebServer && fWebServer->Active();
  WriteGlobalSettings(ConfigFile(), fSettings, WriteJACKDeviceSections);
}

void TLoggerMain::PostSlotStart(int iSlot)
{
  QMetaObject::invokeMethod(
      this, [this, iSlot] { HandleSlotStart(static_cast<unsigned>(iSlot)); }, Qt::QueuedConnection);
}

void TLoggerMain::PostSlotStop(int iSlot)
{
  QMetaObject::invokeMethod(
      this, [this, iSlot] { HandleSlotStop(static_cast<unsigned>(iSlot)); }, Qt::QueuedConnection);
}

void TLoggerMain::HandleSlotStart(unsigned iSlot)
{
  SwitchSlot(iSlot, true);
}

void TLoggerMain::HandleSlotStop(unsigned iSlot)
{
  SwitchSlot(iSlot, false);
}

void TLoggerMain::SwitchSlot(unsigned iSlot, bool iEnabled)
{
  if (iSlot >= fSlotInfo.size())
    return;
  // A queued call has no caller to take an error: it becomes the slot's error text and a log line.
  TSlotInfo& slot = *fSlotInfo[iSlot];
  try
  {
    slot.SetEnabled(iEnabled);
  }
  catch (const std::exception& e)
  {
    slot.SetErrorMessage(e.what());
    slot.LogMessage(e.what());
  }
}

void TLoggerMain::AddLogMessage(const std::string& iMessage)
{
  fLog.AddLogMessage(iMessage);
}

void TLoggerMain::PostToControllerThread(std::function<void()> iWork)
{
  QMetaObject::invokeMethod(this, std::move(iWork), Qt::QueuedConnection);
}

TWebProgramSettings TLoggerMain::ProgramSettings() const
{
  TWebProgramSettings result;
  result.WebServer = WebServerSettings();
  result.Email.SMTPServer = fSettings.SMTPServer;
  result.Email.SMTPPort = fSettings.SMTPPort;
  result.Email.Encryption = EncryptionWords[fSettings.Encryption];
  result.Email.User = fSettings.User;
  result.Email.Password = fSettings.Password;
  result.Email.FromAddress = fSettings.FromAddress;
  result.Email.Receipients = fSettings.Receipients;
  result.Email.VerifyCertificate = fSettings.VerifyCertificate ? "on" : "off";
  return result;
}

TSlotSettingsOutcome TLoggerMain::ApplySlotSettings(int iSlot, const TSlotSettings& iSettings,
                                                    const TSettingsEditor& iEditor)
{
  return ::ApplySlotSettings(Slot(iSlot), iSettings, iEditor,
                             [this](const std::string& iMessage) { AddLogMessage(iMessage); });
}

void TLoggerMain::ChangeProgramSettings(const TWebProgramSettings& iSettings)
{
  const TAccessSettings& access = iSettings.WebServer.Access;
  fSettings.Port = iSettings.WebServer.Port;
  fSettings.AdminUser = access.AdminUser;
  fSettings.AdminPasswordHash = access.AdminPasswordHash;
  fSettings.ReadOnlyUser = access.ReadOnlyUser;
  fSettings.ReadOnlyPasswordHash = access.ReadOnlyPasswordHash;
  fSettings.AnonymousAccess = access.AnonymousAccess == alAdmin      ? aaAdmin
                              : access.AnonymousAccess == alReadOnly ? aaReadOnly
                                                                     : aaNone;
  fSettings.SMTPServer = iSettings.Email.SMTPServer;
  fSettings.SMTPPort = iSettings.Email.SMTPPort;
  fSettings.Encryption = EncryptionFromWord(iSettings.Email.Encryption);
  fSettings.User = iSettings.Email.User;
  fSettings.Password = iSettings.Email.Password;
  fSettings.FromAddress = iSettings.Email.FromAddress;
  fSettings.Receipients = iSettings.Email.Receipients;
  fSettings.VerifyCertificate = iSettings.Email.VerifyCertificate != "off";
  FlushGlobalConfig();
}

std::string TLoggerMain::SendTestEmail(const TWebEmailSettings& iSettings)
{
  TEmailSettings email;
  email.Server = iSettings.SMTPServer;
  email.Port = iSettings.SMTPPort;
  email.Encryption = EncryptionFromWord(iSettings.Encryption);
  email.User = iSettings.User;
  email.Password = iSettings.Password;
  email.From = iSettings.FromAddress;
  email.Recipients = iSettings.Receipients;
  email.Certificate.Verify = iSettings.VerifyCertificate != "off";
  ::SendTestEmail(email);
  return TestEmailSentText;
}

TWebServerSettings TLoggerMain::WebServerSettings() const
{
  TWebServerSettings result;
  result.Port = fSettings.Port;
  result.Access.AdminUser = fSettings.AdminUser;
  result.Access.AdminPasswordHash = fSettings.AdminPasswordHash;
  result.Access.ReadOnlyUser = fSettings.ReadOnlyUser;
  result.Access.ReadOnlyPasswordHash = fSettings.ReadOnlyPasswordHash;
  result.AllowProgramSettings = fSettings.AllowProgramSettings;
  result.Access.AnonymousAccess = fSettings.AnonymousAccess == aaAdmin      ? alAdmin
                                  : fSettings.AnonymousAccess == aaReadOnly ? alReadOnly
                                                                            : alNone;
  result.CertificateFile = fSettings.CertificateFile;
  result.KeyFile = fSettings.KeyFile;
  return result;
}

void TLoggerMain::WebServerStateChanged(bool)
{
  if (fClosing)
    return;
  try
  {
    FlushGlobalConfig();
  }
  catch (const std::exception& e)
  {
    AddLogMessage(e.what());
  }
}

bool TLoggerMain::StartWebServer(std::string& oError)
{
  return fWebServer->Start(oError);
}

void TLoggerMain::StopWebServer()
{
  if (fWebServer)
    fWebServer->Stop();
}

void TLoggerMain::timTimerTimer()
{
  // Every slot's file change first, then the checks: a slot's boundary waits for no other slot's checks.
  for (size_t i = 0; i < fSlotInfo.size(); ++i)
  {
    TSlotInfo& slot = *fSlotInfo[i];
    try
    {
      RotateIfDue(i);
    }
    catch (const std::exception& e)
    {
      slot.LogMessage(e.what());
    }
  }
  for (const std::unique_ptr<TSlotInfo>& slot : fSlotInfo)
  {
    try
    {
      slot->CheckInput();
      slot->CheckEncoder();
    }
    catch (const std::exception& e)
    {
      slot->LogMessage(e.what());
    }
  }
  ScheduleBoundaryTick();
}

void TLoggerMain::RotateIfDue(size_t iSlot)
{
  TSlotInfo& slot = *fSlotInfo[iSlot];
  const TSlotSettings::TTimeSlots timeSlots = slot.Settings(&TSlotSettings::TimeSlots);
  if (timeSlots.NoAutoRotate)
    return;
  if (timeSlots.Align)
  {
    const TDateTime now = Now();
    const TDateTime start = AlignedTimeSlotStart(now, timeSlots.Length, timeSlots.Offset);
    if (start == slot.LastTimeSlot())
    {
      const TDateTime upcoming =
          AlignedTimeSlotStart(now + kStandbyLeadSeconds / SecsPerDay, timeSlots.Length, timeSlots.Offset);
      if (upcoming != start)
        slot.PrepareStandby(upcoming, upcoming + timeSlots.Offset / SecsPerDay);
      return;
    }
    // Noted before the change: a change that fails (the database cannot be opened) is not retried at every
    // tick, which would start a new file ten times a second.
    slot.SetLastTimeSlot(start);
  }
  else
  {
    if (fFirstRotationDone[iSlot] &&
        !LengthElapsed(MillisecondClock(), static_cast<uint64_t>(slot.RecordStartTickCount()), timeSlots.Length))
      return;
    fFirstRotationDone[iSlot] = true;
  }
  slot.CycleEncoder();
  slot.RequestCleanup();
}

void TLoggerMain::ScheduleBoundaryTick()
{
  // The 100 ms tick alone would change files up to 100 ms after the boundary: a boundary that falls before the
  // next tick gets a tick of its own, at that moment.
  const TDateTime now = Now();
  const TDateTime next = now + TimerInterval / MSecsPerDay;
  std::optional<TDateTime> earliest;
  for (const std::unique_ptr<TSlotInfo>& slot : fSlotInfo)
  {
    const TSlotSettings::TTimeSlots timeSlots = slot->Settings(&TSlotSettings::TimeSlots);
    if (timeSlots.NoAutoRotate || !timeSlots.Align)
      continue;
    const TDateTime start = AlignedTimeSlotStart(next, timeSlots.Length, timeSlots.Offset);
    if (start == slot->LastTimeSlot() || start == AlignedTimeSlotStart(now, timeSlots.Length, timeSlots.Offset))
      continue;
    const TDateTime boundary = start + timeSlots.Offset / SecsPerDay;
    earliest = earliest ? std::min(*earliest, boundary) : boundary;
  }
  if (earliest)
    QTimer::singleShot(std::max(0, static_cast<int>((*earliest - now) * MSecsPerDay) + 1), Qt::PreciseTimer, this,
                       &TLoggerMain::timTimerTimer);
}

void TLoggerMain::SendAlarmEmail(const std::string& iText)
{
  fEmailAlarmSender->QueueAlarmEmail(EmailAccount(fSettings), iText);
}

void TLoggerMain::timSilenceDetectionTimer()
{
  for (const std::unique_ptr<TSlotInfo>& slotRef : fSlotInfo)
  {
    TSlotInfo& slot = *slotRef;
    const int alarmAfter = slot.WatchedSilenceDetection();
    if (alarmAfter <= 0)
      continue;
    const TSlotSettings::TSilence silence = slot.Settings(&TSlotSettings::Silence);
    const auto seconds = static_cast<int>(slot.GetCurrentSilenceDurationMilliseconds() / 1000);
    if (seconds >= alarmAfter && !slot.SilenceDetected())
    {
      const std::string text =
          Format("Slot \"%s\" SILENCE DETECTED (%d seconds)", slot.Settings(&TSlotSettings::Name).c_str(), seconds);
      AddLogMessage(text);
      fHTTPAlarmSender->QueueHTTPAlarm(silence.HTTPAlarmDetected);
      if (silence.EmailDetected)
        SendAlarmEmail(text);
      slot.SetSilenceDetected(true);
    }
    else if (seconds < alarmAfter && slot.SilenceDetected())
    {
      const std::string text = Format("Slot \"%s\" SILENCE OK", slot.Settings(&TSlotSettings::Name).c_str());
      AddLogMessage(text);
      fHTTPAlarmSender->QueueHTTPAlarm(silence.HTTPAlarmOK);
      if (silence.EmailOK)
        SendAlarmEmail(text);
      slot.SetSilenceDetected(false);
    }
  }
}

void TLoggerMain::timStreamTitleTimer()
{
  for (const std::unique_ptr<TSlotInfo>& slot : fSlotInfo)
  {
    try
    {
      slot->UpdateOutgoingStreamTitle();
    }
    catch (const std::exception& e)
    {
      slot->LogMessage(e.what());
    }
  }
}
