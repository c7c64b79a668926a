// The window's costs on Qt's offscreen platform:
// 1. the slot view repainting 64 recording slots ten times a second (all cells visible, levels moving): the UI
//    thread's CPU time as a share of one core (goal: at most 3 %);
// 2. the start of the window program with 16 slots: from reading the configuration to the first painted slot
//    view (goal: at most 1 s).
//
//   ui_bench [seconds]      (default 10 s of repainting)

#include "UiDemoSlots.h"
#include "app/LoggerMain.h"
#include "app/TapevaultGlobals.h"
#include "audio/AudioDevices.h"
#include "lib/TapevaultTools.h"
#include "ui/LoggerMainForm.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace
{
double ThreadSeconds()
{
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + t.tv_nsec / 1e9;
}

bool RepaintBench(int iSeconds)
{
  TDemoRecordingSource source(64);
  TSlotView view(source);
  view.resize(4 * 400, 16 * DefaultInfoHeight + 4);
  view.SetColumnCount(4);
  view.show();
  int paints = 0;
  QObject::connect(&view, &TSlotView::Painted, [&] { ++paints; });
  QEventLoop loop;
  QTimer::singleShot(1000, &loop, &QEventLoop::quit); // settle
  loop.exec();
  paints = 0;
  const double cpu0 = ThreadSeconds();
  QElapsedTimer wall;
  wall.start();
  QTimer::singleShot(iSeconds * 1000, &loop, &QEventLoop::quit);
  loop.exec();
  const double cpu = ThreadSeconds() - cpu0;
  const double seconds = wall.elapsed() / 1000.0;
  const double share = 100 * cpu / seconds;
  std::printf("repaint: 64 slots, %d paints in %.1f s (%.1f/s), UI thread CPU %.3f s = %.2f %% of a core "
              "(goal <= 3 %%), %.2f ms per paint\n",
              paints, seconds, paints / seconds, cpu, share, paints ? 1000 * cpu / paints : 0.0);
  return share <= 3 && paints >= seconds * 9;
}

bool StartBench()
{
  const std::filesystem::path root =
      std::filesystem::temp_directory_path() / ("tapevault_ui_bench_" + std::to_string(::getpid()));
  std::filesystem::create_directories(root);
  std::ofstream(root / "Tapevault.ini") << "[General]\nSlotCount=16\nColumnCount=2\n";
  const std::string folder = root.string();
  const char* arguments[] = {"ui_bench", "-rootfolder", folder.c_str(), nullptr};
  SetArguments(3, arguments);

  QElapsedTimer clock;
  clock.start();
  InitializeGlobals();
  EnumerateDevices();
  qint64 painted = -1;
  {
    TLoggerMain controller;
    controller.Start();
    TLoggerMainForm window(controller);
    QEventLoop loop;
    QObject::connect(window.vdtSlots, &TSlotView::Painted, &loop,
                     [&]
                     {
                       if (painted < 0)
                         painted = clock.elapsed();
                       loop.quit();
                     });
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    window.show();
    loop.exec();
    window.CloseWithoutQuestion();
  }
  FreeDevices();
  std::filesystem::remove_all(root);
  std::printf("start: 16 slots, first painted slot view after %lld ms (goal <= 1000 ms)\n",
              static_cast<long long>(painted));
  return painted >= 0 && painted <= 1000;
}
} // namespace

int main(int argc, char** argv)
{
  const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const bool start = StartBench();
  const bool repaint = RepaintBench(seconds);
  return start && repaint ? 0 : 1;
}
