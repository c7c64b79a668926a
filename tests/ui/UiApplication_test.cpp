// The window's tests share one QApplication on Qt's offscreen platform (no display needed).

#include <QApplication>
#include <gtest/gtest.h>
#include <memory>

namespace
{
class TQtApplicationEnvironment : public ::testing::Environment
{
public:
  void SetUp() override
  {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    fApplication = std::make_unique<QApplication>(fArgc, fArgv);
  }
  void TearDown() override { fApplication.reset(); }

private:
  int fArgc = 1;
  char fName[16] = "test_ui";
  char* fArgv[2] = {fName, nullptr};
  std::unique_ptr<QApplication> fApplication;
};

[[maybe_unused]] ::testing::Environment* const gQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new TQtApplicationEnvironment);
} // namespace
