// Encoders on channels.

#include "audio/engine/AudioEngine.h"
#include "audio/engine/CastSender.h"
#include "audio/engine/ChainEncoder.h"
#include "audio/engine/Channel.h"
#include "audio/engine/EngineState.h"
#include "audio/engine/LastError.h"

uint32_t TAudioEngine::EncodeStart(uint32_t iChannel, const std::string& iCommand, uint32_t iFlags,
                                   TEncodeNotify iNotify, uint32_t iReplaces)
{
  TEngineState& State = TEngineState::Instance();
  std::lock_guard Lock(State.Graph);
  THandleTable& Table = THandleTable::Instance();
  TPinned<TChannel> Channel = Table.Pin<TChannel>(iChannel);
  if (!Channel)
    return Fail(ecHandle, 0u);
  if (!Channel->Format().Float)
    return Fail(ecFormat, 0u);
  TPinned<TChainEncoder> Old;
  if (iReplaces)
  {
    Old = Table.Pin<TChainEncoder>(iReplaces);
    if (!Old || &Old->Channel() != Channel.Get() || Old->IsDetached())
      return Fail(ecHandle, 0u);
  }
  auto Element = std::make_unique<TChainEncoder>(*Channel, State.EncodePriority.load(), std::move(iNotify));
  TChainEncoder* Encoder = Element.get();
  uint32_t Handle = Table.Add(std::move(Element));
  if (Handle == 0)
    return Fail(ecNoChannel, 0u);
  // Added before it starts, so that a program that dies at once already notifies with its handle.
  int Error = Encoder->Start(iCommand, iFlags, uint32_t(State.EncodeQueueMilliseconds.load()));
  if (Error != ecOK)
  {
    Table.Remove(Handle);
    return Fail(Error, 0u);
  }
  if (Old)
  {
    Channel->ReplaceElement(Old.Get(), Encoder);
    Old->SetDetached();
  }
  else
    Channel->InsertElement(Encoder);
  return Fail(ecOK, Handle);
}

bool TAudioEngine::EncodeStop(uint32_t iEncoder)
{
  THandleTable& Table = THandleTable::Instance();
  {
    std::lock_guard Lock(TEngineState::Instance().Graph);
    TPinned<TChainEncoder> Encoder = Table.Pin<TChainEncoder>(iEncoder);
    if (!Encoder)
      return Fail(ecHandle, false);
    if (!Encoder->IsDetached())
    {
      Encoder->Channel().RemoveElement(Encoder.Get());
      Encoder->SetDetached();
    }
  }
  // Out of the chain: removing it and waiting for its program need no structural lock.
  std::unique_ptr<TEngineObject> Removed = Table.Remove(iEncoder);
  if (!Removed)
    return Fail(ecHandle, false);
  static_cast<TChainEncoder*>(Removed.get())->Stop();
  return Fail(ecOK, true);
}

int TAudioEngine::EncodeIsActive(uint32_t iEncoder)
{
  TPinned<TChainEncoder> Encoder = THandleTable::Instance().Pin<TChainEncoder>(iEncoder);
  if (!Encoder)
    return Fail(ecHandle, int(esStopped));
  return Fail(ecOK, int(Encoder->IsActive() ? esRunning : esStopped));
}

bool TAudioEngine::EncodeSetNotify(uint32_t iEncoder, TEncodeNotify iNotify)
{
  TPinned<TChainEncoder> Encoder = THandleTable::Instance().Pin<TChainEncoder>(iEncoder);
  if (!Encoder)
    return Fail(ecHandle, false);
  Encoder->SetNotify(std::move(iNotify));
  return Fail(ecOK, true);
}

int64_t TAudioEngine::EncodeReadOutput(uint32_t iEncoder, void* oBuffer, uint32_t iLength, int iTimeoutMilliseconds)
{
  TPinned<TChainEncoder> Encoder = THandleTable::Instance().Pin<TChainEncoder>(iEncoder);
  if (!Encoder)
    return Fail(ecHandle, int64_t(-1));
  if (!oBuffer && iLength > 0)
    return Fail(ecIllegalParam, int64_t(-1));
  int64_t Read = Encoder->ReadOutput(oBuffer, iLength, iTimeoutMilliseconds);
  if (Read < 0)
    return Fail(ecEnded, int64_t(-1));
  return Fail(ecOK, Read);
}

bool TAudioEngine::EncodeGetSpan(uint32_t iEncoder, TEncodeSpan& oSpan)
{
  TPinned<TChainEncoder> Encoder = THandleTable::Instance().Pin<TChainEncoder>(iEncoder);
  if (!Encoder)
    return Fail(ecHandle, false);
  oSpan = Encoder->Span();
  return Fail(ecOK, true);
}

bool TAudioEngine::EncodeGetOutputInfo(uint32_t iEncoder, TEncodeOutputInfo& oInfo)
{
  TPinned<TChainEncoder> Encoder = THandleTable::Instance().Pin<TChainEncoder>(iEncoder);
  if (!Encoder)
    return Fail(ecHandle, false);
  oInfo = Encoder->OutputInfo();
  return Fail(ecOK, true);
}

bool TAudioEngine::EncodeCastInit(uint32_t iEncoder, const std::string& iServer, const std::string& iPassword,
                                  const std::string& iContent, const std::string& iName, const std::string& iURL,
                                  const std::string& iGenre, const std::string& iDescription,
                                  const std::string& iHeaders, uint32_t iBitrate, int iPublic)
{
  TPinned<TChainEncoder> Encoder = THandleTable::Instance().Pin<TChainEncoder>(iEncoder);
  if (!Encoder)
    return Fail(ecHandle, false);
  TCastSettings Settings;
  Settings.Server = iServer;
  Settings.Password = iPassword;
  Settings.Content = iContent;
  Settings.Name = iName;
  Settings.URL = iURL;
  Settings.Genre = iGenre;
  Settings.Description = iDescription;
  Settings.Headers = iHeaders;
  Settings.Bitrate = iBitrate;
  Settings.Public = iPublic != 0;
  const int Error = Encoder->CastInit(Settings, TEngineState::Instance().NetTimeoutMilliseconds.load());
  return Fail(Error, Error == ecOK);
}

bool TAudioEngine::EncodeCastSetTitle(uint32_t iEncoder, const std::string& iTitle, const std::string& iURL)
{
  TPinned<TChainEncoder> Encoder = THandleTable::Instance().Pin<TChainEncoder>(iEncoder);
  if (!Encoder)
    return Fail(ecHandle, false);
  const int Error = Encoder->SetTitle(iTitle, iURL);
  return Fail(Error, Error == ecOK);
}

uint32_t TAudioEngine::EncodeServerInit(uint32_t iEncoder, const std::string& iAddress, uint32_t iBuffer,
                                        uint32_t iBurst, uint32_t iFlags)
{
  TPinned<TChainEncoder> Encoder = THandleTable::Instance().Pin<TChainEncoder>(iEncoder);
  if (!Encoder)
    return Fail(ecHandle, 0u);
  if (iBuffer == 0)
    return Fail(ecIllegalParam, 0u);
  uint16_t Port = 0;
  const int Error = Encoder->ServerInit(iAddress, iBuffer, iBurst, (iFlags & esfSendTitles) != 0, Port);
  return Fail(Error, Error == ecOK ? uint32_t(Port) : 0u);
}
