// Process-wide engine settings and the per-thread last error.

#include "audio/engine/AudioEngine.h"

#include <gtest/gtest.h>
#include <thread>

namespace
{
struct TConfigCase
{
  uint32_t Option;
  int32_t Value;
  int Error; // ecOK: stored and read back
};

TEST(EngineConfig, SettingsAreValidatedAndReadBack)
{
  const TConfigCase Cases[] = {
      {cfFloatDSP, 1, ecOK},           {cfFloatDSP, 0, ecNotAvailable}, {cfNetPlaylist, 1, ecOK},
      {cfEncodePriority, -2000, ecOK}, {cfEncodeQueue, 6000, ecOK},     {cfEncodeQueue, -1, ecIllegalParam},
      {0x12345, 1, ecIllegalType},
  };
  for (const TConfigCase& Case : Cases)
  {
    EXPECT_EQ(TAudioEngine::SetConfig(Case.Option, Case.Value), Case.Error == ecOK) << Case.Option;
    EXPECT_EQ(TAudioEngine::ErrorGetCode(), Case.Error) << Case.Option;
    if (Case.Error == ecOK)
    {
      EXPECT_EQ(TAudioEngine::GetConfig(Case.Option), Case.Value) << Case.Option;
    }
  }
  EXPECT_EQ(TAudioEngine::GetConfig(0x12345), -1);
  TAudioEngine::SetConfig(cfEncodePriority, -1000);
}

TEST(EngineConfig, LastErrorBelongsToTheCallingThread)
{
  EXPECT_FALSE(TAudioEngine::StreamFree(0));
  EXPECT_EQ(TAudioEngine::ErrorGetCode(), ecHandle);
  std::thread Other(
      []
      {
        EXPECT_EQ(TAudioEngine::ErrorGetCode(), ecOK);
        EXPECT_EQ(TAudioEngine::StreamCreatePush(0, 2, chDecode), 0u);
        EXPECT_EQ(TAudioEngine::ErrorGetCode(), ecFrequency);
      });
  Other.join();
  EXPECT_EQ(TAudioEngine::ErrorGetCode(), ecHandle);
}
} // namespace
