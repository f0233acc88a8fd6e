// What a window would be told during a generator call, recorded for the
// test, and a fixture that installs it with the cancel flag cleared.
#pragma once
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "generator/generator.h"
#include "generator/ui_sink.h"

namespace talvora {

// Records progress and status, counts the message pumps, and lets a test
// act on either (as the cancel button would).
class RecordingSink : public UiSink {
 public:
  void ProgressChanged(float value, float max) override {
    progress.push_back({value, max});
    if (onProgress) onProgress(value, max);
  }
  void StatusChanged(const std::string& text) override {
    // The time stamp is not the run's business; keep the message.
    std::size_t at = text.find("]  ");
    status.push_back(at == std::string::npos ? text : text.substr(at + 3));
  }
  void PumpMessages() override {
    ++pumps;
    if (onPump) onPump();
  }
  std::vector<std::pair<float, float>> progress;
  std::vector<std::string> status;
  int pumps = 0;
  std::function<void(float, float)> onProgress;
  std::function<void()> onPump;
};

// Installs a sink and clears the cancel flag for one test.
class WithSink : public ::testing::Test {
 protected:
  void SetUp() override {
    Options().CancelFlag = 0;
    SetUiSink(&sink);
  }
  void TearDown() override {
    SetUiSink(nullptr);
    Options().CancelFlag = 0;
  }
  RecordingSink sink;
};

}  // namespace talvora
