#include "gui/MainWindow.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSignalBlocker>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTableView>
#include <QTimer>
#include <QUrl>
#include <algorithm>

#include "gui/BatchStatus.h"
#include "gui/Dialogs.h"
#include "gui/ListModel.h"
#include "gui/PreviewPanel.h"
#include "gui/ProfilePicker.h"
#include "gui/SettingsDialog.h"
#include "gui/TrimWindow.h"
#include "queue/OpenedPaths.h"
#include "ui/HelpAddress.h"

namespace pcm {

namespace {

// Elements the dispatcher looks up once and uses without a check.
const QStringList kMainElements = {"profilestext", "play_time", "hint",    "play_bar",
                                   "di",           "alltime",   "playpos", "convertpos"};
const QStringList kCutterElements = {"cut_begin_time", "cut_end_time", "cut_play_time", "cut_play_bar",
                                     "cutplaypos"};
const QStringList kMainControls = {"pl_appname", "im_mainico",  "lv",         "ed_output", "pl_play",
                                   "cb_audio",   "cb_subtitle", "bt_dvdopen", "bt_ifo",    "bt_remove",
                                   "bt_clear",   "bt_set",      "bt_chapte",  "bt_start",  "Bt_Convertstop",
                                   "bt_play",    "bt_playstop", "bt_back",    "bt_next",   "bt_cut",
                                   "bt_images",  "bt_web"};

// Visible captions of the image buttons; the hints stay the system's own.
QString ButtonCaption(const QString& name) {
  static const QMap<QString, QString> captions = {
      {"bt_dvdopen", "Add Files"}, {"bt_ifo", "Add Folder"},    {"bt_remove", "Remove"},
      {"bt_clear", "Clear"},       {"bt_chapte", "Properties"}, {"bt_set", "Settings"},
      {"bt_start", "Convert"},     {"Bt_Convertstop", "Stop"},  {"bt_web", "About"}};
  return captions.value(name);
}

// Buttons that repeat a skin element show that element's hint on hover.
QString HintTwin(const QString& name) {
  static const QMap<QString, QString> twins = {
      {"bt_dvdopen", "openfiles"}, {"bt_ifo", "openfolder"},    {"bt_remove", "remove"},
      {"bt_clear", "clear"},       {"bt_start", "converter"},   {"Bt_Convertstop", "stopconverter"},
      {"bt_play", "play"},         {"bt_playstop", "stopplay"}, {"bt_cut", "cutter"},
      {"cb_audio", "audio"},       {"cb_subtitle", "subtitle"}};
  return twins.value(name);
}

// The height of the title row by which the window is dragged.
constexpr int kTitleRowHeight = 30;

bool IsPreviewButton(const QString& name) {
  return name == "bt_back" || name == "bt_play" || name == "bt_next" || name == "bt_playstop" ||
         name == "bt_cut" || name == "bt_images";
}

const char* const kStyle = R"(
QPushButton { background: #ffffff; border: 1px solid #b9c3d3; border-radius: 4px; padding: 0 6px;
  color: #1d2433; font-size: 12px; }
QPushButton:hover { background: #f3f7fe; border-color: #8fa6c8; }
QPushButton:pressed { background: #e6effc; }
QPushButton:disabled { color: #a0a8b5; background: #f4f6fa; border-color: #dde3ec; }
QPushButton#bt_start { background: #2f9e5b; color: #ffffff; border: none; font-weight: bold; font-size: 13px; }
QPushButton#bt_start:hover { background: #298a4f; }
QPushButton#bt_start:disabled { background: #a9d3b9; }
QPushButton#Bt_Convertstop { color: #c0392b; border-color: #e0b4ae; font-weight: bold; font-size: 13px; }
QPushButton#Bt_Convertstop:disabled { color: #d9a9a3; border-color: #eee0de; }
QTableView { background: #ffffff; gridline-color: #e3e7ee; border: 1px solid #b9c3d3;
  selection-background-color: #d8e6fb; selection-color: #1d2433; font-size: 12px; }
QHeaderView::section { background: #f0f3f8; border: none; border-right: 1px solid #dde3ec;
  border-bottom: 1px solid #d5dbe5; padding: 4px 5px; color: #3a4356; font-size: 12px; }
QLineEdit { background: #ffffff; border: 1px solid #b9c3d3; border-radius: 4px; padding: 0 6px; font-size: 12px; }
QLineEdit#edt_tit { border-radius: 0; border-color: #2f6fd6; padding: 0 3px; }
QComboBox { font-size: 12px; }
QMenu { background: #ffffff; border: 1px solid #b9c3d3; font-size: 12px; }
QMenu::item { padding: 5px 24px 5px 20px; }
QMenu::item:selected { background: #e6effc; color: #1d2433; }
QMenu::item:disabled { color: #a0a8b5; }
)";

// A stream box's list opens at least as wide as its longest item, and the
// box's tooltip is the whole text of its choice.
void FitStreamBox(QComboBox* box) {
  box->setToolTip(box->currentText());
  QAbstractItemView* view = box->view();
  const QFontMetrics metrics(view->font());
  int widest = 0;
  for (int i = 0; i < box->count(); ++i)
    widest = std::max(widest, metrics.horizontalAdvance(box->itemText(i)));
  const int margins = 2 * view->frameWidth() + view->style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 16;
  view->setMinimumWidth(std::max(box->width(), widest + margins));
}

}  // namespace

MainWindow::MainWindow(const Options& o) : QWidget(nullptr, Qt::FramelessWindowHint | Qt::Window) {
  setObjectName("Tfm_main");
  ProgramInfo program(o.programPath);
  // Skin set-up comes first: a skin that lacks an element is refused before
  // anything else is built.
  skin_.Load(QString::fromStdString(program.BesideExecutable("skn.skn")));
  skin_.Require("popclipmill", kMainElements, kMainControls);
  skin_.Require("cutter", kCutterElements, {});
  const QString base = QString::fromStdString(program.Directory());
  form_ = new SkinForm(skin_.Form("popclipmill"), base, this);
  setFixedSize(form_->size());
  setStyleSheet(kStyle);
  // Files and folders may be dropped anywhere on the window.
  setAcceptDrops(true);
  display_.Attach(form_);

  // The windows in their order: main, about, settings, properties, trim
  // window. The folder chooser is the desktop's, made when it is used.
  if (!o.ui) qtUi_ = std::make_unique<QtUserInterface>(this);
  if (!o.system) ownSystem_ = std::make_unique<DesktopSystemActions>();
  // A shutdown from the window waits for the countdown dialog.
  windowSystem_ = std::make_unique<WindowSystemActions>(this, o.system ? *o.system : *ownSystem_);
  CoreApp::Options co;
  co.programPath = o.programPath;
  co.display = &display_;
  co.ui = o.ui ? o.ui : qtUi_.get();
  co.system = windowSystem_.get();
  app_ = std::make_unique<CoreApp>(co);
  if (qtUi_) qtUi_->SetTitle(QString::fromStdString(program.NameWithoutExtension()));
  setWindowTitle(QString::fromStdString(program.NameWithoutExtension()));
  layout_ = LayoutFor(app_->program);
  RegisterWindowCommands();

  aboutDialog_ = new AboutDialog(ImagesDir() + "main/icon.png", this);
  settingsDialog_ = new SettingsDialog(*app_, this);
  infoDialog_ = new InfoDialog(this);
  trimWindow_ = new QWidget(this, Qt::Window | Qt::FramelessWindowHint);
  trimWindow_->setObjectName("Tfm_dvdcutter");
  cutterForm_ = new SkinForm(skin_.Form("cutter"), base, trimWindow_);
  trimWindow_->setFixedSize(cutterForm_->size());
  trimWindow_->hide();
  display_.Attach(cutterForm_);
  trimView_ = new TrimWindow(*app_, trimWindow_, cutterForm_, this);

  BuildControls();
  BuildMenus();
  BuildKeys();
  pickerWidgets_ =
      new ProfilePicker(form_, display_, form_->Element("di"), ImagesDir().toStdString(), layout_);
  picker_ = std::make_unique<PickerState>(*pickerWidgets_, layout_, app_->program.AudioBranded(),
                                          app_->program.Branded());
  connect(pickerWidgets_, &ProfilePicker::pointed, this, &MainWindow::PicturePointed);
  connect(pickerWidgets_, &ProfilePicker::clicked, this, &MainWindow::PictureClicked);

  for (SkinForm* f : {form_, cutterForm_}) {
    connect(f, &SkinForm::clicked, this, &MainWindow::Click);
    connect(f, &SkinForm::pressed, this, &MainWindow::Press);
    connect(f, &SkinForm::released, this, &MainWindow::Release);
    connect(f, &SkinForm::pointerMoved, this, &MainWindow::PointerMove);
    connect(f, &SkinForm::barTracked, this, &MainWindow::BarTrack);
  }

  tray_ = new QSystemTrayIcon(QIcon(ImagesDir() + "main/icon.png"), this);
  const QString tip = QString::fromStdString(program.NameWithoutExtension()) + ": click to show the window";
  tray_->setToolTip(tip);
  batchStatus_ = new BatchStatus(*app_, tray_, this, tip);
  windowSystem_->headingHook = [this] { return BatchEndHeading(app_->list); };
  connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
    if (r != QSystemTrayIcon::Trigger) return;
    showNormal();
    raise();
    tray_->hide();
  });
  setWindowIcon(QIcon(ImagesDir() + "main/icon.png"));

  form_->DrawBorder();
  app_->commandStatesHook = [this] { UpdateCommandStates(); };
  app_->listCommands.showListHook = [this] { lv_->show(); };
  // Closing the window ends an add that is still probing: the probes are
  // killed and no further file is tried.
  app_->listCommands.stopAddingHook = [this] { return closing_; };
  app_->probe.stopHook = [this] { return closing_; };
  app_->listCommands.focusListHook = [this] { lv_->setFocus(); };
  UpdateCommandStates();
}

MainWindow::~MainWindow() {
  // The core may still report while it shuts its jobs down; nothing may
  // reach the widgets any more.
  app_->commandStatesHook = nullptr;
  app_->listCommands.showListHook = nullptr;
  app_->listCommands.focusListHook = nullptr;
  app_->listCommands.stopAddingHook = nullptr;
  app_->probe.stopHook = nullptr;
  delete batchStatus_;
  batchStatus_ = nullptr;
  for (Command c : windowCommands_) app_->commands.Unregister(c);
  lv_->setModel(nullptr);
  lv_ = nullptr;     // the event filter stops here
  delete trimView_;  // stops a trim play while its panel still exists
  delete trimWindow_;
  delete form_;
  form_ = nullptr;
  app_.reset();
}

QString MainWindow::ImagesDir() const {
  return QString::fromStdString(app_->program.Directory()) + "images/";
}

QPushButton* MainWindow::MakeButton(const ImageButton& b) {
  QString name = QString::fromStdString(b.name);
  auto* button = new QPushButton(ButtonCaption(name), form_);
  button->setObjectName(name);
  button->setGeometry(form_->ControlRect(name));
  button->setToolTip(QString::fromStdString(b.hint));
  button->setIcon(QIcon(ImagesDir() + "buttons/" + name + ".png"));
  button->setIconSize(QSize(18, 18));
  // Reached with Tab; a click leaves the focus where it was (on the list).
  button->setFocusPolicy(Qt::TabFocus);
  button->setCursor(Qt::PointingHandCursor);
  button->installEventFilter(this);
  connect(button, &QPushButton::pressed, this, [this] { picker_->HideProfilePanels(); });
  connect(button, &QPushButton::clicked, this, [this, name] { ImageButtonClicked(name); });
  buttons_.insert(name, button);
  if (form_->ControlRect(name).isEmpty()) button->hide();
  return button;
}

void MainWindow::BuildControls() {
  pl_appname_ = new QWidget(form_);
  pl_appname_->setObjectName("pl_appname");
  pl_appname_->setGeometry(form_->ControlRect("pl_appname"));
  img_name_ = new PictureLabel("img_name", pl_appname_);
  img_name_->setGeometry(0, 0, pl_appname_->width(), pl_appname_->height());
  display_.AddPicture("img_name", img_name_);
  connect(img_name_, &PictureLabel::pressed, this, &MainWindow::Press);
  connect(img_name_, &PictureLabel::moved, this, &MainWindow::PointerMove);
  connect(img_name_, &PictureLabel::released, this, &MainWindow::Release);

  im_mainico_ = new PictureLabel("im_mainico", form_);
  im_mainico_->setGeometry(form_->ControlRect("im_mainico"));
  im_mainico_->setToolTip("Try");
  im_mainico_->setCursor(Qt::PointingHandCursor);
  display_.AddPicture("im_mainico", im_mainico_);
  connect(im_mainico_, &PictureLabel::clicked, this, &MainWindow::PictureClicked);

  for (const ImageButton& b : ImageButtons()) MakeButton(b);

  pl_play_ = new PreviewPanel(form_);
  // A skin that gives the panel no room for a picture (a strip in the tool
  // row) gets it in the lower right corner of the list instead, above the
  // rows while a preview runs.
  QRect panel = form_->ControlRect("pl_play");
  if (panel.width() < 160 || panel.height() < 120) {
    const QRect list = form_->ControlRect("lv");
    panel = QRect(0, 0, 320, 240) & QRect(0, 0, list.width() / 2, list.height() - 26);
    panel.moveBottomRight(list.bottomRight() - QPoint(2, 2));
  }
  pl_play_->setGeometry(panel);
  pl_play_->setAttribute(Qt::WA_TransparentForMouseEvents);
  // The preview draws into the panel and moves the bars; the panel shows
  // only while a preview runs.
  app_->preview.SetSurface({pl_play_, pl_play_->width(), pl_play_->height()});
  connect(&app_->preview, &preview::PreviewControl::panelShown, this, [this](bool shown) {
    pl_play_->setVisible(shown);
    if (shown) pl_play_->raise();
  });
  connect(&app_->preview, &preview::PreviewControl::barMoved, this, [this](const QString& bar, int p) {
    SkinForm* form = bar == "cut_play_bar" ? cutterForm_ : form_;
    if (SkinElement* e = form->Element(bar)) e->SetPosition(p);
  });

  lv_ = new QTableView(form_);
  lv_->setObjectName("lv");
  lv_->setGeometry(form_->ControlRect("lv"));
  model_ = std::make_unique<ListModel>(app_->list);
  lv_->setModel(model_.get());
  lv_->setShowGrid(true);
  lv_->setSelectionBehavior(QAbstractItemView::SelectRows);
  lv_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  lv_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  lv_->setSortingEnabled(false);
  lv_->setWordWrap(false);
  lv_->setTextElideMode(Qt::ElideMiddle);
  lv_->verticalHeader()->hide();
  lv_->verticalHeader()->setDefaultSectionSize(24);
  lv_->horizontalHeader()->setSectionsClickable(false);
  lv_->horizontalHeader()->setHighlightSections(false);
  lv_->horizontalHeader()->setStretchLastSection(true);
  lv_->horizontalHeader()->setMinimumHeight(26);
  for (int c = 0; c < 5; ++c) lv_->setColumnWidth(c, kListColumns[c].width);
  lv_->setContextMenuPolicy(Qt::CustomContextMenu);
  lv_->viewport()->installEventFilter(this);
  lv_->setMouseTracking(true);
  connect(lv_, &QTableView::customContextMenuRequested, this, [this](const QPoint& p) {
    if (QMenu* m = menus_.value("zm_pop_edit")) m->popup(lv_->viewport()->mapToGlobal(p));
  });
  // The view's selection is copied into the list row by row. While the model
  // takes in a removal or insertion the two are a row apart, so a change the
  // view reports then is ignored; the list's own signal afterwards puts its
  // selection back into the view.
  connect(lv_->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
    if (syncingSelection_ || model_->Reshaping()) return;
    for (int r = 0; r < app_->list.Count(); ++r) {
      bool sel = lv_->selectionModel()->isRowSelected(r, {});
      if (app_->list.Row(r).selected != sel) {
        syncingSelection_ = true;
        app_->list.SetSelected(r, sel);
        syncingSelection_ = false;
      }
    }
    UpdateCommandStates();
  });
  // A changed or new row brings its own mark only (the view shifts the
  // others itself), so adding a thousand rows is not a thousand passes over
  // the list; a removal or a reset is followed by a whole pass.
  auto rowFromCore = [this](int i) {
    if (!syncingSelection_) SyncSelectionToView(i, i + 1);
  };
  auto allFromCore = [this] {
    if (!syncingSelection_) SyncSelectionToView(0, app_->list.Count());
  };
  connect(&app_->list, &ConversionList::rowChanged, this, rowFromCore);
  connect(&app_->list, &ConversionList::rowInserted, this, rowFromCore);
  connect(&app_->list, &ConversionList::rowRemoved, this, allFromCore);
  connect(&app_->list, &ConversionList::listReset, this, allFromCore);

  edt_tit_ = new QLineEdit(lv_->viewport());
  edt_tit_->setObjectName("edt_tit");
  edt_tit_->hide();
  edt_tit_->installEventFilter(this);  // Escape cancels
  connect(edt_tit_, &QLineEdit::editingFinished, this, &MainWindow::FinishRename);

  ed_output_ = new QLineEdit(form_);
  ed_output_->setObjectName("ed_output");
  ed_output_->setGeometry(form_->ControlRect("ed_output"));
  // A file dropped on the field is added to the list like anywhere else.
  ed_output_->setAcceptDrops(false);
  // The field and the setting are one: a command reads the setting.
  connect(ed_output_, &QLineEdit::textChanged, this,
          [this](const QString& t) { app_->settings.outputField = t.toStdString(); });
  // A folder typed into the field is kept when the editing ends (Enter, or
  // the focus going elsewhere), not at every key.
  connect(ed_output_, &QLineEdit::editingFinished, this, [this] { TakeOutputField(); });

  cb_audio_ = new QComboBox(form_);
  cb_audio_->setObjectName("cb_audio");
  cb_audio_->setPlaceholderText("Audio");
  cb_subtitle_ = new QComboBox(form_);
  cb_subtitle_->setObjectName("cb_subtitle");
  cb_subtitle_->setPlaceholderText("Subtitle");
  for (QComboBox* b : {cb_audio_, cb_subtitle_}) {
    b->setGeometry(form_->ControlRect(b->objectName()));
    b->installEventFilter(this);
    b->hide();
  }
  cb_audio_->addItem("No Audio");  // until a DVD row is first shown
  cb_audio_->setCurrentIndex(0);
  // The boxes keep the layout's narrow size: their lists open as wide as
  // the longest item, and the tooltip shows the whole choice.
  for (QComboBox* b : {cb_audio_, cb_subtitle_}) {
    FitStreamBox(b);
    connect(b, &QComboBox::currentIndexChanged, b, [b] { b->setToolTip(b->currentText()); });
  }
  // The selectors show the selected DVD row's streams; a choice the person
  // makes goes to that row.
  connect(&app_->dvd, &DvdSource::selectorsChanged, this, [this] {
    const DvdSource::Selectors& s = app_->dvd.selectors();
    auto fill = [](QComboBox* box, const std::vector<std::string>& items, int index) {
      QSignalBlocker quiet(box);
      box->clear();
      for (const std::string& item : items) box->addItem(QString::fromStdString(item));
      box->setCurrentIndex(index);
    };
    fill(cb_audio_, s.audio, s.audioIndex);
    fill(cb_subtitle_, s.subtitles, s.subtitleIndex);
    FitStreamBox(cb_audio_);
    FitStreamBox(cb_subtitle_);
  });
  connect(cb_audio_, &QComboBox::activated, this,
          [this](int i) { app_->RunCommand([this, i] { app_->dvd.AudioChanged(i); }); });
  connect(cb_subtitle_, &QComboBox::activated, this,
          [this](int i) { app_->RunCommand([this, i] { app_->dvd.SubtitleChanged(i); }); });
  // A DVD folder is scanned with events running; the list takes no input
  // meanwhile.
  app_->dvd.listEnabledHook = [this](bool on) {
    if (lv_) lv_->setEnabled(on);
  };
}

void MainWindow::BuildMenus() {
  for (const std::string& name : MenuNames()) {
    auto* menu = new QMenu(this);
    menu->setObjectName(QString::fromStdString(name));
    for (const MenuItem& item : MenuItems(name)) {
      QAction* a = menu->addAction(QString::fromStdString(item.caption));
      Command c = item.command;
      a->setData(int(c));
      connect(a, &QAction::triggered, this, [this, c] { RunCommandOf(c); });
      if (!app_->commands.Available(c)) a->setEnabled(false);
    }
    connect(menu, &QMenu::aboutToShow, this, &MainWindow::UpdateCommandStates);
    menus_.insert(menu->objectName(), menu);
  }
}

void MainWindow::BuildKeys() {
  for (const KeyBinding& k : KeyBindings(app_->program.Branded())) {
    const QKeySequence keys(QString::fromStdString(k.keys));
    // A list key belongs to the list alone; the others to the whole window.
    auto* sc = new QShortcut(keys, k.listOnly ? static_cast<QWidget*>(lv_) : this);
    sc->setContext(k.listOnly ? Qt::WidgetShortcut : Qt::WindowShortcut);
    const Command c = k.command;
    connect(sc, &QShortcut::activated, this, [this, c] { RunKeyCommand(c); });
    shortcuts_.push_back({sc, c});
    if (k.listOnly) continue;
    // The menus show the key beside the first item of its command. The
    // action itself acts on it only while its menu is open.
    for (QMenu* m : menus_) {
      for (QAction* a : m->actions()) {
        if (Command(a->data().toInt()) != c) continue;
        a->setShortcut(keys);
        a->setShortcutContext(Qt::WidgetShortcut);
        break;
      }
    }
  }
  connect(lv_, &QTableView::doubleClicked, this, [this] { RunKeyCommand(Command::StartPreview); });

  // Tab goes through the controls as they are laid out: top to bottom, left
  // to right.
  QList<QWidget*> order = {lv_, ed_output_, cb_audio_, cb_subtitle_};
  for (QPushButton* b : buttons_) order.push_back(b);
  std::stable_sort(order.begin(), order.end(), [](QWidget* a, QWidget* b) {
    return std::pair(a->y(), a->x()) < std::pair(b->y(), b->x());
  });
  for (int i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
}

void MainWindow::RunKeyCommand(Command c) {
  const bool selected = app_->list.AnySelected();
  const CommandStateTable states = CommandStates(selected, app_->run.previewing, app_->run.converting);
  if (!states.ForMenu(c).enabled || !states.ForButton(c).enabled) {
    // A key whose command waits only for a conversion or a preview to end
    // says so, as its menu item cannot.
    const CommandStateTable idle = CommandStates(selected, false, false);
    if (idle.ForMenu(c).enabled && idle.ForButton(c).enabled)
      app_->RunCommand([this] { app_->Refused(true, true); });
    return;
  }
  RunCommandOf(c);
}

void MainWindow::showEvent(QShowEvent* e) {
  QWidget::showEvent(e);
  // After the window has drawn itself once, so that a box shown during the
  // start-up stands over a finished window.
  if (!started_) QTimer::singleShot(0, this, &MainWindow::StartUp);
}

void MainWindow::StartUp() {
  if (started_) return;
  started_ = true;
  CoreApp& app = *app_;
  app.RunCommand([&] {
    // Display items at rest.
    app.ShowStrip("convertpos", kConvertStripWidth, 0);
    display_.SetText("hint", app.progress.statusLine);
    form_->Element("play_bar")->SetPosition(0);
    app.ShowStrip("playpos", kPlayStripWidth, 0);
    app.ShowStrip("cutplaypos", kCutPlayStripWidth, 0);
    // Title image, when there is one for this name.
    std::string title =
        app.program.BesideExecutable("images/main/" + app.program.NameWithoutExtension() + ".bmp");
    display_.SetText("apptitle", app.program.NameWithoutExtension());
    if (QFileInfo::exists(QString::fromStdString(title))) {
      pl_appname_->move(40, 1);
      display_.SetPicture("img_name", title);
      pl_appname_->show();
    } else {
      pl_appname_->hide();
    }
    // Without a title image the skin's title text names the program.
    if (SkinElement* t = form_->Element("apptitle")) t->setVisible(pl_appname_->isHidden());
    // The profile panels hidden until a category is picked, then the layout.
    picker_->HideProfilePanels();
    ApplyLayout();
    // Product record, pictures, settings.
    app.product =
        ReadProductRecord(app.program.BesideExecutable("softinfo.dat"), app.program.NameWithoutExtension());
    picker_->StartUp();
    app.settings.LoadSettings();
    settingsLoaded_ = true;
    picker_->highlightedCategory = app.settings.highlightedCategory;
    picker_->highlightedButton = app.profiles.currentProfile;
    picker_->videoPage = app.settings.videoPageFlag;
    picker_->audioPage = app.settings.audioPageFlag;
    ed_output_->setText(QString::fromStdString(app.settings.outputField));
    // Nothing is being dragged; the backdrop goes and the commands are set.
    app.run.dragging = false;
    pickerWidgets_->HideBackdrop();
    UpdateCommandStates();
    const auto& help = menus_.value("zm_pop_help")->actions();
    help.last()->setText(QString::fromStdString(AboutItemCaption(app.program)));
  });
  // A missing product record is told once the window is complete: the box
  // waits for the person, and the profile and the output folder must not
  // stand empty behind it.
  if (!app.product) app.RunCommand([&] { app.ui().Information(app.LoadMessage(31)); });
  app.listStore.Restore();
  UpdateCommandStates();
}

void MainWindow::ApplyLayout() {
  const bool dvd = app_->program.DvdMode(), quorv = app_->program.Branded();
  for (const QString& b : buttons_.keys())
    if (IsPreviewButton(b)) buttons_[b]->setVisible(layout_.previewButtons);
  pl_play_->setVisible(layout_.previewButtons && app_->run.previewing);
  if (SkinElement* pause = form_->Element("pause")) pause->setVisible(layout_.previewButtons);
  cb_audio_->setVisible(layout_.streamBoxes);
  cb_subtitle_->setVisible(layout_.streamBoxes);
  if (layout_.streamBoxes) {
    auto r = [](const Rect& x) { return QRect(x.left, x.top, x.width, x.height); };
    cb_audio_->setGeometry(r(layout_.audioBox));
    cb_subtitle_->setGeometry(r(layout_.subtitleBox));
  }
  model_->SetFirstCaption(QString::fromStdString(layout_.firstColumnCaption));
  model_->SetCheckBoxes(layout_.checkBoxes);
  // The DVD commands show in the DVD variant, enabled when they are
  // registered.
  if (SkinElement* e = form_->Element("file")) e->setVisible(!dvd);
  if (SkinElement* e = form_->Element("dvdfile")) e->setVisible(dvd);
  for (const char* e : {"dvdopen", "ifoopen", "chapter"}) {
    SkinElement* el = form_->Element(e);
    if (!el) continue;
    el->setVisible(dvd);
    el->setEnabled(app_->commands.Available(ClickCommand(e)));
  }
  if (dvd && quorv) {
    // The stream boxes take the row below the list; the DVD buttons move up
    // beside the profile.
    const QRect places[3] = {{514, 58, 72, 30}, {590, 58, 72, 30}, {666, 58, 80, 30}};
    int i = 0;
    for (const char* e : {"dvdopen", "ifoopen", "chapter"})
      if (SkinElement* el = form_->Element(e)) el->setGeometry(places[i++]);
    SkinElement* audio = form_->Element("audio");
    SkinElement* subtitle = form_->Element("subtitle");
    if (audio && subtitle) {
      audio->setGeometry(14, 453, 72, 22);
      subtitle->setGeometry(272, 453, 60, 22);
      audio->show();
      subtitle->show();
    }
  }
}

void MainWindow::Click(const QString& element) {
  if (element == "categories") {
    app_->RunCommand([this] {
      if (app_->Refused(false, true)) return;
      picker_->ShowCategories();
      SyncPickerToSettings();
    });
    return;
  }
  Command c = ClickCommand(element.toStdString());
  if (c == Command::PopupMenu) {
    PopupMenu(element);
    return;
  }
  RunCommandOf(c);
}

void MainWindow::Hover(const QString& element) {
  // Our "All formats" button chooses the profile as "profiles" does.
  const std::string name = element == "categories" ? "profiles" : element.toStdString();
  try {
    app_->LoadMessage(HoverMessage(name));
  } catch (const std::exception& e) {
    // Every pointer move hovers: a message file that cannot be read is
    // reported once, not with a box for each move.
    if (hoverErrorShown_) return;
    hoverErrorShown_ = true;
    app_->ui().Error(e.what());
  }
}

void MainWindow::Press(const QString& element, const QPoint& pos) {
  picker_->HideProfilePanels();
  if (element == "img_name" || element == "titlebar" || element == "apptitle") {
    dragAnchor_ = pos;
    dragReleased_ = false;
    return;
  }
  if (element == "play_bar" || element == "cut_play_bar")
    app_->RunCommand([&] { app_->preview.PressBar(element.toStdString()); });
}

void MainWindow::Release(const QString& element) {
  if (element == "img_name" || element == "titlebar" || element == "apptitle") {
    dragReleased_ = true;
    return;
  }
  if (element != "play_bar" && element != "cut_play_bar") return;
  SkinForm* form = element == "cut_play_bar" ? cutterForm_ : form_;
  const int position = form->Element(element) ? form->Element(element)->Position() : 0;
  app_->RunCommand([&] { app_->preview.ReleaseBar(element.toStdString(), position); });
}

void MainWindow::PointerMove(const QString& element, const QPoint& pos, Qt::MouseButtons buttons) {
  if (element == "img_name" || element == "titlebar" || element == "apptitle") {
    if ((buttons & Qt::LeftButton) && !dragReleased_) {
      QPoint to(pos.x() - dragAnchor_.x() + x(), pos.y() - dragAnchor_.y() + y());
      // The title row stays on the screen's free area, so the window can
      // always be taken again.
      if (QScreen* s = screen()) {
        const QRect free = s->availableGeometry();
        to.setY(std::clamp(to.y(), free.top(), std::max(free.top(), free.bottom() - kTitleRowHeight)));
        to.setX(std::clamp(to.x(), free.left() - width() + kTitleRowHeight * 3,
                           std::max(free.left(), free.right() - kTitleRowHeight * 3)));
      }
      move(to);
    }
    if (element != "img_name") Hover(element);
    return;
  }
  Hover(element);
}

void MainWindow::BarTrack(const QString& element, int position) {
  if (app_->run.converting) return;
  app_->RunCommand([&] { app_->preview.TrackBar(element.toStdString(), position); });
}

void MainWindow::ImageButtonClicked(const QString& name) { RunCommandOf(ButtonCommand(name.toStdString())); }

bool MainWindow::TriggerMenuItem(const QString& menu, const QString& caption) {
  QMenu* m = menus_.value(menu);
  if (!m) return false;
  // As when the menu opens: the items show the current state.
  UpdateCommandStates();
  for (QAction* a : m->actions()) {
    if (a->text() != caption) continue;
    if (!a->isEnabled()) return false;
    a->trigger();
    return true;
  }
  return false;
}

void MainWindow::PopupMenu(const QString& element) {
  lastPopup_ = PopupFor(element.toStdString(), app_->program.Branded());
  QMenu* m = menus_.value(QString::fromStdString(lastPopup_.menu));
  if (!m) return;
  UpdateCommandStates();
  m->popup(mapToGlobal(QPoint(lastPopup_.x, lastPopup_.y)));
}

void MainWindow::PicturePointed(const QString& name) {
  app_->RunCommand([&] {
    if (name.startsWith("btim_")) {
      picker_->PointButton(name.mid(5).toInt());
    } else if (name == "Image13") {
      picker_->PointButton(109);
    } else if (name.startsWith("img_")) {
      for (int k = 1; k <= 13; ++k) {
        QString file = PickerState::CategoryPicture(k);
        if (name == (k == 1 ? QString("img_gvideo1") : file.chopped(4))) picker_->PointCategory(k);
      }
    }
  });
  SyncPickerToSettings();
}

void MainWindow::PictureClicked(const QString& name) {
  if (name == "im_mainico") {
    Click("profiles");
    return;
  }
  app_->RunCommand([&] {
    if (name.startsWith("btim_")) {
      int n = name.mid(5).toInt();
      if (picker_->ClickButton(n)) app_->profiles.SelectProfile(n);
    } else {
      picker_->TurnPage(name.toStdString());
    }
  });
  SyncPickerToSettings();
  UpdateCommandStates();
}

void MainWindow::SyncPickerToSettings() {
  app_->settings.highlightedCategory = picker_->highlightedCategory;
  app_->settings.videoPageFlag = picker_->videoPage;
  app_->settings.audioPageFlag = picker_->audioPage;
  app_->settings.SaveChanges();
}

void MainWindow::RegisterWindowCommands() {
  auto add = [this](Command c, CommandTable::Handler run) {
    app_->commands.Register(c, std::move(run));
    windowCommands_.push_back(c);
  };
  add(Command::Properties, [this] { ShowProperties(); });
  add(Command::RunBackground, [this] { RunBackground(); });
  add(Command::Exit, [this] { close(); });
  add(Command::Rename, [this] { BeginRename(); });
  add(Command::Settings, [this] { ShowSettings(); });
  add(Command::About, [this] { ShowAbout(); });
  add(Command::Browse, [this] { Browse(); });
  add(Command::ShowProfiles, [this] {
    if (!app_->Refused(false, true)) picker_->ShowFirstAudioPage();
  });
}

void MainWindow::RunCommandOf(Command c) {
  // A relative folder still being typed is shown as the folder it names
  // before a command uses it (a click on a skin button ends no editing).
  if (!ed_output_->text().startsWith('/')) TakeOutputField();
  // The application runs it and then asks for the command states again.
  app_->Execute(c);
}

void MainWindow::TakeOutputField() {
  if (!settingsLoaded_ || !app_->settings.TakeOutputField()) return;
  const QString folder = QString::fromStdString(app_->settings.outputField);
  if (ed_output_->text() != folder) ed_output_->setText(folder);
}

void MainWindow::ShowProperties() {
  int row = app_->list.FirstSelected();
  if (row < 0) {
    app_->ui().Information(app_->LoadMessage(30));
    return;
  }
  infoDialog_->Fill(app_->list.Row(row));
  infoDialog_->move(geometry().center() - infoDialog_->rect().center());
  if (modalsDisabled)
    infoDialog_->show();
  else
    infoDialog_->exec();
}

void MainWindow::ShowSettings() {
  settingsDialog_->Prepare();
  settingsDialog_->move(geometry().center() - settingsDialog_->rect().center());
  if (modalsDisabled)
    settingsDialog_->show();
  else
    settingsDialog_->exec();
}

void MainWindow::ShowAbout() {
  aboutDialog_->Prepare(QString::fromStdString(app_->program.NameWithoutExtension()), this);
  if (modalsDisabled)
    aboutDialog_->show();
  else
    aboutDialog_->exec();
}

void MainWindow::Browse() {
  std::optional<std::string> dir = app_->ui().ChooseFolder(app_->LoadMessage(37));
  if (!dir || dir->empty()) return;
  std::string d = *dir;
  Settings::CheckFolderName(d);
  if (d.back() != '/') d += '/';
  app_->settings.outputDirectory = d;
  app_->settings.outputField = d;
  ed_output_->setText(QString::fromStdString(d));
  app_->settings.SaveChanges();
}

void MainWindow::RunBackground() {
  // Without a notification area a hidden window could never come back:
  // minimise instead.
  if (!QSystemTrayIcon::isSystemTrayAvailable()) {
    app_->ui().Information(
        "The desktop has no notification area to run in, so the window is minimised instead.");
    showMinimized();
    return;
  }
  tray_->show();
  hide();
}

void MainWindow::BeginRename() {
  std::optional<std::string> caption = app_->listCommands.BeginRename();
  if (!caption) return;
  int row = app_->listCommands.renameRow;
  QRect r = lv_->visualRect(model_->index(row, 0));
  edt_tit_->setGeometry(0, r.top() - 1, lv_->columnWidth(0), std::max(18, r.height() + 2));
  edt_tit_->setText(QString::fromStdString(*caption));
  edt_tit_->selectAll();
  edt_tit_->show();
  edt_tit_->setFocus();
}

void MainWindow::CancelRename() {
  if (edt_tit_->isHidden()) return;
  // Closed in the core first: the editor's end, when hiding it moves the
  // focus, then finds nothing to apply.
  app_->listCommands.CancelRename();
  edt_tit_->hide();
  lv_->setFocus();
}

void MainWindow::FinishRename() {
  if (edt_tit_->isHidden()) return;
  const bool hadFocus = edt_tit_->hasFocus();
  edt_tit_->hide();
  // After Enter the keys go back to the list; after a click elsewhere the
  // focus stays where the click put it.
  if (hadFocus) lv_->setFocus();
  std::string text = edt_tit_->text().toStdString();
  app_->RunCommand([&] { app_->listCommands.EndRename(text); });
}

void MainWindow::SyncSelectionToView(int from, int to) {
  syncingSelection_ = true;
  QItemSelectionModel* sm = lv_->selectionModel();
  int selectedNow = -1;
  for (int r = std::max(0, from); r < to && r < app_->list.Count() && r < model_->rowCount(); ++r) {
    bool want = app_->list.Row(r).selected;
    if (sm->isRowSelected(r, {}) == want) continue;
    sm->select(model_->index(r, 0), (want ? QItemSelectionModel::Select : QItemSelectionModel::Deselect) |
                                        QItemSelectionModel::Rows);
    if (want && selectedNow < 0) selectedNow = r;
  }
  syncingSelection_ = false;
  // A row the program selected (a disc's main title after an add, the next
  // row after a removal, the entry a preview steps to) is scrolled into
  // view: below the fold the person would see nothing happen.
  if (selectedNow >= 0) lv_->scrollTo(model_->index(selectedNow, 0));
}

void MainWindow::UpdateCommandStates() {
  if (!form_) return;
  CoreApp& app = *app_;
  if (batchStatus_) batchStatus_->Refresh();
  const CommandStateTable states =
      CommandStates(app.list.AnySelected(), app.run.previewing, app.run.converting);
  for (QMenu* m : menus_) {
    for (QAction* a : m->actions()) {
      Command c = Command(a->data().toInt());
      a->setEnabled(app.commands.Available(c) && states.ForMenu(c).enabled);
      if (c == Command::PauseOrContinue) a->setText(QString::fromStdString(app.batch.pauseCaption));
    }
  }
  for (const ImageButton& b : ImageButtons()) {
    QPushButton* w = buttons_.value(QString::fromStdString(b.name));
    if (!w) continue;
    const ControlState state = states.ForButton(b.command);
    w->setEnabled(state.enabled && app.commands.Available(b.command));
    bool shown = state.visible && !form_->ControlRect(w->objectName()).isEmpty();
    if (IsPreviewButton(w->objectName())) shown = shown && layout_.previewButtons;
    w->setVisible(shown);
  }
  // A list key whose command is missing leaves the key to the list.
  for (const auto& [sc, c] : shortcuts_) sc->setEnabled(app.commands.Available(c));
  // The preview's pause: enabled while a preview plays, its glyph and tip
  // saying what a click does (pause a playing preview, continue a paused one).
  if (SkinElement* pause = form_->Element("pause")) {
    pause->setEnabled(states.ForButton(Command::TogglePause).enabled &&
                      app.commands.Available(Command::TogglePause));
    const bool paused = app.run.previewing && app.run.paused;
    if (pause->property("paused").toBool() != paused || pause->toolTip().isEmpty()) {
      pause->SetImage(ImagesDir() + (paused ? "buttons/continue.png" : "buttons/pause.png"));
      pause->setToolTip(paused ? "Continue" : "Pause");
      pause->setProperty("paused", paused);
    }
  }
  form_->Element("play_bar")->setVisible(states.playBarsShown);
  // The time field says something only while a preview runs.
  form_->Element("play_time")->setVisible(app.run.previewing);
  if (SkinElement* bar = cutterForm_->Element("cut_play_bar")) bar->setVisible(states.playBarsShown);
}

void MainWindow::StopAndQuit() {
  if (app_->run.converting) app_->RunCommand([this] { app_->batch.StopBatch(); });
  // The unfinished output is removed when the encoder has ended, which the
  // stop brings about within its grace time.
  while (app_->engine.Running())
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents);
  close();
  QCoreApplication::quit();
}

void MainWindow::closeEvent(QCloseEvent* e) {
  if (app_->run.converting) {
    app_->RunCommand([this] { app_->ui().Information(app_->LoadMessage(26)); });
    e->ignore();
    return;
  }
  // Settings that never loaded are not written over the saved ones.
  if (settingsLoaded_) {
    SyncPickerToSettings();
    TakeOutputField();
    app_->RunCommand([this] { app_->settings.SaveSettings(); });
    // The choices of the profile in use are otherwise saved only when
    // another profile is selected.
    app_->RunCommand([this] { app_->profiles.SaveProfileChoices(app_->profiles.lastSelected); });
  }
  // The last changes are written while the window can still say it failed.
  app_->RunCommand([this] { app_->listStore.Flush(); });
  closing_ = true;
  // Nothing plays on behind a closed window.
  if (app_->run.previewing) app_->RunCommand([this] { app_->preview.StopPreview(); });
  tray_->hide();
  trimWindow_->hide();
  e->accept();
}

namespace {

// The local paths of a drop, as bytes read from the URI list itself: a name
// that is not UTF-8 still opens (the toolkit's URLs would replace its bytes).
std::vector<std::string> DroppedPaths(const QMimeData* data) {
  if (!data || !data->hasFormat("text/uri-list")) return {};
  return LocalPathsOfUriList(data->data("text/uri-list").toStdString());
}

}  // namespace

void MainWindow::dragEnterEvent(QDragEnterEvent* e) {
  if (!DroppedPaths(e->mimeData()).empty()) e->acceptProposedAction();
}

void MainWindow::dragMoveEvent(QDragMoveEvent* e) {
  if (!DroppedPaths(e->mimeData()).empty()) e->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* e) {
  std::vector<std::string> paths = DroppedPaths(e->mimeData());
  if (paths.empty()) return;
  e->acceptProposedAction();
  // Adding probes each file with events running; the drop is answered
  // first so the program the files came from is not kept waiting.
  QMetaObject::invokeMethod(
      this,
      [this, paths] {
        app_->RunCommand([&] { app_->listCommands.AddDropped(paths); });
        UpdateCommandStates();
      },
      Qt::QueuedConnection);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* e) {
  if (!lv_) return false;
  if (watched == edt_tit_) {
    if (e->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(e)->key() == Qt::Key_Escape) {
      CancelRename();
      return true;
    }
    return false;
  }
  if (watched == lv_->viewport()) {
    if (e->type() == QEvent::MouseButtonPress) {
      picker_->HideProfilePanels();
    } else if (e->type() == QEvent::MouseButtonRelease) {
      QMetaObject::invokeMethod(
          this, [this] { app_->RunCommand([this] { app_->listCommands.ListClicked(); }); },
          Qt::QueuedConnection);
    } else if (e->type() == QEvent::MouseMove && (static_cast<QMouseEvent*>(e)->buttons() & Qt::LeftButton)) {
      UpdateCommandStates();
    }
    return false;
  }
  if (e->type() == QEvent::Enter) {
    QString twin = HintTwin(watched->objectName());
    if (!twin.isEmpty()) Hover(twin);
  }
  return false;
}

}  // namespace pcm
