#include "generator/ui_sink.h"

#include "platform/fso.h"

namespace talvora {
namespace {
UiSink* g_sink = nullptr;
}

void SetUiSink(UiSink* sink) { g_sink = sink; }
UiSink* GetUiSink() { return g_sink; }

void PumpMessages() {
  // What the window does meanwhile is its own, not the run's.
  platform::fso::OutsideListingScope window;
  if (g_sink) g_sink->PumpMessages();
}

void ProgressBarModel::SetValue(float v) {
  value_ = v;
  platform::fso::OutsideListingScope window;
  if (g_sink) g_sink->ProgressChanged(value_, max_);
}

void ProgressBarModel::SetMax(float m) {
  max_ = m;
  platform::fso::OutsideListingScope window;
  if (g_sink) g_sink->ProgressChanged(value_, max_);
}

ProgressBarModel& ProgressBar() {
  static ProgressBarModel bar;
  return bar;
}

}  // namespace talvora

namespace quenlet {
namespace {
UiSink* Sink() { return dynamic_cast<UiSink*>(talvora::GetUiSink()); }
}  // namespace

void ShowMsg(const std::string& text) {
  platform::fso::OutsideListingScope window;
  if (UiSink* sink = Sink()) sink->ShowMsgChanged(text);
}

void ShowProgressMsg(const std::string& text) {
  platform::fso::OutsideListingScope window;
  if (UiSink* sink = Sink()) sink->ProgressMsgChanged(text);
}

}  // namespace quenlet
