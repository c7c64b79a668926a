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
  TEngineState& state = TEngineState::Instance();
  std::unique_ptr<TURLStream> stream;
  try
  {
    auto source =
        std::make_unique<TURLSource>(iURL, state.NetTimeoutMilliseconds.load(), state.NetPlaylist.load() != 0, iAbort);
    stream = std::make_unique<TURLStream>(std::move(source), std::move(iDownload));
  }
  catch (const EURLError& error)
  {
    return Fail(error.Code(), 0u);
  }
  catch (const std::bad_alloc&)
  {
    return Fail(ecMemory, 0u);
  }
  TURLStream* started = stream.get();
  uint32_t handle = 0;
  {
    std::lock_guard lock(state.Graph);
    handle = THandleTable::Instance().Add(std::move(stream));
  }
  if (handle == 0)
    return Fail(ecNoChannel, 0u);
  started->Start();
  return Fail(ecOK, handle);
}

int TAudioEngine::StreamGetEndCode(uint32_t iHandle)
{
  TPinned<TURLStream> stream = THandleTable::Instance().Pin<TURLStream>(iHandle);
  if (!stream)
    return Fail(ecHandle, int(ecUnknown));
  return Fail(ecOK, stream->EndCode());
}

uint32_t TAudioEngine::ChannelSetSync(uint32_t iHandle, uint32_t iType, TSyncProc iProc)
{
  TPinned<TURLStream> stream = THandleTable::Instance().Pin<TURLStream>(iHandle);
  if (!stream)
    return Fail(ecHandle, 0u);
  if (iType != syMeta && iType != syEnd)
    return Fail(ecIllegalType, 0u);
  return Fail(ecOK, stream->AddSync(iType, std::move(iProc)));
}

bool TAudioEngine::ChannelRemoveSync(uint32_t iHandle, uint32_t iSync)
{
  TPinned<TURLStream> stream = THandleTable::Instance().Pin<TURLStream>(iHandle);
  if (!stream)
    return Fail(ecHandle, false);
  return stream->RemoveSync(iSync) ? Fail(ecOK, true) : Fail(ecHandle, false);
}

std::string TAudioEngine::ChannelGetTags(uint32_t iHandle, uint32_t iTags)
{
  TPinned<TURLStream> stream = THandleTable::Instance().Pin<TURLStream>(iHandle);
  if (!stream)
    return Fail(ecHandle, std::string());
  if (iTags != tgMeta)
    return Fail(ecIllegalType, std::string());
  std::string text = stream->Metadata();
  return text.empty() ? Fail(ecNotAvailable, text) : Fail(ecOK, text);
}
