#include "preview/Still.h"

#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "engine/EncoderEngine.h"
#include "engine/OutputFiles.h"
#include "engine/Progress.h"
#include "profiles/Settings.h"
#include "queue/BatchDriver.h"
#include "queue/ConversionList.h"
#include "queue/OptionAssembly.h"
#include "queue/RowSource.h"
#include "ui/Display.h"
#include "ui/Notifier.h"
#include "ui/RunState.h"

namespace pcm {

namespace {

constexpr const char* kExt = ".bmp";

// "/" would lead out of the output folder.
std::string NoSlashes(std::string text) {
  for (char& c : text)
    if (c == '/') c = '_';
  return text;
}

}  // namespace

StillWriter::StillWriter(const Parts& parts) : parts_(parts) {
  poll_.setInterval(50);
  connect(&poll_, &QTimer::timeout, this, [this] { CheckEnded(); });
}

StillWriter::~StillWriter() = default;

std::string StillWriter::FirstStillName(const std::string& caption) {
  size_t from = 0;
  while (from < caption.size() && static_cast<unsigned char>(caption[from]) <= ' ') ++from;
  std::string name = caption.substr(from);
  size_t slash = name.rfind('/');
  if (slash != std::string::npos) name.erase(0, slash + 1);
  size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.resize(dot);
  // Never a hidden or empty name.
  if (name.empty()) name = "_";
  return name + kExt;
}

std::string StillWriter::ClockWithMilliseconds(double seconds) {
  if (!(seconds > 0.0)) return FormatClock(0) + ".000";
  // A hair more than a microsecond's error in the double does not cost
  // the frame's own millisecond.
  const int64_t ms = int64_t(std::floor(seconds * 1000.0 + 1e-6));
  char tail[8];
  std::snprintf(tail, sizeof tail, ".%03d", int(ms % 1000));
  return FormatClock(int32_t(std::min<int64_t>(ms / 1000, INT32_MAX))) + tail;
}

std::string StillWriter::NumberedStillName(const std::string& caption, int n) {
  return NoSlashes(caption) + "_" + std::to_string(n) + kExt;
}

std::string StillWriter::SaveStill(int index, double seconds, double mediaStart) {
  // The job runner runs one job at a time: a still would take over the job
  // of the entry being converted.
  if (parts_.notifier.Refused(false, true)) return {};
  if (!parts_.list.Valid(index)) return {};
  const ListRow& row = parts_.list.Row(index);

  std::string dir = parts_.options.OutputFolder();
  Settings::CheckFolderName(dir);
  // One level, as the conversions do.
  if (mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST) {
    Failed(dir, std::string("the folder could not be made: ") + std::strerror(errno));
    return {};
  }
  // A still still being written has no file yet; its name counts as taken.
  auto taken = [this](const std::string& path) {
    if (PathTaken(path)) return true;
    for (const Pending& p : pending_)
      if (p.path == path) return true;
    return false;
  };
  // Named as the row's outputs are (a chapter's without its leading blanks).
  const RowSource& source = parts_.sources.Of(row);
  const std::string caption = source.OutputCaption(row);
  std::string path = dir + FirstStillName(caption);
  for (int n = 1; taken(path); ++n) path = dir + NumberedStillName(caption, n);

  intputrec rec = parts_.engine.record;  // keeps EncoderPath, WorkDir and DurationSecs
  // A DVD row's still comes from its sectors; the adapter applies the
  // position on the output side, counted from the row's start.
  rec.InputFile = source.StillInput(row);
  rec.OutputFile = path;
  rec.TempFile.clear();
  // The frame shown, not its whole second: milliseconds, which the
  // encoder's accurate seek lands on. A file is read at the time its frame
  // carries: the encoder would count from the earliest start of any stream
  // (sound starting before 0 included), the player from a start after 0.
  if (source.StillAtMediaTime())
    rec.StartOpt = OptionField({"-seek_timestamp", "1", "-ss", ClockWithMilliseconds(seconds + mediaStart)});
  else
    rec.StartOpt = OptionField({"-ss", ClockWithMilliseconds(seconds)});
  rec.LengthOpt = OptionField({"-t", "0.01"});
  rec.TargetOpt = OptionField({"-f", "image2"}, " ");
  rec.SizeOpt = parts_.options.StillSizeOption(row);
  rec.VideoRateOpt = {};
  rec.AudioRateOpt = {};
  rec.SampleRateOpt = {};
  rec.ChannelsOpt = {};
  rec.AspectOpt = {};
  // The encoder's progress goes to the entry at the batch position; a still
  // belongs to no entry, so none shows it.
  parts_.list.currentPosition = -1;
  pending_.push_back({parts_.engine.StartEncoderJob(rec), path});
  poll_.start();
  return path;
}

void StillWriter::CheckEnded() {
  for (size_t i = 0; i < pending_.size();) {
    Pending& p = pending_[i];
    if (!p.job->ended) {
      ++i;
      continue;
    }
    std::string reason = BatchDriver::NoOutputReason(p.job->outcome, p.path, p.path);
    if (!reason.empty() && !p.job->outcome.lastLines.empty())
      reason += ": " + p.job->outcome.lastLines.back();
    std::string path = p.path;
    if (!reason.empty()) {
      // The name was free when the still began: what is there now is a
      // broken picture of ours.
      if (!p.job->outcome.Succeeded()) std::remove(path.c_str());
    }
    pending_.erase(pending_.begin() + long(i));
    if (reason.empty()) {
      parts_.notifier.display().SetText("hint", "The still was saved: " + path);
      emit stillEnded(path, {});
    } else
      Failed(path, reason);
  }
  if (pending_.empty()) poll_.stop();
}

void StillWriter::Failed(const std::string& path, const std::string& reason) {
  parts_.notifier.display().SetText("hint", "The still " + path + " was not saved: " + reason);
  emit stillEnded(path, reason);
}

}  // namespace pcm
