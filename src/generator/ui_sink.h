// How the generator reaches a window: the progress bar, the status line and
// "let pending window messages be handled". A window implements UiSink and
// attaches it; with none attached everything is silent, so the generator
// needs no GUI.
#pragma once
#include <string>

namespace talvora {

class UiSink {
 public:
  virtual ~UiSink() = default;
  virtual void ProgressChanged(float value, float max) {}
  // The whole new text of the status line (panel 2).
  virtual void StatusChanged(const std::string& text) {}
  virtual void PumpMessages() {}
};

void SetUiSink(UiSink* sink);
UiSink* GetUiSink();

// Pending window messages are handled once (cancel can act in between).
void PumpMessages();

// The wizard's progress bar as the generator sees it. Value and Max are the
// designed single-precision numbers; each change is shown through the sink.
class ProgressBarModel {
 public:
  float Value() const { return value_; }
  float Max() const { return max_; }
  void SetValue(float v);
  void SetMax(float m);

 private:
  float value_ = 0;
  float max_ = 100;
};
ProgressBarModel& ProgressBar();

}  // namespace talvora

namespace quenlet {

// Quenlet's window shows the run's texts in two labels of its own instead
// of a status line: the stage line (showmsg) and the progress line
// (ProgressMsg). Its sink implements both; with another sink, or none, the
// texts are not shown.
class UiSink : public talvora::UiSink {
 public:
  virtual void ShowMsgChanged(const std::string& text) {}
  virtual void ProgressMsgChanged(const std::string& text) {}
};

void ShowMsg(const std::string& text);
void ShowProgressMsg(const std::string& text);

}  // namespace quenlet
