#include "ui/CommandMap.h"

#include "ui/RunState.h"

namespace pcm {

Command ClickCommand(const std::string& e) {
  // First match wins; the names are compared exactly.
  static const std::vector<std::pair<std::string, Command>> table = {
      {"cutclose", Command::CutClose},
      {"profiles", Command::ShowProfiles},
      {"openfiles", Command::AddFiles},
      {"chapter", Command::ToggleChapterView},
      {"ifoopen", Command::AddIfo},
      {"dvdopen", Command::AddDvd},
      {"openfolder", Command::AddFolder},
      {"converter", Command::Convert},
      {"remove", Command::Remove},
      {"clear", Command::Clear},
      {"stopconverter", Command::StopConvert},
      {"browse", Command::Browse},
      {"open", Command::OpenOutput},
      {"help", Command::PopupMenu},
      {"file", Command::PopupMenu},
      {"dvdfile", Command::PopupMenu},
      {"register", Command::PopupMenu},
      {"play", Command::TrimPlay},
      {"stop", Command::StopPreview},
      {"pause", Command::TogglePause},
      {"settings", Command::PopupMenu},
      {"cutter", Command::Cutter},
      {"purchase", Command::PopupMenu},
      {"begin", Command::TrimBegin},
      {"end", Command::TrimEnd},
      {"hou", Command::TrimBack},
      {"qian", Command::TrimForward},
  };
  for (const auto& [name, command] : table)
    if (name == e) return command;
  return Command::None;
}

int HoverMessage(const std::string& e) {
  static const std::map<std::string, int> table = {
      {"dvdopen", 1},  {"ifoopen", 2},     {"profiles", 3},      {"profilestext", 3},   {"audio", 4},
      {"subtitle", 5}, {"video_size", 6},  {"video_quality", 7}, {"audio_quality", 8},  {"channels", 9},
      {"play", 10},    {"pause", 11},      {"stopplay", 12},     {"play_bar", 13},      {"play_time", 14},
      {"chapter", 15}, {"cutter", 16},     {"converter", 17},    {"stopconverter", 18}, {"browse", 19},
      {"open", 20},    {"openfolder", 21}, {"openfiles", 22},    {"remove", 23},        {"clear", 24},
  };
  auto it = table.find(e);
  return it == table.end() ? 25 : it->second;
}

MenuPopup PopupFor(const std::string& e, bool branded) {
  if (e == "file") return branded ? MenuPopup{"zm_popup_file", 85, 64} : MenuPopup{"zm_popup_file", 33, 50};
  if (e == "settings") return {"zm_pop_edit", 66, 50};
  if (e == "purchase") return {"zm_pop_actions", 106, 50};
  if (e == "register") return {"zm_pop_tools", 158, 50};
  if (e == "help") return branded ? MenuPopup{"pop_help", 366, 64} : MenuPopup{"zm_pop_help", 198, 50};
  if (e == "dvdfile") return branded ? MenuPopup{"pop_dvd", 85, 64} : MenuPopup{"pop_dvd", 76, 54};
  return {};
}

static const std::map<std::string, std::vector<MenuItem>>& Menus() {
  static const std::map<std::string, std::vector<MenuItem>> menus = {
      {"zm_popup_file",
       {{"Add File(s)...", Command::AddFiles},
        {"Add Folder", Command::AddFolder},
        {"Properties", Command::Properties},
        {"Run Background", Command::RunBackground},
        {"Exit", Command::Exit}}},
      {"zm_pop_edit",
       {{"Remove", Command::Remove},
        {"Clear", Command::Clear},
        {"Rename", Command::Rename},
        {"Select All", Command::CheckAll},
        {"Unselect All", Command::UncheckAll}}},
      {"zm_pop_actions",
       {{"Convert", Command::Convert}, {"Pause", Command::PauseOrContinue}, {"Stop", Command::StopConvert}}},
      {"zm_pop_tools", {{"Settings", Command::Settings}}},
      {"zm_pop_help",
       {{"Help", Command::OpenHelpAddress},
        {"Feedback and Support", Command::OpenContactPage},
        {"About", Command::OpenAboutPage}}},
      {"pop_help",
       {{"Help", Command::OpenWebAddress},
        {"Our Website", Command::OpenWebAddress},
        {"Support", Command::OpenHelpAddress},
        {"Contact us", Command::OpenHelpAddress},
        {"About", Command::About}}},
      {"pop_dvd",
       {{"Add DVD", Command::AddDvd},
        {"Add IFO", Command::AddIfo},
        {"Select All", Command::DvdCheckAll},
        {"Unselect ALL", Command::DvdUncheckAll},
        {"Convert", Command::Convert},
        {"Stop", Command::StopConvert},
        {"Exit", Command::Exit}}},
      {"pop_file",
       {{"Add Files", Command::AddFiles},
        {"Add Folder", Command::AddFolder},
        {"Remove", Command::Remove},
        {"Clear", Command::Clear},
        {"Convert", Command::Convert},
        {"Stop", Command::StopConvert},
        {"Exit", Command::Exit}}},
  };
  return menus;
}

const std::vector<MenuItem>& MenuItems(const std::string& menu) {
  static const std::vector<MenuItem> none;
  auto it = Menus().find(menu);
  return it == Menus().end() ? none : it->second;
}

std::vector<std::string> MenuNames() {
  std::vector<std::string> names;
  for (const auto& [name, items] : Menus()) names.push_back(name);
  return names;
}

std::string AboutItemCaption(const ProgramInfo& program) {
  return "About Velmar " + program.NameWithoutExtension();
}

const std::vector<ImageButton>& ImageButtons() {
  static const std::vector<ImageButton> buttons = {
      {"bt_dvdopen", "Add DVD", Command::AddFiles},
      {"bt_ifo", "Add IFO file.", Command::AddFolder},
      {"bt_remove", "Remove Files", Command::Remove},
      {"bt_clear", "Clear file list", Command::Clear},
      {"bt_set", "Settings", Command::Settings},
      {"bt_chapte", "Show Title or chapte", Command::Properties},
      {"bt_start", "Start convert", Command::Convert},
      {"Bt_Convertstop", "Stop convert", Command::StopConvert},
      {"bt_play", "Play", Command::StartPreview},
      {"bt_playstop", "Play Stop", Command::StopPreview},
      {"bt_back", "Back", Command::StepBack},
      {"bt_next", "Forward", Command::StepForward},
      {"bt_cut", "Cut", Command::OpenTrim},
      {"bt_images", "save images", Command::Snapshot},
      {"bt_web", "About US", Command::OpenAboutPage},
  };
  return buttons;
}

const std::vector<KeyBinding>& KeyBindings(bool branded) {
  auto make = [](Command help) {
    return std::vector<KeyBinding>{
        {"Del", Command::Remove},
        {"F2", Command::Rename},
        {"Ctrl+O", Command::AddFiles},
        {"F1", help},
        {"Return", Command::StartPreview, true},
        {"Enter", Command::StartPreview, true},
        {"Space", Command::TogglePause, true},
    };
  };
  static const std::vector<KeyBinding> plain = make(MenuItems(PopupFor("help", false).menu).front().command);
  static const std::vector<KeyBinding> brand = make(MenuItems(PopupFor("help", true).menu).front().command);
  return branded ? brand : plain;
}

Command ButtonCommand(const std::string& name) {
  for (const ImageButton& b : ImageButtons())
    if (b.name == name) return b.command;
  return Command::None;
}

ControlState CommandStateTable::ForMenu(Command c) const {
  auto it = menuItems.find(c);
  return it == menuItems.end() ? ControlState{} : it->second;
}

ControlState CommandStateTable::ForButton(Command c) const {
  auto it = buttons.find(c);
  return it == buttons.end() ? ControlState{} : it->second;
}

CommandStateTable CommandStates(bool anySelected, bool previewing, bool converting) {
  // Each row: no selection, selection, previewing, converting.
  struct Row {
    std::vector<Command> commands;
    bool col[4];
  };
  using C = Command;
  static const std::vector<Row> menuRows = {
      {{C::AddFiles, C::AddFolder}, {1, 1, 0, 0}},
      {{C::Properties, C::Remove, C::Rename}, {0, 1, 0, 0}},
      {{C::Clear, C::CheckAll, C::UncheckAll}, {1, 1, 0, 0}},
      {{C::Convert}, {1, 1, 0, 0}},
      {{C::PauseOrContinue, C::StopConvert}, {0, 0, 0, 1}},
      // The menu item follows the settings button.
      {{C::Settings}, {1, 1, 0, 0}},
  };
  static const std::vector<Row> buttonRows = {
      {{C::AddFiles, C::AddFolder, C::Clear, C::Properties, C::Settings}, {1, 1, 0, 0}},
      {{C::Remove}, {0, 1, 0, 0}},
      {{C::StartPreview, C::OpenTrim}, {0, 1, 0, 0}},
      {{C::StepBack, C::StepForward, C::StopPreview, C::Snapshot, C::TogglePause}, {0, 0, 1, 0}},
      {{C::Convert}, {1, 1, 0, 0}},
      {{C::StopConvert}, {0, 0, 0, 1}},
  };
  // The column that decides: the last one that applies.
  int column = anySelected ? 1 : 0;
  if (previewing) column = 2;
  if (converting) column = 3;
  CommandStateTable t;
  for (const auto& row : menuRows)
    for (Command c : row.commands) t.menuItems[c] = {row.col[column], true};
  for (const auto& row : buttonRows)
    for (Command c : row.commands) t.buttons[c] = {row.col[column], true};
  t.buttons[C::Convert].visible = !converting;
  t.playBarsShown = previewing && !converting;
  return t;
}

VariantLayout LayoutFor(const ProgramInfo& program) {
  VariantLayout l;
  bool dvd = program.DvdMode(), quorv = program.Branded();
  l.previewButtons = quorv || dvd;
  l.streamBoxes = dvd;
  l.firstColumnCaption = quorv && !dvd ? "File Name" : "Title";
  l.checkBoxes = !(quorv && !dvd);
  if (quorv && dvd) {
    l.audioBox = {90, 453, 177, 22};
    l.subtitleBox = {336, 453, 177, 22};
  } else if (dvd) {
    l.audioBox = {516, 59, 75, 22};
    l.subtitleBox = {642, 59, 75, 22};
  }
  if (quorv && dvd) {
    l.categoryLeft = 90, l.categoryTop = 71, l.panelLeft = 243, l.panelTop = 71;
  } else if (quorv) {
    l.categoryLeft = 88, l.categoryTop = 90, l.panelLeft = 241, l.panelTop = 90;
  } else {
    l.categoryLeft = 94, l.categoryTop = 90, l.panelLeft = 247, l.panelTop = 90;
  }
  l.subPanelOffset = quorv ? 180 : 170;
  l.audioPageLeft = quorv ? 88 : 94;
  return l;
}

}  // namespace pcm
