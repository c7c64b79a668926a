#include "web/HTTPDaemon.h"

#include "web/ClientAddress.h"
#include "web/WebDispatcher.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <microhttpd.h>
#include <optional>
#include <stdexcept>
#include <vector>

namespace
{
// Form bodies larger than this are refused; nothing the server offers needs more.
constexpr size_t cBodyLimit = 1024 * 1024;

struct TPostProcessorDeleter
{
  void operator()(MHD_PostProcessor* iProcessor) const { MHD_destroy_post_processor(iProcessor); }
};

// One request between the engine's calls of the access handler.
struct TRequestContext
{
  TWebRequest Request;
  std::unique_ptr<MHD_PostProcessor, TPostProcessorDeleter> PostProcessor;
  size_t BodySize = 0;
  bool Answered = false;
};

bool IsGetPostOrHead(const std::string& iMethod)
{
  return iMethod == "GET" || iMethod == "POST" || iMethod == "HEAD";
}

MHD_Result AddArgument(void* iParams, MHD_ValueKind, const char* iKey, const char* iValue)
{
  static_cast<std::vector<std::pair<std::string, std::string>>*>(iParams)->emplace_back(iKey ? iKey : "",
                                                                                        iValue ? iValue : "");
  return MHD_YES;
}

// Form fields arrive in pieces; a piece with a non-zero offset continues the last field.
MHD_Result AddFormField(void* iContext, MHD_ValueKind, const char* iKey, const char*, const char*, const char*,
                        const char* iData, uint64_t iOffset, size_t iSize)
{
  auto& params = static_cast<TRequestContext*>(iContext)->Request.Params;
  const std::string piece(iData ? iData : "", iData ? iSize : 0);
  if (iOffset > 0 && !params.empty())
    params.back().second += piece;
  else
    params.emplace_back(iKey ? iKey : "", piece);
  return MHD_YES;
}

std::string ConnectionAddress(MHD_Connection* iConnection)
{
  const MHD_ConnectionInfo* info = MHD_get_connection_info(iConnection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
  return info ? ClientAddressText(info->client_addr) : "";
}

void ReadRequestHeaders(MHD_Connection* iConnection, TWebRequest& oRequest)
{
  MHD_get_connection_values(iConnection, MHD_GET_ARGUMENT_KIND, &AddArgument, &oRequest.Params);
  oRequest.HasAuthorization =
      MHD_lookup_connection_value(iConnection, MHD_HEADER_KIND, MHD_HTTP_HEADER_AUTHORIZATION) != nullptr;
  char* password = nullptr;
  if (char* user = MHD_basic_auth_get_username_password(iConnection, &password))
  {
    oRequest.Credentials = TWebCredentials{user, password ? password : ""};
    MHD_free(user);
  }
  if (password)
    MHD_free(password);
  const auto header = [iConnection](const char* iName) -> std::optional<std::string>
  {
    const char* value = MHD_lookup_connection_value(iConnection, MHD_HEADER_KIND, iName);
    return value ? std::optional<std::string>(value) : std::nullopt;
  };
  oRequest.Range = header(MHD_HTTP_HEADER_RANGE);
  oRequest.AcceptEncoding = header(MHD_HTTP_HEADER_ACCEPT_ENCODING);
  oRequest.IfNoneMatch = header(MHD_HTTP_HEADER_IF_NONE_MATCH);
  oRequest.IfModifiedSince = header(MHD_HTTP_HEADER_IF_MODIFIED_SINCE);
  oRequest.ContentType = header(MHD_HTTP_HEADER_CONTENT_TYPE).value_or("");
  oRequest.Host = header(MHD_HTTP_HEADER_HOST).value_or("");
  oRequest.Origin = header("Origin");
  oRequest.FetchSite = header("Sec-Fetch-Site");
  oRequest.ClientAddress = ConnectionAddress(iConnection);
}

void DeleteText(void* iText)
{
  delete static_cast<std::string*>(iText);
}

// An endless answer's state on its connection: the piece being sent and how much of it went.
struct TStreamReader
{
  std::function<std::string()> Next;
  std::string Piece;
  size_t Sent = 0;
};

ssize_t ReadStream(void* iReader, uint64_t, char* oBuffer, size_t iMax)
{
  auto& reader = *static_cast<TStreamReader*>(iReader);
  if (reader.Sent == reader.Piece.size())
  {
    reader.Piece = reader.Next();
    reader.Sent = 0;
    if (reader.Piece.empty())
      return MHD_CONTENT_READER_END_OF_STREAM;
  }
  const size_t count = std::min(iMax, reader.Piece.size() - reader.Sent);
  std::memcpy(oBuffer, reader.Piece.data() + reader.Sent, count);
  reader.Sent += count;
  return static_cast<ssize_t>(count);
}

void FreeStream(void* iReader)
{
  delete static_cast<TStreamReader*>(iReader);
}

MHD_Response* CreateEngineResponse(TWebBody& ioBody)
{
  static char empty[] = "";
  if (auto* text = std::get_if<std::string>(&ioBody))
  {
    auto holder = std::make_unique<std::string>(std::move(*text));
    MHD_Response* response = MHD_create_response_from_buffer_with_free_callback_cls(holder->size(), holder->data(),
                                                                                    &DeleteText, holder.get());
    if (response)
      holder.release();
    return response;
  }
  if (auto* data = std::get_if<std::string_view>(&ioBody))
    return MHD_create_response_from_buffer(data->size(), const_cast<char*>(data->data()), MHD_RESPMEM_PERSISTENT);
  if (auto* file = std::get_if<TFileBody>(&ioBody); file && file->Length > 0)
  {
    MHD_Response* response =
        MHD_create_response_from_fd_at_offset64(file->Length, file->File.Get(), static_cast<int64_t>(file->Offset));
    if (response)
      file->File.Release();
    return response;
  }
  if (auto* stream = std::get_if<TStreamBody>(&ioBody))
  {
    auto reader = std::make_unique<TStreamReader>(TStreamReader{std::move(stream->Next), {}, 0});
    MHD_Response* response =
        MHD_create_response_from_callback(MHD_SIZE_UNKNOWN, 4096, &ReadStream, reader.get(), &FreeStream);
    if (response)
      reader.release();
    return response;
  }
  return MHD_create_response_from_buffer(0, empty, MHD_RESPMEM_PERSISTENT);
}

TRequestDeadline::TConnection* WatchedConnection(MHD_Connection* iConnection)
{
  const MHD_ConnectionInfo* info = MHD_get_connection_info(iConnection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
  return info ? static_cast<TRequestDeadline::TConnection*>(info->socket_context) : nullptr;
}

// The request arrived whole: the deadline rests until the answer is sent.
MHD_Result QueueAnswer(THTTPDaemon::TContext& ioDaemon, MHD_Connection* iConnection, TWebResponse iAnswer)
{
  if (auto* watched = WatchedConnection(iConnection))
    ioDaemon.Deadline.Arrived(watched);
  MHD_Response* response = CreateEngineResponse(iAnswer.Body);
  if (!response)
    return MHD_NO;
  if (!iAnswer.ContentType.empty())
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, iAnswer.ContentType.c_str());
  for (const auto& [name, value] : iAnswer.Headers)
    MHD_add_response_header(response, name.c_str(), value.c_str());
  const MHD_Result result = MHD_queue_response(iConnection, static_cast<unsigned>(iAnswer.Status), response);
  MHD_destroy_response(response);
  return result;
}

TWebResponse BodyTooLargeAnswer()
{
  TWebResponse answer;
  answer.Status = MHD_HTTP_CONTENT_TOO_LARGE;
  answer.ContentType = "text/html; charset=ISO-8859-1";
  answer.Body = std::string("Request body too large");
  return answer;
}

MHD_Result HandleAccess(void* iDaemon, MHD_Connection* iConnection, const char* iUrl, const char* iMethod, const char*,
                        const char* iUploadData, size_t* ioUploadDataSize, void** ioContext)
{
  auto& daemon = *static_cast<THTTPDaemon::TContext*>(iDaemon);
  const TWebDispatcher& dispatcher = daemon.Dispatcher;
  try
  {
    if (!*ioContext)
    {
      auto context = std::make_unique<TRequestContext>();
      context->Request.Method = iMethod;
      context->Request.Path = iUrl;
      auto& request = context->Request;
      *ioContext = context.get();
      auto* owned = context.release();
      ReadRequestHeaders(iConnection, request);
      if (!IsGetPostOrHead(request.Method))
      {
        owned->Answered = true;
        return QueueAnswer(daemon, iConnection, dispatcher.CommandOther(request));
      }
      if (request.Method == "POST")
        owned->PostProcessor.reset(MHD_create_post_processor(iConnection, 16 * 1024, &AddFormField, owned));
      return MHD_YES;
    }
    auto& context = *static_cast<TRequestContext*>(*ioContext);
    if (*ioUploadDataSize > 0)
    {
      context.BodySize += *ioUploadDataSize;
      if (!context.Answered && context.BodySize <= cBodyLimit)
      {
        // The engine parses forms; any other body (JSON) is kept as it came.
        if (context.PostProcessor)
          MHD_post_process(context.PostProcessor.get(), iUploadData, *ioUploadDataSize);
        else
          context.Request.Body.append(iUploadData, *ioUploadDataSize);
      }
      *ioUploadDataSize = 0;
      return MHD_YES;
    }
    if (context.Answered)
      return MHD_YES;
    context.Answered = true;
    if (context.BodySize > cBodyLimit)
      return QueueAnswer(daemon, iConnection, BodyTooLargeAnswer());
    return QueueAnswer(daemon, iConnection, dispatcher.CommandGet(context.Request));
  }
  catch (const std::exception&)
  {
    // Only failures to build the request or answer itself (memory) get here: drop the connection.
    return MHD_NO;
  }
}

void RequestCompleted(void* iDaemon, MHD_Connection* iConnection, void** ioContext, MHD_RequestTerminationCode)
{
  delete static_cast<TRequestContext*>(*ioContext);
  *ioContext = nullptr;
  if (auto* watched = WatchedConnection(iConnection))
    static_cast<THTTPDaemon::TContext*>(iDaemon)->Deadline.Answered(watched);
}

void ConnectionChanged(void* iDaemon, MHD_Connection* iConnection, void** ioSocketContext,
                       MHD_ConnectionNotificationCode iCode)
{
  TRequestDeadline& deadline = static_cast<THTTPDaemon::TContext*>(iDaemon)->Deadline;
  if (iCode == MHD_CONNECTION_NOTIFY_STARTED)
  {
    const MHD_ConnectionInfo* info = MHD_get_connection_info(iConnection, MHD_CONNECTION_INFO_CONNECTION_FD);
    *ioSocketContext = info ? deadline.Watch(info->connect_fd, ConnectionAddress(iConnection)) : nullptr;
  }
  else if (*ioSocketContext)
  {
    // The engine closes the socket only after this notification.
    deadline.Forget(static_cast<TRequestDeadline::TConnection*>(*ioSocketContext));
    *ioSocketContext = nullptr;
  }
}
} // namespace

THTTPDaemon::THTTPDaemon(TFileHandle& ioListenSocket, const TWebDispatcher& iDispatcher, const THTTPLimits& iLimits,
                         std::optional<TTLSCertificate> iTLS)
    : fTLS(std::move(iTLS)), fContext(std::make_unique<TContext>(iDispatcher, iLimits))
{
  // poll() rather than select(): the program holds many files, and select() cannot watch a socket numbered
  // beyond 1023.
  unsigned flags = MHD_USE_THREAD_PER_CONNECTION | MHD_USE_POLL_INTERNAL_THREAD;
  std::vector<MHD_OptionItem> tlsOptions;
  if (fTLS)
  {
    if (MHD_is_feature_supported(MHD_FEATURE_TLS) != MHD_YES)
      throw std::runtime_error("This libmicrohttpd was built without HTTPS");
    flags |= MHD_USE_TLS;
    tlsOptions.push_back({MHD_OPTION_HTTPS_MEM_CERT, 0, const_cast<char*>(fTLS->Certificate.c_str())});
    tlsOptions.push_back({MHD_OPTION_HTTPS_MEM_KEY, 0, const_cast<char*>(fTLS->Key.c_str())});
  }
  tlsOptions.push_back({MHD_OPTION_END, 0, nullptr});
  // The engine's own limit lies above the fair total: connections cut to make room stay open until their threads
  // close them, and the fair total is kept by TRequestDeadline.
  const unsigned engineTotal = iLimits.Total + std::max(iLimits.Total / 8, 8u);
  fDaemon =
      MHD_start_daemon(flags, 0, nullptr, nullptr, &HandleAccess, fContext.get(), MHD_OPTION_LISTEN_SOCKET,
                       ioListenSocket.Get(), MHD_OPTION_NOTIFY_COMPLETED, &RequestCompleted, fContext.get(),
                       MHD_OPTION_NOTIFY_CONNECTION, &ConnectionChanged, fContext.get(), MHD_OPTION_CONNECTION_TIMEOUT,
                       iLimits.IdleSeconds, MHD_OPTION_PER_IP_CONNECTION_LIMIT, iLimits.PerAddress,
                       MHD_OPTION_CONNECTION_LIMIT, engineTotal, MHD_OPTION_ARRAY, tlsOptions.data(), MHD_OPTION_END);
  if (!fDaemon)
    throw std::runtime_error(fTLS ? "The HTTP engine could not be started with this certificate and key"
                                  : "The HTTP engine could not be started");
  ioListenSocket.Release();
}

THTTPDaemon::~THTTPDaemon()
{
  MHD_stop_daemon(fDaemon);
}
