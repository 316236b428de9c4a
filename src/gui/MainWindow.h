#pragma once
#include <QMap>
#include <QPointer>
#include <QWidget>
#include <memory>

#include "core/Application.h"
#include "gui/GuiServices.h"
#include "gui/Skin.h"
#include "profiles/PickerState.h"
#include "profiles/ProductInfo.h"
#include "ui/CommandMap.h"

class QComboBox;
class QLineEdit;
class QMenu;
class QShortcut;
class QPushButton;
class QSystemTrayIcon;
class QTableView;

namespace pcm {

class AboutDialog;
class BatchStatus;
class InfoDialog;
class ListModel;
class PreviewPanel;
class ProfilePicker;
class SettingsDialog;
class TrimWindow;

// Tfm_main: the skinned main window and its dispatcher. Every rule lives in
// the core (CoreApp, CommandMap, PickerState); this class builds the widgets,
// turns their events into commands and shows the state.
class MainWindow : public QWidget {
  Q_OBJECT
 public:
  struct Options {
    std::string programPath;
    UserInterface* ui = nullptr;      // message boxes and choosers; Qt dialogs when null
    SystemActions* system = nullptr;  // the desktop's handlers when null
  };
  // Throws SkinError when the skin file is missing, unreadable or lacks an
  // element or control the window needs.
  explicit MainWindow(const Options& options);
  ~MainWindow() override;

  CoreApp& app() { return *app_; }
  SkinDisplay& display() { return display_; }
  SkinForm* form() const { return form_; }
  ProfilePicker& pickerWidgets() { return *pickerWidgets_; }
  PickerState& picker() { return *picker_; }
  QTableView* listView() const { return lv_; }
  PreviewPanel* previewPanel() const { return pl_play_; }
  QLineEdit* outputField() const { return ed_output_; }
  QLineEdit* renameField() const { return edt_tit_; }
  QPushButton* Button(const QString& name) const { return buttons_.value(name); }
  QMenu* Menu(const QString& name) const { return menus_.value(name); }
  SettingsDialog* settingsDialog() const { return settingsDialog_; }
  InfoDialog* infoDialog() const { return infoDialog_; }
  BatchStatus& batchStatus() const { return *batchStatus_; }
  AboutDialog* aboutDialog() const { return aboutDialog_; }
  QWidget* trimWindow() const { return trimWindow_; }
  TrimWindow* trimView() const { return trimView_; }
  WindowSystemActions& windowSystem() { return *windowSystem_; }
  const std::optional<ProductRecord>& product() const { return app_->product; }
  const MenuPopup& lastPopup() const { return lastPopup_; }
  // A request to end the program from outside (logout, a closed terminal,
  // kill): a running batch is stopped, which removes its unfinished output,
  // then the window closes as it does when a person closes it, saving the
  // settings, and the program quits.
  void StopAndQuit();
  // When set, modal windows (settings, properties, about) are prepared but
  // not run, so tests can drive them.
  bool modalsDisabled = false;

  // The first showing: skin set-up, title image, layout, product record,
  // pictures, settings, command states. Runs once, just after the window
  // is first shown (tests may call it at once).
  void StartUp();

  // Dispatch, by element name.
  void Click(const QString& element);
  void Hover(const QString& element);
  void Press(const QString& element, const QPoint& pos);
  void Release(const QString& element);
  void PointerMove(const QString& element, const QPoint& pos, Qt::MouseButtons buttons);
  void BarTrack(const QString& element, int position);
  void ImageButtonClicked(const QString& name);
  // Runs a menu item by its menu and caption; false when there is none.
  bool TriggerMenuItem(const QString& menu, const QString& caption);
  void PicturePointed(const QString& name);
  void PictureClicked(const QString& name);
  void RunCommandOf(Command c);
  // Takes the output field's text as the output folder and shows it as
  // the absolute folder it names.
  void TakeOutputField();

  // The command state table applied to the widgets.
  void UpdateCommandStates();

 protected:
  void showEvent(QShowEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;
  void dragEnterEvent(QDragEnterEvent* e) override;
  void dragMoveEvent(QDragMoveEvent* e) override;
  void dropEvent(QDropEvent* e) override;

 private:
  void BuildControls();
  void BuildMenus();
  // The commands only a window can carry out: dialogs, choosers, menus, the
  // rename editor, running in the background, closing.
  void RegisterWindowCommands();
  // The keys: window shortcuts, list keys, shortcut texts in the menus, and
  // a tab order that follows the layout.
  void BuildKeys();
  // A key runs its command only when the command's menu item and button
  // would be enabled.
  void RunKeyCommand(Command c);
  void ApplyLayout();
  QPushButton* MakeButton(const ImageButton& b);
  void PopupMenu(const QString& element);
  void ShowProperties();
  void ShowSettings();
  void ShowAbout();
  void Browse();
  void RunBackground();
  void BeginRename();
  void FinishRename();
  void CancelRename();
  // Puts the list's selection marks of rows [from, to) into the view.
  void SyncSelectionToView(int from, int to);
  void SyncPickerToSettings();
  QString ImagesDir() const;

  std::unique_ptr<ListModel> model_;
  SkinDisplay display_;
  std::unique_ptr<QtUserInterface> qtUi_;
  std::unique_ptr<SystemActions> ownSystem_;
  std::unique_ptr<WindowSystemActions> windowSystem_;
  std::unique_ptr<CoreApp> app_;
  SkinFile skin_;
  SkinForm* form_ = nullptr;
  QWidget* trimWindow_ = nullptr;
  SkinForm* cutterForm_ = nullptr;
  TrimWindow* trimView_ = nullptr;  // owned by trimWindow_
  QTableView* lv_ = nullptr;
  QLineEdit* ed_output_ = nullptr;
  QLineEdit* edt_tit_ = nullptr;
  QComboBox* cb_audio_ = nullptr;
  QComboBox* cb_subtitle_ = nullptr;
  QWidget* pl_appname_ = nullptr;
  PictureLabel* img_name_ = nullptr;
  PictureLabel* im_mainico_ = nullptr;
  PreviewPanel* pl_play_ = nullptr;
  QMap<QString, QPushButton*> buttons_;
  QMap<QString, QMenu*> menus_;
  ProfilePicker* pickerWidgets_ = nullptr;
  std::unique_ptr<PickerState> picker_;
  SettingsDialog* settingsDialog_ = nullptr;
  InfoDialog* infoDialog_ = nullptr;
  AboutDialog* aboutDialog_ = nullptr;
  QSystemTrayIcon* tray_ = nullptr;
  // A running batch's place, time left, pause and end summary.
  BatchStatus* batchStatus_ = nullptr;
  VariantLayout layout_;
  std::vector<std::pair<QShortcut*, Command>> shortcuts_;
  std::vector<Command> windowCommands_;  // registered by the window, removed with it
  MenuPopup lastPopup_;
  bool started_ = false;
  bool settingsLoaded_ = false;
  bool closing_ = false;  // set when the window closes; ends an add in progress
  bool hoverErrorShown_ = false;
  bool syncingSelection_ = false;
  // Window dragging by the title image.
  QPoint dragAnchor_;
  bool dragReleased_ = true;
};

}  // namespace pcm
