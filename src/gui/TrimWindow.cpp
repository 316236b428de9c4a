#include "gui/TrimWindow.h"

#include <QCloseEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QTreeWidget>

#include "core/Application.h"
#include "gui/Skin.h"

namespace pcm {

TrimWindow::TrimWindow(CoreApp& app, QWidget* window, SkinForm* form, QWidget* main)
    : QObject(window), app_(app), session_(app.trim), window_(window), form_(form), main_(main) {
  lv_ = new QTreeWidget(form_);
  lv_->setObjectName("lv");
  lv_->setGeometry(form_->ControlRect("lv"));
  lv_->setRootIsDecorated(false);
  lv_->setHeaderLabels({"Title", "Begin Time", "End Time"});
  // The columns are 120, 90 and 90 pixels, a little wider than the list
  // inside its frame: the time columns keep their width and the title takes
  // what is left, so no horizontal scroll bar hides the last row.
  lv_->setColumnWidth(0, 120);
  lv_->header()->setStretchLastSection(false);
  lv_->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  for (int column : {1, 2}) {
    lv_->header()->setSectionResizeMode(column, QHeaderView::Fixed);
    lv_->setColumnWidth(column, 90);
  }
  lv_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  lv_->setSelectionMode(QAbstractItemView::SingleSelection);
  panel_ = new PreviewPanel(form_);
  panel_->setGeometry(form_->ControlRect("pl_play"));
  session_.sink = panel_;
  session_.panelWidth = panel_->width();
  session_.panelHeight = panel_->height();
  form_->DrawBorder();

  connect(&session_, &TrimSession::opened, this, [this] { Show(); });
  connect(&session_, &TrimSession::closed, window_, &QWidget::hide);
  connect(&session_, &TrimSession::rowsReset, this, [this] { Fill(); });
  connect(&session_, &TrimSession::rowChanged, this, [this](int row) { ShowRow(row); });
  connect(&session_, &TrimSession::barMoved, this, [this](int p) {
    if (SkinElement* bar = form_->Element("cut_play_bar")) bar->SetPosition(p);
  });
  connect(lv_, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) {
    int row = lv_->indexOfTopLevelItem(item);
    app_.RunCommand([this, row] { session_.SelectRow(row); });
  });
  connect(form_, &SkinForm::pressed, this, [this](const QString& name) {
    if (name == "cut_play_bar") app_.RunCommand([this] { session_.BarPressed(); });
  });
  connect(form_, &SkinForm::barTracked, this, [this](const QString& name, int p) {
    if (name == "cut_play_bar") app_.RunCommand([this, p] { session_.BarTracked(p); });
  });
  connect(form_, &SkinForm::released, this, [this](const QString& name) {
    SkinElement* bar = form_->Element("cut_play_bar");
    if (name == "cut_play_bar" && bar)
      app_.RunCommand([this, bar] { session_.BarReleased(bar->Position()); });
  });
  window_->installEventFilter(this);
}

TrimWindow::~TrimWindow() {
  session_.disconnect(this);
  session_.Stop();
  session_.sink = nullptr;
}

bool TrimWindow::eventFilter(QObject* watched, QEvent* e) {
  // Closing the window by other means than "cutclose" closes it the same
  // way: the lengths are written back.
  if (watched == window_ && e->type() == QEvent::Close && session_.IsOpen())
    app_.RunCommand([this] { session_.Close(); });
  // Escape closes it as its close button does, wherever the focus is: the
  // list and the buttons leave the key to the window.
  if (watched == window_ && e->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(e)->key() == Qt::Key_Escape) {
    window_->close();
    return true;
  }
  return false;
}

void TrimWindow::Show() {
  window_->move(main_->x(), main_->y() + 80);
  window_->setWindowModality(Qt::ApplicationModal);
  window_->show();
  window_->raise();
}

void TrimWindow::Fill() {
  lv_->clear();
  for (int i = 0; i < session_.RowCount(); ++i) {
    auto* item = new QTreeWidgetItem(lv_);
    // Ticked and not read: every entry keeps its own check in the main list.
    item->setCheckState(0, Qt::Checked);
    item->setFlags(item->flags() & ~Qt::ItemIsUserCheckable);
    ShowRow(i);
  }
  if (lv_->topLevelItemCount() > 0) lv_->setCurrentItem(lv_->topLevelItem(0));
}

void TrimWindow::ShowRow(int row) {
  QTreeWidgetItem* item = lv_->topLevelItem(row);
  if (!item) return;
  item->setText(0, QString::fromStdString(session_.RowTitle(row)));
  item->setText(1, QString::fromStdString(session_.RowBegin(row)));
  item->setText(2, QString::fromStdString(session_.RowEnd(row)));
}

}  // namespace pcm
