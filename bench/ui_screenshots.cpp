// Renders the window for review (make screenshots, under Xvfb): the slot view with six slots in different states
// in two columns, every settings page, and the slot dialog on each of its pages. The page "JACK" shows the server
// that JACK_DEFAULT_SERVER names, if one runs (bench/ui_screenshots.sh starts one).
//
//   ui_screenshots <output folder>

#include "UiDemoSlots.h"
#include "app/LoggerMain.h"
#include "app/TapevaultGlobals.h"
#include "audio/AudioDevices.h"
#include "lib/TapevaultTools.h"
#include "ui/LoggerMainForm.h"

#include <QApplication>
#include <QEventLoop>
#include <QTabWidget>
#include <QTimer>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace
{
void Settle()
{
  QEventLoop loop;
  QTimer::singleShot(300, &loop, &QEventLoop::quit);
  loop.exec();
}

bool Save(QWidget& iWidget, const std::filesystem::path& iFile)
{
  Settle();
  const bool ok = iWidget.grab().save(QString::fromStdString(iFile.string()));
  std::printf("%s %s\n", ok ? "wrote" : "FAILED", iFile.c_str());
  return ok;
}

QString FileName(const QString& iTitle)
{
  return iTitle.toLower().replace(' ', '_').remove('-');
}
} // namespace

int main(int argc, char** argv)
{
  if (argc != 2)
  {
    std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
    return 2;
  }
  const std::filesystem::path output = std::filesystem::absolute(argv[1]);
  std::filesystem::create_directories(output);
  const std::filesystem::path root =
      std::filesystem::temp_directory_path() / ("tapevault_screenshots_" + std::to_string(::getpid()));
  std::filesystem::create_directories(root);
  std::ofstream(root / "Tapevault.ini")
      << "[General]\nSlotCount=6\nColumnCount=2\n[Webserver]\nPort=127.0.0.1:5252\nAdminUser=admin\n"
         "[EMail]\nSMTPServer=mail.example.org\nFromAddress=tapevault@example.org\nReceipients=ops@example.org\n"
         "[Slot0]\nName=Morning Show\nSource=Soundcard\nFolder=/srv/rec/morning\nSilenceDetection=30\n"
         "StreamingEnabled=on\nStreamingHost=icecast.example.org\nStreamingMountPoint=/morning\n"
         "[JACKDevice0]\nBufferSize=512\nChannelBundle0=1\nChannelBundle1=2\nChannelBundle3=4\n";
  const std::string folder = root.string();
  const char* arguments[] = {"ui_screenshots", "-rootfolder", folder.c_str(), nullptr};
  SetArguments(3, arguments);

  QApplication app(argc, argv);
  InitializeGlobals();
  EnumerateDevices(&ConfigFile());
  bool ok = true;
  {
    TLoggerMain controller;
    controller.Start();
    controller.AddLogMessage("Tapevault started for the screenshots");
    TLoggerMainForm window(controller);
    // The slot page over made-up slots, so that every state shows.
    TDemoStatesSource states;
    auto* demo = new TSlotView(states);
    window.pcMain->removeTab(0);
    window.pcMain->insertTab(0, demo, "Slots");
    window.pcMain->setCurrentIndex(0);
    window.resize(760, 420);
    window.show();
    demo->SetColumnCount(2);
    demo->SetFocusedCell(0, 0);
    demo->setFocus();
    ok &= Save(window, output / "main_slots.png");
    for (int page = 1; page < window.pcMain->count(); ++page)
    {
      window.pcMain->setCurrentIndex(page);
      ok &= Save(window, output / ("page_" + FileName(window.pcMain->tabText(page)).toStdString() + ".png"));
    }

    TConfigureSlotForm dialog(controller.Slot(0), &window);
    dialog.show();
    for (int page = 0; page < dialog.pcPages->count(); ++page)
    {
      dialog.pcPages->setCurrentIndex(page);
      ok &= Save(dialog, output / ("dialog_" + FileName(dialog.pcPages->tabText(page)).toStdString() + ".png"));
    }
    dialog.reject();
    window.CloseWithoutQuestion();
  }
  FreeDevices();
  std::filesystem::remove_all(root);
  return ok ? 0 : 1;
}
