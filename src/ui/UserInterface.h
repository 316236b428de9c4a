#pragma once
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace pcm {

// How commands talk to the person: message boxes, choosers and the event pump
// used while waiting. The window implements it with Qt dialogs; tests and the
// batch front end implement it with scripted answers.
class UserInterface {
 public:
  virtual ~UserInterface() = default;
  virtual void Warning(const std::string& text) = 0;
  virtual void Information(const std::string& text) = 0;
  // An information box with a second line saying why; the window shows the
  // two lines in one box, a terminal prints them as two messages.
  virtual void InformationWithReason(const std::string& text, const std::string& why) {
    Information(text + "\n" + why);
  }
  virtual bool Confirm(const std::string& text) = 0;  // Yes = true
  // The application's error box for failures that abandon a command.
  virtual void Error(const std::string& text) = 0;
  // File chooser; an empty list means cancelled. filter uses the Qt syntax.
  virtual std::vector<std::string> ChooseFiles(const std::string& filter) = 0;
  // Folder chooser with the given caption; nullopt means no choice.
  virtual std::optional<std::string> ChooseFolder(const std::string& caption) = 0;
};

// Records every box and answers from scripted queues. Confirmations answer
// `confirmDefault` once the queue is empty, choosers "cancel".
class ScriptedUserInterface : public UserInterface {
 public:
  struct Box {
    std::string kind;  // "warning", "information", "confirm", "error"
    std::string text;
  };
  void Warning(const std::string& text) override { boxes.push_back({"warning", text}); }
  void Information(const std::string& text) override { boxes.push_back({"information", text}); }
  void Error(const std::string& text) override { boxes.push_back({"error", text}); }
  bool Confirm(const std::string& text) override {
    boxes.push_back({"confirm", text});
    if (confirmAnswers.empty()) return confirmDefault;
    bool a = confirmAnswers.front();
    confirmAnswers.pop_front();
    return a;
  }
  std::vector<std::string> ChooseFiles(const std::string& filter) override {
    lastFilter = filter;
    if (fileAnswers.empty()) return {};
    auto a = fileAnswers.front();
    fileAnswers.pop_front();
    return a;
  }
  std::optional<std::string> ChooseFolder(const std::string& caption) override {
    lastFolderCaption = caption;
    if (folderAnswers.empty()) return std::nullopt;
    auto a = folderAnswers.front();
    folderAnswers.pop_front();
    return a;
  }

  std::vector<Box> boxes;
  std::deque<bool> confirmAnswers;
  bool confirmDefault = false;
  std::deque<std::vector<std::string>> fileAnswers;
  std::deque<std::optional<std::string>> folderAnswers;
  std::string lastFilter;
  std::string lastFolderCaption;
};

}  // namespace pcm
