#pragma once

#include <memory>

class QApplication;

namespace tarvik::gui {

// A QApplication for drawing charts and previews into files from the command line: created on
// the offscreen platform (no display needed) unless the process already has an application.
class OffscreenApplication {
 public:
  OffscreenApplication();
  ~OffscreenApplication();
  OffscreenApplication(const OffscreenApplication&) = delete;
  OffscreenApplication& operator=(const OffscreenApplication&) = delete;

 private:
  int argc_ = 1;
  char name_[16] = "tarvik-cli";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> app_;
};

}  // namespace tarvik::gui
