#include "lib/TapevaultTools.h"
#include "support/SlotSettingsEdit.h"
#include "support/WebClient.h"
#include "support/WebTestController.h"
#include "web/WebServer.h"

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace
{
void WriteFile(const fs::path& iPath, const std::string& iContent)
{
  fs::create_directories(iPath.parent_path());
  std::ofstream(iPath, std::ios::binary) << iContent;
}

std::string Pattern(size_t iSize)
{
  std::string bytes(iSize, '\0');
  for (size_t i = 0; i < iSize; ++i)
    bytes[i] = static_cast<char>('a' + i % 26);
  return bytes;
}

// A JSON text whose numbers depend on the clock: built from the seconds the clock shows before the request;
// retried when a second boundary passed during it.
template <class TExpected> void ExpectWithClockSeconds(uint16_t iPort, const std::string& iPath, TExpected iExpected)
{
  for (int attempt = 0; attempt < 5; ++attempt)
  {
    const uint64_t before = MillisecondClock() / 1000;
    const TWebReply reply = WebGet(iPort, iPath);
    if (MillisecondClock() / 1000 != before)
      continue;
    EXPECT_EQ(reply.Status, 200);
    EXPECT_EQ(reply.Body, iExpected(before)) << iPath;
    return;
  }
  FAIL() << "the clock kept passing second boundaries";
}
} // namespace

class SlotApiTest : public testing::Test
{
protected:
  void SetUp() override
  {
    fController.Settings.Port = "127.0.0.1:0";
    fController.Settings.Access =
        TAccessSettings{"admin", PasswordHash("adminpw"), "reader", PasswordHash("readpw"), alReadOnly};
    fServer = std::make_unique<TWebServer>(fController, (fController.Root() / "static").string());
  }

  uint16_t Start()
  {
    std::string error;
    EXPECT_TRUE(fServer->Start(error)) << error;
    return fServer->Port();
  }

  TWebTestController fController;
  std::unique_ptr<TWebServer> fServer;
};

TEST_F(SlotApiTest, SlotList)
{
  fController.AddSlot("Talk \"A\"/\xC3\xA9");
  fController.AddSlot("Live", rsStream, "http://radio.example/live");
  fController.AddSlot("Card", rsSoundcard);
  const uint16_t port = Start();
  ExpectWithClockSeconds(port, "/ws/slots",
                         [](uint64_t iSeconds)
                         {
                           const std::string s = std::to_string(iSeconds);
                           auto slot = [&](int iID, const std::string& iSource, const std::string& iName)
                           {
                             return "{\r\n  \"Streaming\": \"disabled\",\r\n  \"CurrentTitle\": \"\",\r\n  "
                                    "\"Recording\": false,\r\n  \"StreamingMessage\": \"\",\r\n  \"ID\": " +
                                    std::to_string(iID) + ",\r\n  \"LastMetadata\": " + s +
                                    ",\r\n  \"StreamingOnline\": null,\r\n  \"Source\": \"" + iSource +
                                    "\",\r\n  \"StreamStatus\": \"\",\r\n  \"Name\": \"" + iName +
                                    "\",\r\n  \"Silence\": " + s + "\r\n }";
                           };
                           return "[\r\n " + slot(0, "", "Talk \\\"A\\\"\\/\\u00e9") + "," +
                                  slot(1, "http:\\/\\/radio.example\\/live", "Live") + "," + slot(2, "Err", "Card") +
                                  "]";
                         });
}

TEST_F(SlotApiTest, NoSlotsIsAnEmptyArray)
{
  EXPECT_EQ(WebGet(Start(), "/ws/slots").Body, "[]");
}

TEST_F(SlotApiTest, TextEndpoints)
{
  fController.AddSlot("Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\x99");
  fController.AddSlot("Caf\xC3\xA9");
  fController.AddSlot("Live", rsStream, "http://radio.example/live");
  fController.AddSlot("Card", rsSoundcard);
  const uint16_t port = Start();
  struct TCase
  {
    const char* Path;
    const char* Body;
    const char* Charset;
  };
  // Text that ISO-8859-1 holds keeps its old bytes; "€" or an emoji switch the answer to UTF-8 instead of "?".
  const char* latin1 = "ISO-8859-1";
  const TCase cases[] = {
      {"/ws/slots/0/name", "Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\x99", "utf-8"},
      {"/ws/slot/0/name", "Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\x99", "utf-8"},
      {"/ws/slots/1/name", "Caf\xE9", latin1},
      {"/ws/slots/0/source", "", latin1},
      {"/ws/slots/2/source", "http://radio.example/live", latin1},
      {"/ws/slot/3/source", "Error", latin1},
      {"/ws/slots/2/recording", "0", latin1},
      {"/ws/slots/2/currenttitle", "", latin1},
  };
  for (const TCase& test : cases)
  {
    const TWebReply reply = WebGet(port, test.Path);
    EXPECT_EQ(reply.Status, 200) << test.Path;
    EXPECT_EQ(reply.Header("Content-Type"), std::string("text/plain; charset=") + test.Charset) << test.Path;
    EXPECT_EQ(reply.Body, test.Body) << test.Path;
  }
  for (const char* path : {"/ws/slots/0/silence", "/ws/slots/0/lastmetadata"})
    ExpectWithClockSeconds(port, path, [](uint64_t iSeconds) { return std::to_string(iSeconds); });
}

// The monitor's event stream read as a browser's EventSource does: one connection, pieces as they come.
TEST_F(SlotApiTest, EventsCarryEverySlotsStateUntilTheServerStops)
{
  fController.AddSlot("Studio \"1\"");
  fController.AddSlot("Live", rsStream, "http://radio.example/live");
  const uint16_t port = Start();
  const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  ASSERT_EQ(::connect(socket, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
  const std::string request = "GET /ws/events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
  ASSERT_EQ(::send(socket, request.data(), request.size(), MSG_NOSIGNAL), static_cast<ssize_t>(request.size()));
  // Reads until iDone holds or the connection ends; false when neither happens within 20 s.
  std::string received;
  bool closed = false;
  const auto readUntil = [&](auto iDone)
  {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!iDone() && std::chrono::steady_clock::now() < deadline)
    {
      pollfd ready{socket, POLLIN, 0};
      if (::poll(&ready, 1, 100) <= 0)
        continue;
      char buffer[4096];
      const ssize_t count = ::recv(socket, buffer, sizeof(buffer), 0);
      closed = count <= 0;
      if (closed)
        return iDone();
      received.append(buffer, static_cast<size_t>(count));
    }
    return iDone();
  };
  const auto events = [&]
  {
    size_t count = 0;
    for (size_t at = received.find("data: "); at != std::string::npos; at = received.find("data: ", at + 1))
      ++count;
    return count;
  };
  ASSERT_TRUE(readUntil([&] { return events() >= 3; })) << received;
  EXPECT_NE(received.find("Content-Type: text/event-stream"), std::string::npos) << received;
  EXPECT_NE(received.find("retry: 2000"), std::string::npos);
  const size_t first = received.find("data: ");
  const std::string event = received.substr(first, received.find("\n\n", first) - first);
  EXPECT_EQ(event.find('\n'), std::string::npos) << "one line per event";
  for (const char* part : {"\"Name\":\"Studio \\\"1\\\"\"", "\"Name\":\"Live\"", "\"Lamp\":\"disabled\"",
                           "\"Source\":\"stream\"", "\"RecordingSeconds\":null", "\"LevelLeft\":0"})
    EXPECT_NE(event.find(part), std::string::npos) << part << " in " << event;

  // Stopping the server ends the endless answer instead of waiting for it.
  std::thread stopper([this] { fServer->Stop(); });
  EXPECT_TRUE(readUntil([&] { return closed; })) << "the connection is closed";
  stopper.join();
  ::close(socket);
}

TEST_F(SlotApiTest, PathsOutsideTheSlotTableAreNotFound)
{
  fController.AddSlot("Only");
  const uint16_t port = Start();
  for (const char* path : {"/ws/slots/1/name", "/ws/slots/99999999999/name", "/ws/slots/1/stats", "/ws/slots/x/name",
                           "/ws/slots/0/name/more", "/ws/slots/", "/ws/slotsx"})
  {
    const TWebReply reply = WebGet(port, path);
    EXPECT_EQ(reply.Status, 404) << path;
    EXPECT_EQ(reply.Body, "not found") << path;
  }
}

TEST_F(SlotApiTest, Stats)
{
  TSlotInfo& slot = fController.AddSlot("News");
  const uint16_t port = Start();
  EXPECT_EQ(WebGet(port, "/ws/slots/0/stats").Body, "{\r\n \"count\": 0\r\n}");
  TWebTestController::AddRecording(slot, "2024-03-15 13:00:00.012", 3600, "a.mp3");
  TWebTestController::AddRecording(slot, "2024-03-16", std::nullopt, "b.mp3");
  const TWebReply reply = WebGet(port, "/ws/slot/0/stats");
  EXPECT_EQ(reply.Header("Content-Type"), "application/json");
  EXPECT_EQ(reply.Body,
            "{\r\n \"oldest\": \"03\\/15\\/2024 13:00:00\",\r\n \"newest\": \"03\\/16\\/2024 00:00:00\",\r\n"
            " \"count\": 2\r\n}");
}

TEST_F(SlotApiTest, CalendarEventsWithARecordingInProgressAndAnAbandonedRow)
{
  ASSERT_STREQ(std::getenv("TZ"), "Europe/Berlin");
  TSlotInfo& slot = fController.AddSlot("News");
  TWebTestController::AddRecording(slot, "2024-03-31 01:00:00.000", 3600, "2024\\03\\31\\one.mp3");
  TWebTestController::AddRecording(slot, "2024-03-31 02:30:00.000", 3600, "skipped.mp3");
  TWebTestController::AddRecording(slot, "2024-03-31 03:00:00.000", 1800, "2024/03/31/three.mp3");
  TWebTestController::AddRecording(slot, "2024-10-27 02:30:00.000", std::nullopt, "abandoned.mp3");
  // The file being recorded: registered as the slot does it, then moved into the repeated hour of October.
  slot.RegisterRecording("2024/10/27/current.mp3");
  const int current = slot.CurrentRecordingID();
  ASSERT_GT(current, 0);
  const auto move = slot.GetDatabaseConnection()->PrepareStatement(
      "UPDATE recordings SET starttime='2024-10-27 02:15:00.000' WHERE id=:id");
  move->SetIntByName("id", current);
  move->ExecuteUpdatePrepared();

  const uint16_t port = Start();
  const TWebReply reply =
      WebGet(port, "/ws/slots/0/calendarevents?start=2024-03-30T23%3A00%3A00Z&end=2024-10-31T00:00:00%2B01:00");
  auto event = [](int iID, const char* iStart, const char* iEnd, const char* iFile)
  {
    return std::string("{\r\n  \"end\": \"") + iEnd + "\",\r\n  \"filename\": \"" + iFile +
           "\",\r\n  \"id\": " + std::to_string(iID) + ",\r\n  \"title\": \"News\",\r\n  \"start\": \"" + iStart +
           "\"\r\n }";
  };
  const float duration = slot.CurrentRecordingDuration();
  ASSERT_EQ(duration, 0.0f) << "no audio has been recorded into the current file";
  EXPECT_EQ(reply.Status, 200);
  EXPECT_EQ(reply.Header("Content-Type"), "application/json");
  EXPECT_EQ(reply.Body, "[\r\n " + event(1, "2024-03-31T00:00:00.000Z", "2024-03-31T01:00:00.000Z", "one.mp3") + "," +
                            event(3, "2024-03-31T01:00:00.000Z", "2024-03-31T01:30:00.000Z", "three.mp3") + "," +
                            event(current, "2024-10-27T01:15:00.000Z", "2024-10-27T01:15:00.000Z", "current.mp3") +
                            "]");
}

TEST_F(SlotApiTest, CalendarParametersThatCannotBeReadGiveTheErrorAnswer)
{
  fController.AddSlot("News");
  const uint16_t port = Start();
  for (const char* query : {"", "?end=2024-01-01", "?start=2024-01-01", "?start=201&end=2024-01-01",
                            "?start=2024-01-01&end=2016-03-01T1030", "?start=2024-02-30&end=2024-03-01"})
  {
    const TWebReply reply = WebGet(port, std::string("/ws/slots/0/calendarevents") + query);
    EXPECT_EQ(reply.Status, 500) << query;
    EXPECT_EQ(reply.Header("Content-Type"), "text/html; charset=ISO-8859-1") << query;
    EXPECT_EQ(reply.Body, "Date parse error") << query;
  }
}

TEST_F(SlotApiTest, DayLists)
{
  TSlotInfo& slot = fController.AddSlot("News");
  TWebTestController::AddRecording(slot, "2024-03-14 23:59:59.999", 1, "x.mp3");
  const int first = TWebTestController::AddRecording(slot, "2024-03-15", 3599.5, "x.mp3");
  const int last = TWebTestController::AddRecording(slot, "2024-03-15 23:59:59.999", std::nullopt, "x.mp3");
  TWebTestController::AddRecording(slot, "2024-03-16", 1, "x.mp3");
  const uint16_t port = Start();
  TWebReply reply = WebGet(port, "/ws/slots/0/list/2024/3/15");
  EXPECT_EQ(reply.Header("Content-Type"), "application/json");
  EXPECT_EQ(reply.Body, "[\r\n {\r\n  \"Duration\": 3599.5,\r\n  \"ID\": " + std::to_string(first) +
                            ",\r\n  \"Time\": \"2024-03-15T00:00:00\"\r\n },{\r\n  \"Duration\": null,\r\n  \"ID\": " +
                            std::to_string(last) + ",\r\n  \"Time\": \"2024-03-15T23:59:59\"\r\n }]");
  EXPECT_EQ(WebGet(port, "/ws/slot/0/list/2024/03/16").Body.find("\"Duration\": 1,"), 9u);
  EXPECT_EQ(WebGet(port, "/ws/slots/0/list/2023/3/15").Body, "[]");
  reply = WebGet(port, "/ws/slots/0/list/2024/2/30");
  EXPECT_EQ(reply.Status, 500);
  EXPECT_EQ(reply.Body, "Invalid argument to date encode");
  EXPECT_EQ(WebGet(port, "/ws/slots/0/list/2024/3/99999999999").Status, 500);
}

class GetFileTest : public SlotApiTest
{
protected:
  void SetUp() override
  {
    SlotApiTest::SetUp();
    TSlotInfo& slot = fController.AddSlot("News");
    EditSlotSettings(slot, [&](TSlotSettings& ioSettings)
                     { ioSettings.Output.SecondaryFolder = (fController.Root() / "archive").string(); });
    fContent = Pattern(1000);
    WriteFile(fs::path(slot.Settings().Output.Folder) / "2024" / "03" / "news.mp3", fContent);
    fID = TWebTestController::AddRecording(slot, "2024-03-15 10:00:00.000", 60, "2024\\03\\news.mp3");
    WriteFile(fController.Root() / "archive" / "old.ogg", "archived");
    fArchivedID = TWebTestController::AddRecording(slot, "2023-01-01 10:00:00.000", 60, "old.ogg");
    fMissingID = TWebTestController::AddRecording(slot, "2023-01-01 11:00:00.000", 60, "gone.mp3");
    WriteFile(fController.Root() / "outside.mp3", "outside");
    fOutsideID = TWebTestController::AddRecording(slot, "2023-01-01 12:00:00.000", 60, "..\\outside.mp3");
    fPort = Start();
  }

  std::string FilePath(int iID) const { return "/ws/slots/0/getfile/" + std::to_string(iID); }

  std::string fContent;
  int fID = 0, fArchivedID = 0, fMissingID = 0, fOutsideID = 0;
  uint16_t fPort = 0;
};

TEST_F(GetFileTest, WholeFile)
{
  const TWebReply reply = WebGet(fPort, "/ws/slot/0/getfile/" + std::to_string(fID) + "/news.mp3");
  EXPECT_EQ(reply.Status, 200);
  EXPECT_EQ(reply.Body, fContent);
  EXPECT_EQ(reply.Header("Content-Type"), "audio/mpeg");
  EXPECT_EQ(reply.Header("Accept-Ranges"), "bytes");
  EXPECT_EQ(reply.Header("Content-Disposition"), "attachment; filename=\"news.mp3\"");
  EXPECT_FALSE(reply.Header("Content-Range"));

  // Download tools ask first with HEAD: the same headers, no body.
  TWebCall head;
  head.Method = "HEAD";
  head.Path = FilePath(fID);
  const TWebReply headReply = WebFetch(fPort, head);
  EXPECT_EQ(headReply.Status, 200);
  EXPECT_EQ(headReply.Body, "");
  for (const char* header : {"Content-Length", "Content-Type", "Accept-Ranges", "Content-Disposition"})
    EXPECT_EQ(headReply.Header(header), WebGet(fPort, FilePath(fID)).Header(header)) << header;
}

TEST_F(GetFileTest, ByteRanges)
{
  struct TCase
  {
    const char* Range;
    long Status;
    const char* ContentRange; // nullptr: none
    size_t First, Length;     // of the body within the file
  };
  const TCase cases[] = {
      {"bytes=0-", 206, "bytes 0-999/1000", 0, 1000},
      {"bytes=-0", 416, "bytes */1000", 0, 0},
      {"bytes=-100", 206, "bytes 900-999/1000", 900, 100},
      {"bytes=-5000", 206, "bytes 0-999/1000", 0, 1000},
      {"bytes=10-20", 206, "bytes 10-20/1000", 10, 11},
      {"bytes=990-5000", 206, "bytes 990-999/1000", 990, 10},
      {"bytes=1000-", 416, "bytes */1000", 0, 0},
      {"bytes=2000-3000", 416, "bytes */1000", 0, 0},
      {"bytes=20-10", 200, nullptr, 0, 1000},
      {"bytes=0-1,5-6", 416, "bytes */1000", 0, 0},
  };
  for (const TCase& test : cases)
  {
    const TWebReply reply = WebGet(fPort, FilePath(fID), {std::string("Range: ") + test.Range});
    EXPECT_EQ(reply.Status, test.Status) << test.Range;
    EXPECT_EQ(reply.Header("Content-Range"),
              test.ContentRange ? std::optional<std::string>(test.ContentRange) : std::nullopt)
        << test.Range;
    EXPECT_EQ(reply.Body, fContent.substr(test.First, test.Length)) << test.Range;
    EXPECT_FALSE(reply.Header("Content-Disposition")) << test.Range;
  }
}

TEST_F(GetFileTest, SecondaryFolderMissingFilesAndNamesLeavingTheFolder)
{
  TWebReply reply = WebGet(fPort, FilePath(fArchivedID));
  EXPECT_EQ(reply.Status, 200);
  EXPECT_EQ(reply.Body, "archived");
  EXPECT_EQ(reply.Header("Content-Type"), "audio/ogg");
  for (const int id : {fMissingID, fOutsideID, 999, -1})
  {
    reply = WebGet(fPort, id < 0 ? "/ws/slots/0/getfile/99999999999" : FilePath(id));
    EXPECT_EQ(reply.Status, 404) << id;
    EXPECT_EQ(reply.Body, "not found") << id;
  }
}

TEST_F(GetFileTest, LinksLeadingOutOfTheFoldersAreNotFollowed)
{
  TSlotInfo& slot = fController.Slot(0);
  const fs::path folder = slot.Settings().Output.Folder;
  const fs::path archive = fController.Root() / "archive";
  const fs::path iniFile = fController.Root() / "Tapevault.ini";
  WriteFile(iniFile, "[Webserver]\nAdminPassword=SECRET\n");
  fs::create_symlink(iniFile, folder / "abs.mp3");
  fs::create_symlink("../Tapevault.ini", folder / "rel.mp3");
  fs::create_symlink("/etc/passwd", folder / "passwd.mp3");
  fs::create_symlink(fController.Root(), folder / "absdir");
  fs::create_symlink("..", folder / "reldir");
  fs::create_symlink("../../..", folder / "2024" / "03" / "up");
  fs::create_symlink("../Tapevault.ini", archive / "archived.mp3");
  // A relative link that stays inside the folder is an ordinary alias.
  fs::create_symlink("2024/03/news.mp3", folder / "alias.mp3");
  struct TCase
  {
    const char* Stored;
    long Status;
  };
  const TCase cases[] = {
      {"abs.mp3", 404},
      {"rel.mp3", 404},
      {"passwd.mp3", 404},
      {"absdir\\Tapevault.ini", 404},
      {"reldir/Tapevault.ini", 404},
      {"2024/03/up/Tapevault.ini", 404},
      {"archived.mp3", 404},
      {"alias.mp3", 200},
  };
  for (const TCase& test : cases)
  {
    const int id = TWebTestController::AddRecording(slot, "2024-03-16 10:00:00.000", 60, test.Stored);
    for (const char* range : {"", "Range: bytes=0-"})
    {
      const TWebReply reply =
          WebGet(fPort, FilePath(id), range[0] ? std::vector<std::string>{range} : std::vector<std::string>{});
      EXPECT_EQ(reply.Status, test.Status == 200 && range[0] ? 206 : test.Status) << test.Stored << " " << range;
      EXPECT_EQ(reply.Body, test.Status == 200 ? fContent : "not found") << test.Stored << " " << range;
    }
  }
}

TEST_F(GetFileTest, FileStillBeingWritten)
{
  const fs::path path = fs::path(fController.Slot(0).Settings().Output.Folder) / "2024" / "03" / "news.mp3";
  std::atomic<bool> stop{false};
  // Appends at a recorder's pace while the file is fetched again and again.
  std::jthread writer(
      [&]
      {
        std::ofstream file(path, std::ios::binary | std::ios::app);
        while (!stop)
        {
          file << Pattern(4096);
          file.flush();
          std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
      });
  size_t lastSize = 0;
  for (int i = 0; i < 20; ++i)
  {
    const TWebReply whole = WebGet(fPort, FilePath(fID));
    EXPECT_EQ(whole.Status, 200);
    EXPECT_EQ(whole.Header("Content-Length"), std::to_string(whole.Body.size()));
    EXPECT_GE(whole.Body.size(), lastSize);
    EXPECT_EQ(whole.Body.substr(0, 1000), fContent);
    lastSize = whole.Body.size();
    const TWebReply tail = WebGet(fPort, FilePath(fID), {"Range: bytes=1000-"});
    EXPECT_EQ(tail.Status, 206);
    EXPECT_EQ(tail.Header("Content-Range"),
              "bytes 1000-" + std::to_string(999 + tail.Body.size()) + "/" + std::to_string(1000 + tail.Body.size()));
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  stop = true;
  EXPECT_GT(lastSize, 1000u);
}

TEST_F(SlotApiTest, CommandsReachTheControllersSlots)
{
  TSlotInfo& first = fController.AddSlot("One");
  TSlotInfo& second = fController.AddSlot("Two");
  fController.Settings.Access.AnonymousAccess = alNone;
  const uint16_t port = Start();
  const auto admin = std::make_pair(std::string("admin"), std::string("adminpw"));

  TWebCall call;
  call.Method = "POST";
  call.Path = "/execute";
  call.Body = "command=SLOT+1+STOP";
  call.Credentials = admin;
  EXPECT_EQ(WebFetch(port, call).Status, 200);
  call.Path = "/ws/execute";
  call.Body = "command=SLOT%202%20STOP";
  EXPECT_EQ(WebFetch(port, call).Status, 200);
  fController.ProcessSwitches();
  EXPECT_FALSE(first.Settings().Enabled);
  EXPECT_FALSE(second.Settings().Enabled);

  EXPECT_EQ(WebFetch(port, {.Path = "/execute?command=SLOT+1+START", .Credentials = admin}).Status, 200);
  EXPECT_EQ(WebFetch(port, {.Path = "/ws/execute?command=SLOT%202%20START", .Credentials = admin}).Status, 200);
  fController.ProcessSwitches();
  EXPECT_TRUE(first.Settings().Enabled);
  EXPECT_TRUE(second.Settings().Enabled);
  EXPECT_EQ(fController.Switches(),
            (std::vector<TWebTestController::TSwitch>{{false, 0}, {false, 1}, {true, 0}, {true, 1}}));
}

TEST_F(SlotApiTest, CommandsNeedTheAdministratorLevel)
{
  fController.AddSlot("One");
  const uint16_t port = Start();
  const auto reader = std::make_pair(std::string("reader"), std::string("readpw"));
  for (const char* path : {"/execute", "/ws/execute"})
  {
    // Without credentials the browser is asked for them, as an administrator exists.
    const TWebReply anonymous = WebGet(port, std::string(path) + "?command=SLOT+1+STOP");
    EXPECT_EQ(anonymous.Status, 401) << path;
    EXPECT_EQ(anonymous.Header("WWW-Authenticate"), "Basic realm=\"Brendle Tapevault\"") << path;
    // A read-only user's GET falls through to "not found"; a POST gets the empty answer.
    EXPECT_EQ(WebFetch(port, {.Path = std::string(path) + "?command=SLOT+1+STOP", .Credentials = reader}).Status, 404)
        << path;
    const TWebReply reply =
        WebFetch(port, {.Method = "POST", .Path = path, .Body = "command=SLOT+1+STOP", .Credentials = reader});
    EXPECT_EQ(reply.Status, 200) << path;
    EXPECT_EQ(reply.Body, "") << path;
  }
  EXPECT_TRUE(fController.Switches().empty());
}

TEST_F(SlotApiTest, CommandTextsThatChangeNothing)
{
  fController.AddSlot("One");
  fController.Settings.Access.AnonymousAccess = alAdmin;
  const uint16_t port = Start();
  for (const char* command :
       {"SLOT+0+START", "SLOT+99+START", "slot+1+start", "SLOT+1+START+NOW", "", "SLOT+99999999999+STOP"})
    EXPECT_EQ(WebGet(port, std::string("/execute?command=") + command).Status, 200) << command;
  EXPECT_EQ(WebGet(port, "/execute").Status, 200);
  fController.ProcessSwitches();
  EXPECT_TRUE(fController.Slot(0).Settings().Enabled);
  // Numbers outside the table are posted and left to the controller, which ignores them.
  EXPECT_EQ(fController.Switches(), (std::vector<TWebTestController::TSwitch>{{true, -1}, {true, 98}, {false, -2}}));
}

TEST_F(SlotApiTest, CommandsFromOtherSitesAreRefusedAndEveryCommandIsLogged)
{
  fController.AddSlot("One");
  const uint16_t port = Start();
  const auto admin = std::make_pair(std::string("admin"), std::string("adminpw"));
  const std::string own = "http://127.0.0.1:" + std::to_string(port);
  struct TCase
  {
    const char* Name;
    std::string Method;
    std::vector<std::string> Headers;
    long Status;
  };
  const TCase cases[] = {
      {"form of another site", "POST", {"Origin: http://evil.example"}, 403},
      {"form of another port", "POST", {"Origin: http://127.0.0.1:1"}, 403},
      {"sandboxed page", "POST", {"Origin: null"}, 403},
      {"image or link of another site", "GET", {"Sec-Fetch-Site: cross-site"}, 403},
      {"image on another port of this host", "GET", {"Sec-Fetch-Site: same-site"}, 403},
      {"own page", "POST", {"Origin: " + own, "Sec-Fetch-Site: same-origin"}, 200},
      {"address typed by the user", "GET", {"Sec-Fetch-Site: none"}, 200},
      {"script without an origin", "POST", {}, 200},
      {"script GET without an origin", "GET", {}, 200},
  };
  size_t accepted = 0;
  for (const TCase& c : cases)
  {
    const bool get = c.Method == "GET";
    TWebCall call{.Method = c.Method,
                  .Path = get ? "/execute?command=SLOT+1+STOP" : "/execute",
                  .Headers = c.Headers,
                  .Credentials = admin};
    if (!get)
      call.Body = "command=SLOT+1+STOP";
    EXPECT_EQ(WebFetch(port, call).Status, c.Status) << c.Name;
    call.Path = get ? "/ws/execute?command=SLOT+1+STOP" : "/ws/execute";
    EXPECT_EQ(WebFetch(port, call).Status, c.Status) << c.Name;
    accepted += c.Status == 200 ? 2 : 0;
    EXPECT_EQ(fController.Switches().size(), accepted) << c.Name;
  }
  const auto log = fController.Log();
  EXPECT_EQ(log.size(), accepted);
  for (const std::string& line : log)
    EXPECT_EQ(line, "Slot 1 STOP from the web by admin");
}
