// Tapevault: starts the controller, with a window on a desktop or headless as a service.

#include "app/ExitBound.h"
#include "app/LoggerMain.h"
#include "app/SingleInstance.h"
#include "app/TapevaultGlobals.h"
#include "app/UnixSignals.h"
#include "audio/AudioDevices.h"
#include "audio/engine/AudioEngine.h"
#include "lib/Errors.h"
#include "lib/TapevaultTools.h"
#include "ui/LoggerMainForm.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace
{
struct TOptions
{
  bool Headless = false;
  bool Help = false;
  bool Version = false;
};

TOptions ParseOptions(int argc, char** argv)
{
  TOptions result;
  for (int i = 1; i < argc; ++i)
  {
    if (std::strcmp(argv[i], "-headless") == 0 || std::strcmp(argv[i], "--headless") == 0)
      result.Headless = true;
    else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0)
      result.Help = true;
    else if (std::strcmp(argv[i], "--version") == 0)
      result.Version = true;
  }
  return result;
}

void PrintHelp()
{
  std::printf("Usage: tapevault [-rootfolder DIR] [-headless]\n"
              "\n"
              "  -rootfolder DIR  keep the configuration (Tapevault.ini) in DIR instead of\n"
              "                   $XDG_CONFIG_HOME/Brendle/Tapevault/\n"
              "  -headless        run as a service without windows; SIGTERM or SIGINT end it\n"
              "  --version        print the version and exit\n"
              "  --help           print this help and exit\n");
}

bool HasDisplay()
{
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x11 && *x11) || (wayland && *wayland);
}
} // namespace

int main(int argc, char** argv)
{
  SetArguments(argc, argv);
  const TOptions options = ParseOptions(argc, argv);
  if (options.Help)
  {
    PrintHelp();
    return 0;
  }
  if (options.Version)
  {
    std::printf("Tapevault %s\n", ProgramVersionText().c_str());
    return 0;
  }
  const bool windowed = !options.Headless && HasDisplay();
  if (!options.Headless && !windowed)
    std::printf("No display found: running headless. Start with -headless to run as a service.\n");

  std::unique_ptr<QCoreApplication> app;
  if (windowed)
  {
    auto desktop = std::make_unique<QApplication>(argc, argv);
    desktop->setQuitOnLastWindowClosed(false);
    app = std::move(desktop);
  }
  else
    app = std::make_unique<QCoreApplication>(argc, argv);
  QCoreApplication::setApplicationName("Brendle Tapevault");
  InitializeGlobals();

  TSingleInstance instance(QString::fromStdString(RootFolder()));
  if (!instance.Claim())
  {
    std::printf("Tapevault is already running with the root folder %s; it was asked to come to the front.\n",
                RootFolder().c_str());
    return 0;
  }

  const std::vector<std::string> deviceErrors = EnumerateDevices(&ConfigFile());
  int result = 0;
  // From the signal on, the program ends within 5 s (the service's stop time-out is a little longer); the
  // bound covers the release of the devices below too.
  TExitBound exitBound(std::chrono::milliseconds(4500));
  {
    TLoggerMain controller;
    TUnixSignals unixSignals;
    QObject::connect(&unixSignals, &TUnixSignals::CloseRequested, [&exitBound](int) { exitBound.Arm(); });

    SetDeviceLogProc([&controller](const std::string& iLine) { controller.AddLogMessage(iLine); });
    controller.AddLogMessage(
        Format("Tapevault %s started with the root folder %s", ProgramVersionText().c_str(), RootFolder().c_str()));
    for (const std::string& error : deviceErrors)
      controller.AddLogMessage(error);
    controller.Start();
    std::unique_ptr<TLoggerMainForm> window;
    if (windowed)
    {
      // The window starts the web server when it is first shown, and its close runs the close steps.
      window = std::make_unique<TLoggerMainForm>(controller);
      QObject::connect(window.get(), &TLoggerMainForm::Closed, app.get(), &QCoreApplication::quit);
      QObject::connect(&instance, &TSingleInstance::RestoreRequested, window.get(), &TLoggerMainForm::RestoreWindow);
      QObject::connect(&unixSignals, &TUnixSignals::CloseRequested, window.get(),
                       &TLoggerMainForm::CloseWithoutQuestion);
      window->show();
    }
    else
    {
      QObject::connect(&instance, &TSingleInstance::RestoreRequested, &controller,
                       [&controller]
                       { controller.AddLogMessage("Another start of Tapevault on this root folder was refused"); });
      QObject::connect(&unixSignals, &TUnixSignals::CloseRequested, &controller,
                       [&controller](int)
                       {
                         controller.Close();
                         QCoreApplication::quit();
                       });
      if (controller.Settings().WebServerEnabled)
      {
        std::string error;
        if (!controller.StartWebServer(error))
          controller.AddLogMessage(error);
      }
    }
    result = QCoreApplication::exec();
    window.reset();
    SetDeviceLogProc(nullptr);
  }
  FreeDevices();
  return result;
}
