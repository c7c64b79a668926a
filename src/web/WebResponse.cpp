#include "web/WebResponse.h"

#include "lib/PersistentStorage.h"
#include "web/WebText.h"

namespace
{
const char cHTMLLatin1[] = "text/html; charset=ISO-8859-1";

// Sets a text body of the given type ("text/plain", "text/html") with the charset its characters need.
void SetText(TWebResponse& ioResponse, const char* iType, const std::string& iText)
{
  TAnswerText text = AnswerText(iText);
  ioResponse.ContentType = std::string(iType) + "; charset=" + text.Charset;
  ioResponse.Body = std::move(text.Bytes);
}
} // namespace

void TWebResponse::SetHeader(const std::string& iName, const std::string& iValue)
{
  for (auto& [name, value] : Headers)
    if (SameTextASCII(name, iName))
    {
      value = iValue;
      return;
    }
  Headers.emplace_back(iName, iValue);
}

TWebResponse EmptyAnswer()
{
  return TWebResponse();
}

TWebResponse JSONAnswer(std::string iJSON)
{
  TWebResponse response;
  response.ContentType = "application/json";
  response.Body = std::move(iJSON);
  return response;
}

TWebResponse TextAnswer(const std::string& iText)
{
  TWebResponse response;
  SetText(response, "text/plain", iText);
  return response;
}

TWebResponse NotFoundAnswer()
{
  TWebResponse response;
  response.Status = 404;
  response.ContentType = cHTMLLatin1;
  response.Body = std::string("not found");
  return response;
}

TWebResponse ErrorAnswer(const std::string& iMessage, const std::string& iContentTypeSoFar)
{
  TWebResponse response;
  response.Status = 500;
  if (iContentTypeSoFar.empty())
    SetText(response, "text/html", iMessage);
  else
  {
    response.ContentType = iContentTypeSoFar;
    response.Body = iMessage;
  }
  return response;
}

TWebResponse RedirectAnswer(const std::string& iLocation)
{
  TWebResponse response;
  response.Status = 302;
  response.SetHeader("Location", iLocation);
  return response;
}

TWebResponse MethodNotAllowedAnswer()
{
  TWebResponse response;
  response.Status = 405;
  response.ContentType = cHTMLLatin1;
  response.SetHeader("Allow", "GET, HEAD, POST");
  response.Body = std::string("method not allowed");
  return response;
}

TWebResponse UnauthorizedAnswer()
{
  TWebResponse response;
  response.Status = 401;
  response.ContentType = "text/html; charset=utf-8";
  response.SetHeader("WWW-Authenticate", "Basic realm=\"Brendle Tapevault\"");
  response.Body = std::string("<HTML><BODY><B>401 Unauthorized</B></BODY></HTML>");
  return response;
}

TWebResponse ForbiddenAnswer(const std::string& iReason)
{
  TWebResponse response;
  response.Status = 403;
  SetText(response, "text/html", iReason);
  return response;
}

TWebResponse JSONErrorAnswer(int iStatus, const std::string& iMessage)
{
  auto body = std::make_shared<TPersistentObject>();
  body->SetString("Error", iMessage);
  TWebResponse response = JSONAnswer(body->AsJSon(true, true));
  response.Status = iStatus;
  return response;
}

void AddSecurityHeaders(TWebResponse& ioResponse)
{
  // Styles may be inline: the calendar and the player set element styles from their scripts.
  ioResponse.SetHeader("Content-Security-Policy",
                       "default-src 'self'; script-src 'self'; style-src 'self' 'unsafe-inline'; "
                       "img-src 'self' data:; font-src 'self' data:; media-src 'self' blob:; connect-src 'self'; "
                       "object-src 'none'; base-uri 'self'; form-action 'self'; frame-ancestors 'none'");
  ioResponse.SetHeader("X-Frame-Options", "DENY");
  ioResponse.SetHeader("X-Content-Type-Options", "nosniff");
  ioResponse.SetHeader("Referrer-Policy", "same-origin");
}
