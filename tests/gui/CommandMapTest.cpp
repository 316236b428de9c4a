// The dispatcher's tables checked without a window: click and hover names,
// menus and their offsets, the command state table and the four layouts,
// and the core's own commands run from the command table.
#include <gtest/gtest.h>

#include "core/Application.h"
#include "support/Fixtures.h"
#include "ui/CommandMap.h"
#include "ui/RunState.h"

namespace pcm {
namespace {

TEST(CommandStateTable, EachColumnControlByControl) {
  // Menu items are addressed by their command, image buttons by their name.
  struct Expect {
    Command menuItem;
    const char* button;
    bool none, selected, previewing, converting;
  };
  using C = Command;
  const Expect table[] = {
      {C::AddFiles, nullptr, 1, 1, 0, 0},    {C::AddFolder, nullptr, 1, 1, 0, 0},
      {C::Properties, nullptr, 0, 1, 0, 0},  {C::Remove, nullptr, 0, 1, 0, 0},
      {C::Rename, nullptr, 0, 1, 0, 0},      {C::Clear, nullptr, 1, 1, 0, 0},
      {C::CheckAll, nullptr, 1, 1, 0, 0},    {C::UncheckAll, nullptr, 1, 1, 0, 0},
      {C::Convert, nullptr, 1, 1, 0, 0},     {C::PauseOrContinue, nullptr, 0, 0, 0, 1},
      {C::StopConvert, nullptr, 0, 0, 0, 1}, {C::Settings, nullptr, 1, 1, 0, 0},
      {C::None, "bt_dvdopen", 1, 1, 0, 0},   {C::None, "bt_ifo", 1, 1, 0, 0},
      {C::None, "bt_clear", 1, 1, 0, 0},     {C::None, "bt_chapte", 1, 1, 0, 0},
      {C::None, "bt_set", 1, 1, 0, 0},       {C::None, "bt_remove", 0, 1, 0, 0},
      {C::None, "bt_play", 0, 1, 0, 0},      {C::None, "bt_cut", 0, 1, 0, 0},
      {C::None, "bt_back", 0, 0, 1, 0},      {C::None, "bt_next", 0, 0, 1, 0},
      {C::None, "bt_playstop", 0, 0, 1, 0},  {C::None, "bt_images", 0, 0, 1, 0},
      {C::None, "bt_start", 1, 1, 0, 0},     {C::None, "Bt_Convertstop", 0, 0, 0, 1},
  };
  auto none = CommandStates(false, false, false);
  auto selected = CommandStates(true, false, false);
  // Previewing and converting override whatever the selection says.
  auto previewing = CommandStates(true, true, false);
  auto converting = CommandStates(true, false, true);
  auto convertingEmpty = CommandStates(false, false, true);
  for (const Expect& e : table) {
    auto at = [&e](const CommandStateTable& t) {
      return e.button ? t.ForButton(ButtonCommand(e.button)) : t.ForMenu(e.menuItem);
    };
    SCOPED_TRACE(e.button ? e.button : std::to_string(int(e.menuItem)));
    EXPECT_EQ(at(none).enabled, e.none);
    EXPECT_EQ(at(selected).enabled, e.selected);
    EXPECT_EQ(at(previewing).enabled, e.previewing);
    EXPECT_EQ(at(converting).enabled, e.converting);
    EXPECT_EQ(at(convertingEmpty).enabled, e.converting);
  }
  EXPECT_TRUE(none.ForButton(Command::Convert).visible);
  EXPECT_TRUE(previewing.ForButton(Command::Convert).visible);
  EXPECT_FALSE(converting.ForButton(Command::Convert).visible);
  // Both play bars follow one rule.
  EXPECT_FALSE(none.playBarsShown);
  EXPECT_FALSE(selected.playBarsShown);
  EXPECT_TRUE(previewing.playBarsShown);
  EXPECT_FALSE(converting.playBarsShown);
  EXPECT_FALSE(CommandStates(true, true, true).playBarsShown);
  // The preview's pause element follows the preview's buttons.
  EXPECT_FALSE(none.ForButton(Command::TogglePause).enabled);
  EXPECT_FALSE(selected.ForButton(Command::TogglePause).enabled);
  EXPECT_TRUE(previewing.ForButton(Command::TogglePause).enabled);
  EXPECT_FALSE(converting.ForButton(Command::TogglePause).enabled);
  // Commands the table does not list are always enabled.
  EXPECT_TRUE(converting.ForMenu(Command::Exit).enabled);
  EXPECT_TRUE(converting.ForButton(Command::OpenAboutPage).enabled);
}

TEST(HoverMessages, NamedElementsAndTheRest) {
  const char* names[24] = {"dvdopen",    "ifoopen",       "profiles",      "audio",     "subtitle",
                           "video_size", "video_quality", "audio_quality", "channels",  "play",
                           "pause",      "stopplay",      "play_bar",      "play_time", "chapter",
                           "cutter",     "converter",     "stopconverter", "browse",    "open",
                           "openfolder", "openfiles",     "remove",        "clear"};
  for (int i = 0; i < 24; ++i) EXPECT_EQ(HoverMessage(names[i]), i + 1) << names[i];
  EXPECT_EQ(HoverMessage("profilestext"), 3);
  EXPECT_EQ(HoverMessage("hint"), 25);
  EXPECT_EQ(HoverMessage("Profiles"), 25);  // names compare case-sensitively
  EXPECT_EQ(HoverMessage(""), 25);
}

TEST(ClickTable, NamesAndUnknowns) {
  EXPECT_EQ(ClickCommand("openfiles"), Command::AddFiles);
  EXPECT_EQ(ClickCommand("openfolder"), Command::AddFolder);
  EXPECT_EQ(ClickCommand("converter"), Command::Convert);
  EXPECT_EQ(ClickCommand("stopconverter"), Command::StopConvert);
  EXPECT_EQ(ClickCommand("remove"), Command::Remove);
  EXPECT_EQ(ClickCommand("clear"), Command::Clear);
  EXPECT_EQ(ClickCommand("browse"), Command::Browse);
  EXPECT_EQ(ClickCommand("open"), Command::OpenOutput);
  EXPECT_EQ(ClickCommand("profiles"), Command::ShowProfiles);
  EXPECT_EQ(ClickCommand("cutter"), Command::Cutter);
  for (const char* m : {"help", "file", "dvdfile", "register", "settings", "purchase"})
    EXPECT_EQ(ClickCommand(m), Command::PopupMenu) << m;
  EXPECT_EQ(ClickCommand("hint"), Command::None);
  EXPECT_EQ(ClickCommand("CONVERTER"), Command::None);
}

TEST(Menus, OffsetsForBothBrandings) {
  struct Expect {
    const char* element;
    const char* menu;
    int x, y;
    const char* brandedMenu;
    int bx, by;
  };
  const Expect table[] = {
      {"file", "zm_popup_file", 33, 50, "zm_popup_file", 85, 64},
      {"settings", "zm_pop_edit", 66, 50, "zm_pop_edit", 66, 50},
      {"purchase", "zm_pop_actions", 106, 50, "zm_pop_actions", 106, 50},
      {"register", "zm_pop_tools", 158, 50, "zm_pop_tools", 158, 50},
      {"help", "zm_pop_help", 198, 50, "pop_help", 366, 64},
      {"dvdfile", "pop_dvd", 76, 54, "pop_dvd", 85, 64},
  };
  for (const Expect& e : table) {
    SCOPED_TRACE(e.element);
    MenuPopup p = PopupFor(e.element, false), b = PopupFor(e.element, true);
    EXPECT_EQ(p.menu, e.menu);
    EXPECT_EQ(p.x, e.x);
    EXPECT_EQ(p.y, e.y);
    EXPECT_EQ(b.menu, e.brandedMenu);
    EXPECT_EQ(b.x, e.bx);
    EXPECT_EQ(b.y, e.by);
  }
  EXPECT_TRUE(PopupFor("profiles", false).menu.empty());
}

TEST(Menus, CaptionsAndCommands) {
  auto captions = [](const std::string& menu) {
    std::vector<std::string> out;
    for (const auto& i : MenuItems(menu)) out.push_back(i.caption);
    return out;
  };
  using V = std::vector<std::string>;
  EXPECT_EQ(captions("zm_popup_file"),
            (V{"Add File(s)...", "Add Folder", "Properties", "Run Background", "Exit"}));
  EXPECT_EQ(captions("zm_pop_edit"), (V{"Remove", "Clear", "Rename", "Select All", "Unselect All"}));
  EXPECT_EQ(captions("zm_pop_actions"), (V{"Convert", "Pause", "Stop"}));
  EXPECT_EQ(captions("zm_pop_tools"), (V{"Settings"}));
  EXPECT_EQ(captions("pop_help"), (V{"Help", "Our Website", "Support", "Contact us", "About"}));
  EXPECT_EQ(captions("pop_dvd"),
            (V{"Add DVD", "Add IFO", "Select All", "Unselect ALL", "Convert", "Stop", "Exit"}));
  EXPECT_EQ(captions("pop_file"),
            (V{"Add Files", "Add Folder", "Remove", "Clear", "Convert", "Stop", "Exit"}));
  EXPECT_EQ(MenuItems("zm_pop_edit")[3].command, Command::CheckAll);
  EXPECT_EQ(MenuItems("zm_pop_edit")[4].command, Command::UncheckAll);
  EXPECT_EQ(MenuItems("zm_pop_actions")[1].command, Command::PauseOrContinue);
  EXPECT_EQ(MenuItems("pop_help")[4].command, Command::About);
  EXPECT_EQ(MenuItems("pop_help")[1].command, Command::OpenWebAddress);
  EXPECT_EQ(MenuItems("pop_help")[3].command, Command::OpenHelpAddress);
  EXPECT_EQ(MenuItems("zm_pop_help")[0].command, Command::OpenHelpAddress);
  EXPECT_TRUE(MenuItems("nothing").empty());
  EXPECT_EQ(AboutItemCaption(ProgramInfo("/opt/x/clipper.exe")), "About Velmar clipper");
}

TEST(ImageButtons, HintsAndCommands) {
  std::map<std::string, ImageButton> by;
  for (const auto& b : ImageButtons()) by[b.name] = b;
  EXPECT_EQ(by.size(), 15u);
  EXPECT_EQ(by["bt_dvdopen"].hint, "Add DVD");
  EXPECT_EQ(by["bt_dvdopen"].command, Command::AddFiles);
  EXPECT_EQ(by["bt_ifo"].hint, "Add IFO file.");
  EXPECT_EQ(by["bt_ifo"].command, Command::AddFolder);
  EXPECT_EQ(by["bt_chapte"].hint, "Show Title or chapte");
  EXPECT_EQ(by["bt_chapte"].command, Command::Properties);
  EXPECT_EQ(by["Bt_Convertstop"].command, Command::StopConvert);
  EXPECT_EQ(by["bt_web"].hint, "About US");
}

TEST(VariantLayouts, FourNames) {
  VariantLayout plain = LayoutFor(ProgramInfo("/x/popclipmill"));
  EXPECT_FALSE(plain.previewButtons);
  EXPECT_FALSE(plain.streamBoxes);
  EXPECT_EQ(plain.firstColumnCaption, "Title");
  EXPECT_TRUE(plain.checkBoxes);
  EXPECT_EQ(plain.categoryLeft, 94);
  EXPECT_EQ(plain.panelLeft, 247);
  EXPECT_EQ(plain.subPanelOffset, 170);

  VariantLayout quorv = LayoutFor(ProgramInfo("/x/QuorvClip.exe"));
  EXPECT_TRUE(quorv.previewButtons);
  EXPECT_FALSE(quorv.streamBoxes);
  EXPECT_EQ(quorv.firstColumnCaption, "File Name");
  EXPECT_FALSE(quorv.checkBoxes);
  EXPECT_EQ(quorv.panelLeft, 241);
  EXPECT_EQ(quorv.subPanelOffset, 180);
  EXPECT_EQ(quorv.audioPageLeft, 88);

  VariantLayout quorvDvd = LayoutFor(ProgramInfo("/x/quorv-dvd"));
  EXPECT_TRUE(quorvDvd.streamBoxes);
  EXPECT_EQ(quorvDvd.audioBox, (Rect{90, 453, 177, 22}));
  EXPECT_EQ(quorvDvd.subtitleBox, (Rect{336, 453, 177, 22}));
  EXPECT_EQ(quorvDvd.categoryTop, 71);
  EXPECT_EQ(quorvDvd.panelLeft, 243);

  VariantLayout dvd = LayoutFor(ProgramInfo("/x/popclipmill-DVD"));
  EXPECT_TRUE(dvd.previewButtons);
  EXPECT_EQ(dvd.audioBox, (Rect{516, 59, 75, 22}));
  EXPECT_EQ(dvd.subtitleBox, (Rect{642, 59, 75, 22}));
  EXPECT_EQ(dvd.firstColumnCaption, "Title");
}

// The core carries out its commands without a window; the window's own
// commands (dialogs, the rename editor) are simply not available there.
TEST(CoreCommands, DispatchedWithoutAWindow) {
  ScriptedUserInterface ui;
  RecordingSystemActions system;
  CoreApp app({pcmtest::MakeProgramDir("commands"), nullptr, &ui, &system});
  for (Command c : {Command::AddFiles, Command::AddFolder, Command::Remove, Command::Clear, Command::Convert,
                    Command::StopConvert, Command::OpenOutput, Command::OpenHelpAddress})
    EXPECT_TRUE(app.commands.Available(c)) << int(c);
  for (Command c : {Command::Properties, Command::Settings, Command::Rename, Command::Browse, Command::None})
    EXPECT_FALSE(app.Execute(c)) << int(c);
  EXPECT_TRUE(ui.boxes.empty());

  // A folder name with a line break is refused with a box before anything runs.
  app.settings.outputField = "/tmp/x\n[profiles]";
  app.settings.outputField[6] = '\n';
  EXPECT_TRUE(app.Execute(Command::Convert));
  EXPECT_FALSE(app.run.converting);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].kind, "error");
  EXPECT_EQ(ui.boxes[0].text.rfind("The folder name", 0), 0u) << ui.boxes[0].text;

  // The output folder opens what the field says; an address needs a record.
  app.settings.outputField = "/srv/out/";
  app.Execute(Command::OpenOutput);
  app.Execute(Command::OpenWebAddress);
  app.product = ProductRecord{"popclipmill", "https://web.example/", "https://help.example/"};
  app.Execute(Command::OpenHelpAddress);
  EXPECT_EQ(system.calls,
            (std::vector<std::string>{"open-folder /srv/out/", "open-address https://help.example/"}));

  // A piece adds a command with one line (the menu pop-up is the window's
  // own and never registered); a fault inside it reaches the error box and
  // the command states are asked for again.
  int statesAsked = 0;
  app.commandStatesHook = [&] { ++statesAsked; };
  ASSERT_FALSE(app.commands.Available(Command::PopupMenu));
  app.commands.Register(Command::PopupMenu, [] { throw CommandError("no picture"); });
  EXPECT_TRUE(app.Execute(Command::PopupMenu));
  EXPECT_EQ(ui.boxes.back().text, "no picture");
  EXPECT_EQ(statesAsked, 1);
  app.commands.Unregister(Command::PopupMenu);
  EXPECT_FALSE(app.Execute(Command::PopupMenu));
  EXPECT_EQ(statesAsked, 1);
}

}  // namespace
}  // namespace pcm
