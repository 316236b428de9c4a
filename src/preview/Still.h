#pragma once
#include <QObject>
#include <QTimer>
#include <cstdint>
#include <memory>
#include <set>
#include <string>

namespace pcm {

class ConversionList;
class EncoderEngine;
class EncoderJob;
class Notifier;
class RowSources;
class OptionAssembly;
struct RunState;

// Saves the picture at a position of an entry as a 24-bit ".bmp" in the
// output folder. The picture comes from the encoder (one job: a hundredth of
// a second from the position, the image-sequence format, the size option of
// a conversion), not from the player. No entry's status changes and no
// batch step runs for it; a still that was not written is said on the
// "hint" line with the reason.
class StillWriter : public QObject {
  Q_OBJECT
 public:
  // The list (the entry's caption and source), the job runner, the option
  // assembly (output folder, size option), the run flags and the notifier
  // for refusals and the hint line.
  struct Parts {
    ConversionList& list;
    EncoderEngine& engine;
    OptionAssembly& options;
    RunState& run;
    Notifier& notifier;
    const RowSources& sources;
  };
  explicit StillWriter(const Parts& parts);
  ~StillWriter() override;

  // Starts the still of entry `index` at `seconds` from its start (to the
  // millisecond; `mediaStart` is the media's own time at 0, where the
  // player counts from) and returns the path it writes, or "" when it did
  // not start (refused while converting, no such entry, no output folder).
  // Returns at once; the encoder runs meanwhile.
  std::string SaveStill(int index, double seconds, double mediaStart = 0);
  // "00:01:02.345", the milliseconds cut rather than rounded, so that the
  // encoder's seek never passes the frame that starts at `seconds`;
  // negative and not-a-number give the start.
  static std::string ClockWithMilliseconds(double seconds);

  // File names: the first is the caption's file-name part with its
  // extension replaced by ".bmp"; the n-th alternative keeps the caption
  // whole and adds "_n.bmp". Neither leads out of the output folder.
  static std::string FirstStillName(const std::string& caption);
  static std::string NumberedStillName(const std::string& caption, int n);

  // Whether a still is being written.
  bool Busy() const { return !pending_.empty(); }

 signals:
  // A still's job ended: `error` is "" when the file was written.
  void stillEnded(const std::string& path, const std::string& error);

 private:
  struct Pending {
    std::shared_ptr<EncoderJob> job;
    std::string path;
  };
  void CheckEnded();
  void Failed(const std::string& path, const std::string& reason);

  Parts parts_;
  std::vector<Pending> pending_;
  // The job's end step runs inside the engine; it is looked for here.
  QTimer poll_;
};

}  // namespace pcm
