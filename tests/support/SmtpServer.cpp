#include "SmtpServer.h"

#include "Wait.h"

#include <algorithm>
#include <filesystem>
#include <sstream>

namespace
{

// One file per accepted message (mail-N.txt, renamed into place when complete): "Key: value" lines of the
// envelope and session, an empty line, then the message as received.
constexpr const char* Script = R"PY(
import argparse, hmac, os, ssl, sys, threading, time
from aiosmtpd.controller import Controller
from aiosmtpd.smtp import MISSING, AuthResult

parser = argparse.ArgumentParser()
parser.add_argument("--port", type=int)
parser.add_argument("--folder")
parser.add_argument("--mode")
parser.add_argument("--user", default="")
parser.add_argument("--password", default="")
parser.add_argument("--auth-required", default="yes")
parser.add_argument("--accept", default="PLAIN,LOGIN,CRAM-MD5")
args = parser.parse_args()
accepted = args.accept.split(",")
lock = threading.Lock()
count = [0]

def tls_version(server):
    obj = server.transport.get_extra_info("ssl_object") if server.transport else None
    return obj.version() if obj else ""

def record(mechanism, login, valid):
    ok = valid and mechanism in accepted
    login = login.decode("utf-8", "replace")
    with lock, open(os.path.join(args.folder, "auth.log"), "a") as log:
        log.write("%s %s %s\n" % (mechanism, login, "ok" if ok else "failed"))
    return AuthResult(success=ok, handled=False, auth_data="%s %s" % (mechanism, login))

def authenticate(server, session, envelope, mechanism, auth_data):
    valid = auth_data.login == args.user.encode() and auth_data.password == args.password.encode()
    return record(mechanism, auth_data.login, valid)

class Handler:
    # Offered next to aiosmtpd's own PLAIN and LOGIN.
    async def auth_CRAM__MD5(self, server, arguments):
        challenge = "<%d@127.0.0.1>" % time.time_ns()
        response = await server.challenge_auth(challenge)
        if response is MISSING:
            return AuthResult(success=False, handled=True)
        login, _, digest = response.rpartition(b" ")
        expected = hmac.new(args.password.encode(), challenge.encode(), "md5").hexdigest().encode()
        return record("CRAM-MD5", login, login == args.user.encode() and hmac.compare_digest(digest, expected))

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address.startswith("refused@"):
            return "550 5.1.1 Mailbox unavailable"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        with lock:
            count[0] += 1
            name = os.path.join(args.folder, "mail-%04d.txt" % count[0])
        lines = ["MAIL FROM: " + envelope.mail_from]
        lines += ["RCPT TO: " + r for r in envelope.rcpt_tos]
        lines += ["HELO: " + (session.host_name or ""), "TLS: " + tls_version(server),
                  "AUTH: " + (session.auth_data if session.authenticated else "")]
        with open(name + ".tmp", "wb") as f:
            f.write(("\n".join(lines) + "\n\n").encode("utf-8"))
            f.write(envelope.original_content)
        os.rename(name + ".tmp", name)
        return "250 Message accepted"

def context():
    c = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    c.load_cert_chain(os.path.join(args.folder, "cert.pem"), os.path.join(args.folder, "key.pem"))
    return c

kwargs = dict(hostname="127.0.0.1", port=args.port)
if args.user:
    kwargs.update(authenticator=authenticate, auth_require_tls=False, auth_required=args.auth_required == "yes")
if args.mode == "starttls":
    kwargs.update(tls_context=context(), require_starttls=True)
elif args.mode == "smtps":
    kwargs.update(ssl_context=context())
controller = Controller(Handler(), **kwargs)
controller.start()
open(os.path.join(args.folder, "ready"), "w").close()
try:
    while True:
        time.sleep(3600)
finally:
    controller.stop()
)PY";

const char* ModeArgument(TSmtpTestMode iMode)
{
  switch (iMode)
  {
  case stSTARTTLS:
    return "starttls";
  case stImplicitTLS:
    return "smtps";
  default:
    return "plain";
  }
}

std::string Lower(std::string iText)
{
  std::transform(iText.begin(), iText.end(), iText.begin(), [](unsigned char iChar) { return std::tolower(iChar); });
  return iText;
}

TReceivedMail ParseMailFile(const std::string& iText)
{
  TReceivedMail Mail;
  const size_t End = iText.find("\n\n");
  std::istringstream Envelope(iText.substr(0, End));
  for (std::string Line; std::getline(Envelope, Line);)
  {
    const size_t Colon = Line.find(": ");
    const std::string Key = Line.substr(0, Colon);
    const std::string Value = Colon == std::string::npos ? "" : Line.substr(Colon + 2);
    if (Key == "MAIL FROM")
      Mail.MailFrom = Value;
    else if (Key == "RCPT TO")
      Mail.Recipients.push_back(Value);
    else if (Key == "HELO")
      Mail.Helo = Value;
    else if (Key == "TLS")
      Mail.TLSVersion = Value;
    else if (Key == "AUTH")
      Mail.Auth = Value;
  }
  Mail.Content = End == std::string::npos ? "" : iText.substr(End + 2);
  return Mail;
}

} // namespace

std::string TReceivedMail::Header(const std::string& iName) const
{
  const std::string Headers = Content.substr(0, Content.find("\r\n\r\n"));
  const std::string Wanted = Lower(iName) + ":";
  size_t Pos = 0;
  while (Pos < Headers.size())
  {
    size_t End = Headers.find("\r\n", Pos);
    // Continuation lines start with white space.
    while (End != std::string::npos && End + 2 < Headers.size() &&
           (Headers[End + 2] == ' ' || Headers[End + 2] == '\t'))
      End = Headers.find("\r\n", End + 2);
    const std::string Field = Headers.substr(Pos, End == std::string::npos ? End : End - Pos);
    if (Lower(Field.substr(0, Wanted.size())) == Wanted)
    {
      std::string Value;
      for (size_t Index = Wanted.size(); Index < Field.size(); ++Index)
      {
        if (Field.compare(Index, 2, "\r\n") == 0)
          ++Index;
        else
          Value += Field[Index];
      }
      return Value.substr(std::min(Value.find_first_not_of(' '), Value.size()));
    }
    if (End == std::string::npos)
      break;
    Pos = End + 2;
  }
  return {};
}

std::string TReceivedMail::DecodedBody() const
{
  const size_t Start = Content.find("\r\n\r\n");
  const std::string Body = Start == std::string::npos ? "" : Content.substr(Start + 4);
  if (Lower(Header("Content-Transfer-Encoding")) != "quoted-printable")
    return Body;
  std::string Result;
  for (size_t Index = 0; Index < Body.size(); ++Index)
  {
    if (Body[Index] != '=')
      Result += Body[Index];
    else if (Body.compare(Index + 1, 2, "\r\n") == 0)
      Index += 2;
    else if (Index + 2 < Body.size())
    {
      Result += static_cast<char>(std::stoi(Body.substr(Index + 1, 2), nullptr, 16));
      Index += 2;
    }
  }
  return Result;
}

TSmtpTestServer::TSmtpTestServer(TSmtpTestMode iMode, const std::string& iUser, const std::string& iPassword,
                                 bool iAuthRequired, const std::string& iAccepted)
{
  fServer = std::make_unique<TPythonTestServer>(
      "smtp", Script,
      std::vector<std::string>{"--mode", ModeArgument(iMode), "--user", iUser, "--password", iPassword,
                               "--auth-required", iAuthRequired ? "yes" : "no", "--accept", iAccepted},
      iMode != stPlain);
}

std::vector<TReceivedMail> TSmtpTestServer::Mails() const
{
  std::vector<std::string> Files;
  for (const auto& Entry : std::filesystem::directory_iterator(fServer->Folder()))
  {
    const std::string Name = Entry.path().filename().string();
    if (Name.starts_with("mail-") && Name.ends_with(".txt"))
      Files.push_back(Entry.path().string());
  }
  std::sort(Files.begin(), Files.end());
  std::vector<TReceivedMail> Result;
  for (const std::string& File : Files)
    Result.push_back(ParseMailFile(ReadTextFile(File)));
  return Result;
}

std::vector<TReceivedMail> TSmtpTestServer::WaitForMails(size_t iCount, std::chrono::milliseconds iTimeout) const
{
  WaitUntil([&] { return Mails().size() >= iCount; }, iTimeout);
  return Mails();
}

std::vector<std::string> TSmtpTestServer::AuthAttempts() const
{
  std::vector<std::string> Result;
  std::istringstream Log(ReadTextFile(fServer->Folder() + "/auth.log"));
  for (std::string Line; std::getline(Log, Line);)
    Result.push_back(Line);
  return Result;
}
