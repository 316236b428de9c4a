#pragma once
#include <cstdio>
#include <functional>

#include "app/ConsoleOutput.h"
#include "ui/UserInterface.h"

namespace pcm {

// The message boxes of a run without a window: every box is printed on
// standard error, with control characters escaped; confirmations answer No and choosers are cancelled, so a
// command that needs a person does nothing.
class ConsoleUserInterface : public UserInterface {
 public:
  void Warning(const std::string& text) override { Print("warning", text); }
  void Information(const std::string& text) override { Print(nullptr, text); }
  // The reason on a line of its own: a line break inside a name is escaped,
  // this one is not.
  void InformationWithReason(const std::string& text, const std::string& why) override {
    Print(nullptr, text);
    Print(nullptr, "  " + why);
  }
  void Error(const std::string& text) override {
    ++errors;
    Print("error", text);
  }
  bool Confirm(const std::string& text) override {
    Print(nullptr, text + " (answered No)");
    return false;
  }
  std::vector<std::string> ChooseFiles(const std::string&) override { return {}; }
  std::optional<std::string> ChooseFolder(const std::string&) override { return std::nullopt; }

  // Called before a box is printed, so a progress bar can end its line.
  std::function<void()> beforePrint;
  // How many error boxes were printed: an add that printed one failed on
  // the profile file, which every further file would fail on as well.
  int errors = 0;

 private:
  void Print(const char* kind, const std::string& message) {
    if (beforePrint) beforePrint();
    std::string text = Printable(message);
    if (kind)
      std::fprintf(stderr, "popclipmill: %s: %s\n", kind, text.c_str());
    else
      std::fprintf(stderr, "popclipmill: %s\n", text.c_str());
    std::fflush(stderr);
  }
};

}  // namespace pcm
