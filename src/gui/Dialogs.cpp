#include "gui/Dialogs.h"

#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "queue/ListRow.h"

namespace pcm {

InfoDialog::InfoDialog(QWidget* parent) : QDialog(parent) {
  setObjectName("Tfm_info");
  setWindowTitle("Properties-test");
  setWindowFlags(Qt::Dialog | Qt::WindowCloseButtonHint | Qt::WindowTitleHint);
  setModal(true);
  setFixedSize(555, 295);
  auto* box = new QGroupBox("Basic Info", this);
  box->setGeometry(12, 10, 300, 230);
  const char* labels[5] = {"Duration:", "Format:", "Bit Rate:", "Sample Rate:", "Channels:"};
  const char* names[5] = {"ed_duration", "ed_audioformat", "ed_audiobit", "ed_sample", "ed_channels"};
  QLineEdit** fields[5] = {&duration_, &format_, &bitRate_, &sampleRate_, &channels_};
  for (int i = 0; i < 5; ++i) {
    auto* l = new QLabel(labels[i], box);
    l->setGeometry(14, 30 + i * 38, 90, 24);
    auto* e = new QLineEdit(box);
    e->setObjectName(names[i]);
    e->setReadOnly(true);
    e->setGeometry(108, 30 + i * 38, 176, 24);
    *fields[i] = e;
  }
  failure_ = new QGroupBox("Last conversion", this);
  failure_->setGeometry(324, 10, 219, 230);
  // A failure's reason stands above the encoder's lines that led to it.
  reason_ = new QLabel(failure_);
  reason_->setObjectName("lb_reason");
  reason_->setWordWrap(true);
  reason_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  reason_->setStyleSheet("QLabel { color: #c0392b; font-weight: bold; }");
  reason_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  reason_->setGeometry(10, 22, 199, 46);
  failureText_ = new QPlainTextEdit(failure_);
  failureText_->setObjectName("ed_failure");
  failureText_->setReadOnly(true);
  failureText_->setGeometry(10, 24, 199, 196);
  // Long lines (paths, the encoder's complaints) wrap within the box.
  failureText_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  failureText_->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  wholeOutput_ = new QCheckBox("Whole encoder output", this);
  wholeOutput_->setObjectName("cb_wholeoutput");
  wholeOutput_->setGeometry(334, 255, 200, 24);
  connect(wholeOutput_, &QCheckBox::toggled, this, &InfoDialog::ShowOutput);
  auto* ok = new QPushButton("OK", this);
  ok->setObjectName("Button1");
  ok->setGeometry(237, 252, 81, 30);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

void InfoDialog::Fill(const ListRow& row) {
  duration_->setText(QString::fromStdString(row.entry.duration));
  // The sound that is converted, as the probe found it.
  const StreamInfo* audio = ConvertedAudio(row.entry);
  format_->setText(QString::fromStdString(audio ? audio->codec : std::string()));
  bitRate_->setText(QString::number(row.entry.audioKbps) + " Kb/s");
  sampleRate_->setText(QString::fromStdString(audio ? " " + SampleRateText(*audio) : std::string()));
  channels_->setText(QString::fromStdString(audio ? " " + ChannelsText(*audio) : std::string()));
  // A failed entry shows why: the encoder's meaningful last lines; the
  // whole output of the last conversion on request.
  auto join = [](const std::vector<std::string>& lines) {
    QString text;
    for (const auto& l : lines) text += QString::fromStdString(l) + "\n";
    return text.trimmed();
  };
  reasonLine_ = row.failureLines.empty() ? QString() : QString::fromStdString(row.failureLines.front());
  failureLines_ = row.failureLines.empty()
                      ? QString()
                      : join(std::vector<std::string>(row.failureLines.begin() + 1, row.failureLines.end()));
  encoderOutput_ = join(row.encoderOutput);
  wholeOutput_->setChecked(false);
  wholeOutput_->setEnabled(!encoderOutput_.isEmpty());
  ShowOutput();
}

void InfoDialog::ShowOutput() {
  const bool reason = !wholeOutput_->isChecked() && !reasonLine_.isEmpty();
  reason_->setVisible(reason);
  // A path in the reason may break after any '/', so no part of it runs
  // past the box's edge; the reason takes the lines it needs.
  QString shown = reasonLine_;
  shown.replace('/', QString("/") + QChar(0x200B));
  reason_->setText(shown);
  reason_->setToolTip(reasonLine_);
  const int reasonHeight = reason ? std::clamp(reason_->heightForWidth(199), 16, 110) : 0;
  reason_->setGeometry(10, 22, 199, reasonHeight);
  const int textTop = reason ? 22 + reasonHeight + 4 : 24;
  failureText_->setGeometry(10, textTop, 199, 220 - textTop);
  if (wholeOutput_->isChecked()) {
    failure_->setTitle("Encoder output");
    failureText_->setPlainText(encoderOutput_);
    return;
  }
  failure_->setTitle("Last conversion");
  failureText_->setPlainText(reason ? failureLines_ : QString("No problems reported."));
}

AboutDialog::AboutDialog(const QString& iconPath, QWidget* parent) : QDialog(parent) {
  setObjectName("Tfm_about");
  setWindowTitle("About");
  setWindowFlags(Qt::Dialog | Qt::WindowCloseButtonHint | Qt::WindowTitleHint);
  setModal(true);
  setFixedSize(293, 208);
  auto* icon = new QLabel(this);
  icon->setObjectName("Image1");
  icon->setGeometry(24, 28, 36, 36);
  icon->setScaledContents(true);
  icon->setPixmap(QPixmap(iconPath));
  label1_ = new QLabel(this);
  label1_->setObjectName("Label1");
  QFont f = label1_->font();
  f.setBold(true);
  f.setPixelSize(15);
  label1_->setFont(f);
  label1_->setGeometry(76, 28, 200, 22);
  auto* sub = new QLabel("Batch audio and video converter", this);
  sub->setGeometry(76, 52, 200, 18);
  auto* line = new QFrame(this);
  line->setObjectName("Bevel1");
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  line->setGeometry(16, 140, 261, 2);
  auto* close = new QPushButton("Close", this);
  close->setObjectName("btn_close");
  close->setGeometry(196, 160, 81, 30);
  connect(close, &QPushButton::clicked, this, &QDialog::accept);
}

void AboutDialog::Prepare(const QString& programName, QWidget* mainWindow) {
  label1_->setText(programName);
  if (mainWindow) move(mainWindow->pos() + QPoint(160, 100));
}

ShutdownDialog::ShutdownDialog(std::function<void()> powerOff, int seconds, const QString& heading,
                               QWidget* parent)
    : QDialog(parent), countdown_(std::move(powerOff), seconds) {
  setObjectName("Tfm_shutdown");
  setWindowTitle("Shut down");
  setWindowFlags(Qt::Dialog | Qt::WindowCloseButtonHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint);
  text_ = new QLabel(this);
  text_->setObjectName("lb_countdown");
  now_ = new QPushButton("Shut down now", this);
  now_->setObjectName("btn_now");
  cancel_ = new QPushButton("Cancel", this);
  cancel_->setObjectName("btn_cancel");
  // Enter must not power the machine off: Cancel is the default.
  cancel_->setDefault(true);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(now_);
  buttons->addWidget(cancel_);
  auto* layout = new QVBoxLayout(this);
  auto* headingLabel = new QLabel(heading, this);
  headingLabel->setObjectName("lb_heading");
  layout->addWidget(headingLabel);
  layout->addWidget(text_);
  layout->addLayout(buttons);
  connect(now_, &QPushButton::clicked, this, [this] {
    countdown_.Now();
    accept();
  });
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
  timer_.setInterval(1000);
  connect(&timer_, &QTimer::timeout, this, &ShutdownDialog::Tick);
  Show();
  timer_.start();
}

void ShutdownDialog::Show() { text_->setText(QString::fromStdString(countdown_.Text())); }

void ShutdownDialog::Tick() {
  countdown_.Tick();
  Show();
  if (!countdown_.Pending()) accept();
}

void ShutdownDialog::done(int r) {
  timer_.stop();
  // Any way of closing other than the end of the count or "Shut down now"
  // cancels.
  countdown_.Cancel();
  QDialog::done(r);
}

}  // namespace pcm
