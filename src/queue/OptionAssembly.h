#pragma once
#include <cstdint>
#include <functional>
#include <string>

class QLocale;

#include "engine/JobRecord.h"
#include "queue/ListRow.h"

namespace pcm {

class ConversionList;
class ProfileState;
class Settings;

// Turns the current profile, the four choice lists and an entry's source
// facts into the encoder's option fields, the output path and the size
// estimate.
class OptionAssembly {
 public:
  // Reads the profile state and the settings; refreshes the size column of
  // the list. Everything but RefreshSizeEstimates only computes.
  OptionAssembly(const ProfileState& profiles, const Settings& settings, ConversionList& list)
      : profiles_(profiles), settings_(settings), list_(list) {}

  // In kbit/s, taken in 64 bits: the source's rates may be as large as a
  // 32-bit integer holds.
  int64_t TotalBitRate(const ListRow& entry) const;
  // "-s WxH", or a filter that fits the picture into the profile's frame
  // with black bars; empty for a profile or a source without a picture.
  OptionField SizeOption(const ListRow& entry) const;
  // The same for a still, whose pixels are always square.
  OptionField StillSizeOption(const ListRow& entry) const;
  // "-aspect" with the width over the height of a frame size "WxH".
  OptionField AspectOption(const std::string& frameSize) const;
  OptionField VideoRateOption(const ListRow& entry) const;
  OptionField AudioRateOption(const ListRow& entry) const;
  // The sound's rate in bit/s given to the encoder, 0 when the profile sets
  // none.
  int64_t AudioBitRate(const ListRow& entry) const;
  OptionField SampleRateOption(int64_t audioBitsPerSecond) const;
  OptionField ChannelsOption() const;
  OptionField TargetOption() const;
  // The option fields of the job record for the entry, from the profile
  // state, the settings and the entry; the choice lists are read once.
  void FillProfileOptions(intputrec& rec, const ListRow& entry) const;

  // Output path in the directory typed into the output field, in the
  // entry's subfolder; picks "_1", "_2", ... when the name is taken, on disk
  // or by `reserved` (names already planned for earlier entries). Makes
  // nothing.
  std::string OutputFilePath(const ListRow& entry,
                             const std::function<bool(const std::string&)>& reserved = {}) const;
  // The output path before any "_1": the output folder, the subfolder and
  // the caption's name with the profile's extension.
  std::string FirstOutputPath(const std::string& caption, const std::string& subfolder) const;
  // The output folder OutputFilePath uses, ending in "/".
  std::string OutputFolder() const;
  // The step before a job starts: makes the output folder when it is
  // missing (one level) and keeps it as the settings' output directory,
  // which the finish action opens. Returns the folder.
  std::string MakeOutputFolder(Settings& settings) const;
  // The output name of a title without its extension: the title whole (a
  // media extension a renamed title still carries dropped), never hidden or
  // empty, "/" made "_", short enough for "_n", the extension and the
  // reserved name beside it. Bytes are kept as they are.
  static std::string OutputBaseName(const std::string& caption, const std::string& ext);
  // A row's subfolder as it is written below the output folder: each part
  // follows the output name rule (bytes kept, never hidden, ".", ".." or
  // empty, cut to the longest name), empty parts are dropped, and the
  // result is "" or ends in "/". It never leads out of the output folder.
  static std::string OutputSubfolder(const std::string& subfolder);
  // The n-th alternative name of an entry with this caption.
  static std::string NumberedOutputPath(const std::string& dir, const std::string& caption, int n,
                                        const std::string& ext);
  std::string EstimateOutputSize(const ListRow& entry) const;
  // The same with the decimal separator of the given locale (the default
  // locale above).
  std::string EstimateOutputSize(const ListRow& entry, const QLocale& locale) const;
  // A size in MB as shown: two decimals, no group separators.
  static std::string FormatMegabytes(double mb, const QLocale& locale);
  void RefreshSizeEstimates();

 private:
  const ProfileState& profiles_;
  const Settings& settings_;
  ConversionList& list_;
};

}  // namespace pcm
