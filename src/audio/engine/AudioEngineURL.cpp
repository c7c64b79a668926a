// Internet streams: opening a URL, its syncs and its metadata.

#include "audio/engine/AudioEngine.h"
#include "audio/engine/EngineState.h"
#include "audio/engine/LastError.h"
#include "audio/engine/URLSource.h"
#include "audio/engine/URLStream.h"

#include <new>

uint32_t TAudioEngine::StreamCreateURL(const std::string& iURL, uint32_t iOffset, uint32_t iFlags,
                                       TDownloadProc iDownload, const std::atomic<bool>* iAbort)
{
  // Only live decoding from the start: what a recorder needs.
  if (!(iFlags & chDecode) || iOffset != 0)
    return Fail(ecNotAvailable, 0u);
  TEngineState& State = TEngineState::Instance();
  std::unique_ptr<TURLStream> Stream;
  try
  {
    auto Source =
        std::make_unique<TURLSource>(iURL, State.NetTimeoutMilliseconds.load(), State.NetPlaylist.load() != 0, iAbort);
    Stream = std::make_unique<TURLStream>(std::move(Source), std::move(iDownload));
  }
  catch (const EURLError& Error)
  {
    return Fail(Error.Code(), 0u);
  }
  catch (const std::bad_alloc&)
  {
    return Fail(ecMemory, 0u);
  }
  TURLStream* Started = Stream.get();
  uint32_t Handle = 0;
  {
    std::lock_guard Lock(State.Graph);
    Handle = THandleTable::Instance().Add(std::move(Stream));
  }
  if (Handle == 0)
    return Fail(ecNoChannel, 0u);
  Started->Start();
  return Fail(ecOK, Handle);
}

uint32_t TAudioEngine::ChannelSetSync(uint32_t iHandle, uint32_t iType, TSyncProc iProc)
{
  TPinned<TURLStream> Stream = THandleTable::Instance().Pin<TURLStream>(iHandle);
  if (!Stream)
    return Fail(ecHandle, 0u);
  if (iType != syMeta && iType != syEnd)
    return Fail(ecIllegalType, 0u);
  return Fail(ecOK, Stream->AddSync(iType, std::move(iProc)));
}

bool TAudioEngine::ChannelRemoveSync(uint32_t iHandle, uint32_t iSync)
{
  TPinned<TURLStream> Stream = THandleTable::Instance().Pin<TURLStream>(iHandle);
  if (!Stream)
    return Fail(ecHandle, false);
  return Stream->RemoveSync(iSync) ? Fail(ecOK, true) : Fail(ecHandle, false);
}

std::string TAudioEngine::ChannelGetTags(uint32_t iHandle, uint32_t iTags)
{
  TPinned<TURLStream> Stream = THandleTable::Instance().Pin<TURLStream>(iHandle);
  if (!Stream)
    return Fail(ecHandle, std::string());
  if (iTags != tgMeta)
    return Fail(ecIllegalType, std::string());
  std::string Text = Stream->Metadata();
  return Text.empty() ? Fail(ecNotAvailable, Text) : Fail(ecOK, Text);
}
