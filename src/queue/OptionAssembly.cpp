#include "queue/OptionAssembly.h"

#include <sys/stat.h>

#include <QLocale>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>

#include "base/WholeNumber.h"
#include "engine/JobRecord.h"
#include "engine/OutputFiles.h"
#include "engine/Progress.h"
#include "profiles/Catalog.h"
#include "profiles/Ini.h"
#include "profiles/ProfileState.h"
#include "profiles/Settings.h"
#include "queue/ConversionList.h"
#include "ui/CommandError.h"

namespace pcm {

namespace {

constexpr int kAudioRates[5] = {320, 192, 128, 64, 32};
constexpr double kAmrRates[5] = {12.2, 10.2, 7.4, 5.9, 4.75};
constexpr int kAmrBitRates[5] = {12200, 10200, 7400, 5900, 4750};
constexpr double kGeneralFactors[5] = {6.25, 4.16, 3.33, 2.13, 1.51};
constexpr double kMiniFactors[5] = {3.33, 2.13, 1.51, 1.06, 0.8};
constexpr double kExcellentFactors[5] = {10.41, 8.33, 6.25, 4.16, 3.33};
constexpr int kNormal = 2;

// Nearest integer, ties to the even one. A value no 64-bit integer holds is
// refused rather than converted.
int64_t RoundEven(double x) {
  double r = std::nearbyint(x);
  if (!(std::fabs(r) < 0x1p62)) throw CommandError("The bit rate " + std::to_string(x) + " is out of range");
  return int64_t(r);
}

// A quality index usable with the five-step tables; anything else (the
// source-quality entry, "No Video") reads as "Normal".
int Step(int index) { return index >= 0 && index < 5 ? index : kNormal; }

// A source rate below zero cannot be turned into an option (a hand-edited
// list file could hold one). Sums and products of rates are taken in 64 bits.
int64_t SourceRate(int32_t kbps, const char* what) {
  if (kbps < 0)
    throw CommandError(std::string("The source ") + what + " " + std::to_string(kbps) + " is not usable");
  return kbps;
}

// The highest audio rate of the quality table: what every audio encoder of
// the profiles takes. A source's rate above it (uncompressed sound) would
// be refused or wasted.
constexpr int64_t kMaxSourceAudioKbps = 320;

// Width and height of a size text "WxH", the height ending at the first "(".
bool SplitSize(const std::string& text, std::string& width, std::string& height) {
  size_t x = text.find('x');
  if (x == std::string::npos) return false;
  width = text.substr(0, x);
  size_t paren = text.find('(', x + 1);
  height = text.substr(x + 1, paren == std::string::npos ? std::string::npos : paren - x - 1);
  return true;
}

// ---- What the lists say, read through the current profile's rules ----

struct Choices {
  int n;
  std::string ext;
  int si;                // the size list's index, -1 when it is empty
  std::string sizeText;  // "" when the size list is empty
  bool sourceSize, sourceVideo, sourceAudio;
  int vi, ai, channel;
  bool amr, wav;
};

Choices ReadChoices(const ProfileState& p) {
  Choices c;
  c.n = p.currentProfile;
  c.ext = p.OutputExtension();
  c.amr = c.ext == ".3gp" || c.ext == ".amr";
  c.wav = c.ext == ".wav";
  c.si = p.EffectiveIndex(p.cb_size, ChoiceKey::Size);
  c.sizeText = c.si >= 0 ? p.cb_size.items[size_t(c.si)] : std::string();
  c.sourceSize = c.sizeText == kOriginalSize;
  c.vi = p.EffectiveIndex(p.cb_videobitrate, ChoiceKey::Video);
  c.sourceVideo = c.vi >= 0 && p.cb_videobitrate.items[size_t(c.vi)] == kOriginalVideo;
  c.ai = p.EffectiveIndex(p.cb_audiobitrate, ChoiceKey::Audio);
  c.sourceAudio = c.ai >= 0 && p.cb_audiobitrate.items[size_t(c.ai)] == kOriginalAudio;
  c.channel = p.EffectiveIndex(p.cb_channel, ChoiceKey::Channel);
  // AMR has no mode for the source's rate: its source-quality entry reads
  // as "Normal" (7.4 kbit/s).
  if (c.amr && c.sourceAudio) {
    c.sourceAudio = false;
    c.ai = kNormal;
  }
  return c;
}

// The audio rate subtracted from the total for a computed profile's video.
int64_t TableAudioRate(const Choices& c, const ListRow& entry) {
  return c.sourceAudio ? std::min(SourceRate(entry.entry.audioKbps, "audio rate"), kMaxSourceAudioKbps)
                       : kAudioRates[Step(c.ai)];
}

// The output's height for a computed profile, 0 when the size text holds none.
int OutputHeight(const Choices& c, const ListRow& entry) {
  if (c.sourceSize) return entry.entry.height;
  std::string width, height;
  int h;
  if (!SplitSize(c.sizeText, width, height) || !ParseWholeNumber(height, h)) return 0;
  return h;
}

const double* FactorsOf(int n) {
  if (VariantOf(n) == Variant::Mini) return kMiniFactors;
  if (VariantOf(n) == Variant::Excellent) return kExcellentFactors;
  return kGeneralFactors;
}

int64_t VideoPart(const ProfileState& p, const Choices& c, const ListRow& entry) {
  // A sound file gets no picture, so none is counted.
  if (SoundOnly(entry.entry)) return 0;
  if (IsTableProfile(c.n)) {
    if (p.RateStep(0) == "*") return 0;
    return p.RateStepValue(Step(c.vi));
  }
  const int h = OutputHeight(c, entry);
  if (c.sourceVideo) {
    // The source's rate, at most what the profile's best quality gives
    // this size: more only makes the file larger.
    int64_t rate = SourceRate(entry.entry.videoKbps, "video rate");
    int64_t best = RoundEven(h * FactorsOf(c.n)[0]);
    return best > 0 ? std::min(rate, best) : rate;
  }
  return RoundEven(h * FactorsOf(c.n)[Step(c.vi)]);
}

// The share of its rate libvorbis writes; see EstimateOutputSize.
constexpr double kVorbisYield = 0.8;

int64_t AudioPart(const Choices& c, const ListRow& entry) {
  if (c.amr) return RoundEven(kAmrRates[Step(c.ai)]);
  if (c.wav) return 1500;
  return TableAudioRate(c, entry);
}

// ---- The options, from the profile state and the lists read once ----

bool NtscDisc(const Choices& c) { return QString::fromStdString(c.sizeText).toLower() == "ntsc"; }

// The picture a disc result shows: the source's moving picture, or for a
// sound file the cover, shown for the whole length. Null for sound alone.
const StreamInfo* DiscPicture(const ListRow& entry) {
  const Toriginalinfo& e = entry.entry;
  if (!SoundOnly(e)) return MainVideo(e.streams);
  const StreamInfo* cover = CoverPicture(e.streams);
  return cover && (cover->codec == "mjpeg" || cover->codec == "png") ? cover : nullptr;
}

// A row whose streams are not known counts as a picture of its size.
bool ShowsPicture(const ListRow& entry) { return !SoundOnly(entry.entry) || DiscPicture(entry); }

// What a disc result of sound alone takes, in kbit/s: the preset's sound
// rate with the program stream's packing, measured; a VCD is packed to its
// constant rate whatever it holds.
int64_t DiscSoundKbps(const Choices& c) {
  const std::string target = DiscFormatOf(c.n).target;
  if (target == "-svcd ") return 228;
  if (target == "-dvd ") return 456;
  return DiscFormatOf(c.n).totalKbps;
}

int64_t TotalBitRateOf(const ProfileState& p, const Choices& c, const ListRow& entry) {
  // A disc format has its fixed total rate; without a picture only the
  // sound's, which a VCD still packs into its constant rate.
  if (int disc = DiscFormatOf(p.currentProfile).totalKbps)
    return ShowsPicture(entry) ? disc : DiscSoundKbps(c);
  return VideoPart(p, c, entry) + AudioPart(c, entry);
}

// Video codecs whose streams state their pixel aspect, so a picture stored
// anamorphic keeps its size and gets the aspect flag instead of being
// widened to square pixels.
bool KeepsPixelAspect(const ProfileState& p) {
  const std::string codec = p.ProfileOptions().ValueOf("-vcodec");
  return codec == "mpeg4" || codec == "libx264" || codec == "mpeg2video";
}

std::string SizeText(int w, int h) { return std::to_string(w) + "x" + std::to_string(h); }

// The picture fitted inside a fixed frame with black bars: scaled to the
// largest even size of the source's shape that fits, square pixels, then
// centred. The same shape needs no bars and keeps the plain size option.
OptionField FittedSizeOption(const ListRow& entry, int w, int h) {
  const int64_t sw = entry.entry.width, sh = entry.entry.height;
  if (sw <= 0 || sh <= 0 || w <= 0 || h <= 0) return OptionField({"-s", SizeText(w, h)});
  int64_t fw = w, fh = h;
  if (sw * h > sh * w)
    fh = std::max<int64_t>(2, (w * sh / sw + 1) / 2 * 2);
  else
    fw = std::max<int64_t>(2, (h * sw / sh + 1) / 2 * 2);
  fw = std::min<int64_t>(fw, w);
  fh = std::min<int64_t>(fh, h);
  // Within a pixel pair of the frame: the same shape.
  if (w - fw <= 2 && h - fh <= 2) return OptionField({"-s", SizeText(w, h)});
  return OptionField({"-vf", "scale=" + std::to_string(fw) + ":" + std::to_string(fh) + ",setsar=1,pad=" +
                                 std::to_string(w) + ":" + std::to_string(h) + ":-1:-1:black"});
}

// The frame a disc preset writes.
FrameSize DiscFrame(const Choices& c) {
  const std::string target = DiscFormatOf(c.n).target;
  if (target == "-vcd ") return {352, NtscDisc(c) ? 240 : 288};
  if (target == "-svcd ") return {480, NtscDisc(c) ? 480 : 576};
  if (target == "-dvd ") return {720, NtscDisc(c) ? 480 : 576};
  return {};
}

// The source picture's size as shown.
FrameSize DiscSourceSize(const ListRow& entry) {
  if (!SoundOnly(entry.entry)) return {entry.entry.width, entry.entry.height};
  const StreamInfo* cover = DiscPicture(entry);
  return cover ? DisplayedSize(*cover) : FrameSize{};
}

// The shape a disc frame is flagged with: 16:9 for a picture nearer to it
// than to 4:3 where the format has the flag (DVD, SVCD), else 4:3. The
// flag is what players go by, so it is always given: a source that leaves
// its pixel aspect unset would otherwise be shown at the frame's pixel
// shape (5:4 on a PAL DVD).
struct DiscShape {
  int num = 4, den = 3;
};
DiscShape DiscShapeOf(const Choices& c, const ListRow& entry) {
  const FrameSize s = DiscSourceSize(entry);
  const int64_t sw = s.width, sh = s.height;
  // Wider than the geometric mean of 4:3 and 16:9.
  if (DiscFormatOf(c.n).target != std::string("-vcd ") && sh > 0 && sw * sw * 27 > sh * sh * 64)
    return {16, 9};
  return {};
}

// A disc preset scales any picture to its frame; one of another shape than
// the frame's flag is fitted inside it with bars instead, counted in the
// frame's shown shape and drawn in its own pixels. A cover is repeated,
// one frame per frame of the disc's rate, for as long as the sound lasts.
OptionField DiscFitOption(const Choices& c, const ListRow& entry) {
  const FrameSize frame = DiscFrame(c);
  const FrameSize source = DiscSourceSize(entry);
  const int64_t sw = source.width, sh = source.height;
  std::string filter;
  if (SoundOnly(entry.entry) && DiscPicture(entry)) {
    // A bound on the frames, a second beyond the length at the highest
    // disc rate, so the repeat ends even if the sound's end did not end
    // the result.
    const int64_t frames = (int64_t(std::max(0, ParseClock(entry.entry.duration))) + 1) * 30;
    filter = "loop=loop=" + std::to_string(frames) + ":size=1,setpts=N" +
             (NtscDisc(c) ? "*1001/30000" : "/25") + "/TB";
  }
  auto joined = [&filter](const std::string& more) { return filter.empty() ? more : filter + "," + more; };
  if (frame.width <= 0 || sw <= 0 || sh <= 0)
    return filter.empty() ? OptionField() : OptionField({"-vf", filter});
  const DiscShape shape = DiscShapeOf(c, entry);
  const double shownWidth = frame.height * double(shape.num) / shape.den;
  double w = shownWidth, h = frame.height;
  if (sw * shape.den > sh * shape.num)
    h = shownWidth * double(sh) / double(sw);
  else
    w = frame.height * double(sw) / double(sh);
  const int64_t fw = std::min<int64_t>(
      frame.width, std::max<int64_t>(2, std::llround(w * frame.width / shownWidth / 2) * 2));
  const int64_t fh = std::min<int64_t>(frame.height, std::max<int64_t>(2, std::llround(h / 2) * 2));
  if (frame.width - fw <= 2 && frame.height - fh <= 2)
    return filter.empty() ? OptionField() : OptionField({"-vf", filter});
  return OptionField({"-vf", joined("scale=" + std::to_string(fw) + ":" + std::to_string(fh) +
                                    ",pad=" + std::to_string(frame.width) + ":" +
                                    std::to_string(frame.height) + ":-1:-1:black")});
}

// A still has square pixels: a picture stored with stretched pixels is
// drawn at the size it is shown at, as the preview shows it. No option for
// any other picture: it keeps its size.
OptionField StillShownSize(const ListRow& entry) {
  const StreamInfo* video = MainVideo(entry.entry.streams);
  if (!video || SoundOnly(entry.entry)) return {};
  const FrameSize shown = DisplayedSize(*video), stored = TurnedSize(*video);
  if (shown.width <= 0 || shown.height <= 0 || (shown.width == stored.width && shown.height == stored.height))
    return {};
  return OptionField({"-s", SizeText(shown.width, shown.height)});
}

OptionField SizeOptionOf(const ProfileState& p, const Choices& c, const ListRow& entry, bool squarePixels) {
  if (IsDiscProfile(p.currentProfile)) return squarePixels ? StillShownSize(entry) : DiscFitOption(c, entry);
  if (!p.cb_size.enabled || SoundOnly(entry.entry))
    return squarePixels ? StillShownSize(entry) : OptionField();
  if (c.sourceSize) {
    // The picture as shown; stored anamorphic it keeps its stored size
    // where the codec states the pixel aspect.
    const StreamInfo* video = MainVideo(entry.entry.streams);
    if (video && !squarePixels && video->sarNum != video->sarDen && KeepsPixelAspect(p)) {
      FrameSize turned = TurnedSize(*video);
      return OptionField({"-s", SizeText((turned.width + 1) / 2 * 2, (turned.height + 1) / 2 * 2)});
    }
    return OptionField({"-s", FrameSizeText(entry.entry)});
  }
  if (c.sizeText.empty()) return {};
  std::string width, height;
  int w = 0, h = 0;
  const std::string size = c.sizeText.substr(0, c.sizeText.find('('));
  if (!SplitSize(size, width, height) || !ParseWholeNumber(width, w) || !ParseWholeNumber(height, h))
    return OptionField({"-s", size});
  return FittedSizeOption(entry, w, h);
}

OptionField VideoRateOption(const std::string& bitsPerSecond) {
  return OptionField({"-r", "25", "-b", bitsPerSecond});
}

OptionField VideoRateOptionOf(const ProfileState& p, const Choices& c, const ListRow& entry) {
  int n = p.currentProfile;
  if (IsDiscProfile(n) || SoundOnly(entry.entry)) return {};
  if (IsTableProfile(n)) {
    if (p.RateStep(0) == "*") return {};
    // An empty or broken step would reach the encoder as "-b 000" and the
    // job would fail while the list shows it finished.
    std::string step = p.RateStep(Step(c.vi));
    p.RateStepValue(Step(c.vi));
    return VideoRateOption(step + "000");
  }
  if (c.sourceVideo) return VideoRateOption(std::to_string(VideoPart(p, c, entry) * 1000));
  int64_t rate = TotalBitRateOf(p, c, entry) - TableAudioRate(c, entry);
  // When the audio part differs from the subtracted rate (AMR), the rest can
  // drop to nothing or below; the video part itself is the sound value then.
  if (rate <= 0) rate = VideoPart(p, c, entry);
  return VideoRateOption(std::to_string(rate * 1000));
}

// The sound's rate in bit/s the encoder is given; 0 for a disc format,
// whose target sets it.
int64_t AudioBitsPerSecond(const Choices& c, const ListRow& entry) {
  if (IsDiscProfile(c.n)) return 0;
  if (c.amr) return kAmrBitRates[Step(c.ai)];
  return TableAudioRate(c, entry) * 1000;
}

OptionField AudioRateOptionOf(const Choices& c, const ListRow& entry) {
  const int64_t rate = AudioBitsPerSecond(c, entry);
  return rate > 0 ? OptionField({"-ab", std::to_string(rate)}) : OptionField();
}

// The ratio goes to the encoder, so it is written with "." whatever the
// user's locale.
OptionField AspectOptionOf(double ratio) {
  double rounded = QString::number(ratio, 'g', 5).toDouble();
  return OptionField({"-aspect", QString::number(rounded, 'f', 4).toStdString()});
}

// The frame's width over its height, from a size "WxH" of the profile;
// anything else (an empty size too) is refused.
OptionField FrameAspectOption(const std::string& size) {
  std::string width, height;
  int w = 0, h = 0;
  if (!SplitSize(size, width, height) || !ParseWholeNumber(width, w) || !ParseWholeNumber(height, h) ||
      h == 0)
    throw CommandError("The frame size \"" + size + "\" is not WIDTHxHEIGHT");
  return AspectOptionOf(double(w) / h);
}

// The aspect of the frame a size option makes, taken from the choices, not
// read back from the option: with the source's size the picture's as shown
// (also when it keeps an anamorphic stored size), else the profile's frame,
// which a fitting filter pads the picture to.
OptionField EntryAspectOptionOf(const ProfileState& p, const Choices& c, const ListRow& entry,
                                const OptionField& sizeOption) {
  // A disc frame is flagged with the shape it is shown in, also when the
  // preset's own scaling fills it.
  if (IsDiscProfile(p.currentProfile)) {
    if (!ShowsPicture(entry)) return {};
    const DiscShape shape = DiscShapeOf(c, entry);
    return OptionField({"-aspect", std::to_string(shape.num) + ":" + std::to_string(shape.den)});
  }
  if (sizeOption.empty()) return {};
  if (c.sourceSize && entry.entry.width > 0 && entry.entry.height > 0)
    return AspectOptionOf(double(entry.entry.width) / entry.entry.height);
  return FrameAspectOption(c.sizeText.substr(0, c.sizeText.find('(')));
}

// The sample rate follows the sound's rate in bit/s; the shown field ends
// in a blank.
OptionField SampleRateOptionOf(const Choices& c, int64_t audioBitsPerSecond) {
  if (audioBitsPerSecond <= 0 || IsDiscProfile(c.n)) return {};
  const char* rate = c.amr                         ? "8000"
                     : audioBitsPerSecond > 192000 ? "48000"
                     : audioBitsPerSecond > 64000  ? "44100"
                                                   : "22050";
  return OptionField({"-ar", rate}, " ");
}

OptionField ChannelsOptionOf(const Choices& c) {
  if (c.amr) return OptionField({"-ac", "1"}, " ");
  return OptionField({"-ac", std::to_string(c.channel + 1)});
}

// Formats that keep a picture beside sound-only content: the cover.
bool CarriesCover(const std::string& format) {
  return format == "mp3" || format == "ipod" || format == "mp4" || format == "flac";
}

// The profile's option line with the entry's streams: the sound converted
// is the source's default track, a cover picture goes along where the
// format keeps one, and tags kept on the sound stream become the file's.
// Unchanged when the entry's streams are not known (an older list's row,
// a DVD row whose streams the adapter maps).
OptionField StreamOptions(const OptionField& line, const ListRow& entry) {
  const std::vector<StreamInfo>& streams = entry.entry.streams;
  const StreamInfo* audio = ConvertedAudio(entry.entry);
  if (!audio) return line;
  const std::string soundMap = "0:a:" + std::to_string(KindOrdinal(streams, *audio)) + "?";
  const std::vector<std::string>& words = line.Args();
  const bool soundProfile = std::find(words.begin(), words.end(), "-vn") != words.end();
  const StreamInfo* cover = CoverPicture(streams);
  const bool withCover = soundProfile && cover && (cover->codec == "mjpeg" || cover->codec == "png") &&
                         CarriesCover(line.ValueOf("-f"));
  std::vector<std::string> out;
  for (size_t i = 0; i < words.size(); ++i) {
    if (words[i] == "-map" && i + 1 < words.size() && words[i + 1] == "0:a:0?") {
      out.insert(out.end(), {"-map", soundMap});
      if (withCover)
        out.insert(out.end(), {"-map", "0:v:" + std::to_string(KindOrdinal(streams, *cover)), "-c:v", "copy",
                               "-disposition:v:0", "attached_pic"});
      ++i;
    } else if (!(withCover && words[i] == "-vn")) {
      out.push_back(words[i]);
    }
  }
  if (entry.entry.soundKeepsTags)
    out.insert(out.end(), {"-map_metadata:g", "0:g", "-map_metadata:g",
                           "0:s:a:" + std::to_string(KindOrdinal(streams, *audio))});
  if (out == words) return line;
  return OptionField(std::move(out));
}

// The streams a disc result is made of: the picture (or the cover of a
// sound file, which then ends with the sound) and the sound the entry
// converts, the track chosen by hand included. None when the entry's
// streams are not known; a DVD row's streams are mapped by the adapter.
std::vector<std::string> DiscStreamMaps(const ListRow& entry) {
  const std::vector<StreamInfo>& streams = entry.entry.streams;
  const StreamInfo* audio = ConvertedAudio(entry.entry);
  if (!audio) return {};
  std::vector<std::string> maps;
  const StreamInfo* picture = DiscPicture(entry);
  if (!SoundOnly(entry.entry))
    maps = {"-map", "0:V:0?"};
  else if (picture)
    maps = {"-map", "0:v:" + std::to_string(KindOrdinal(streams, *picture))};
  maps.insert(maps.end(), {"-map", "0:a:" + std::to_string(KindOrdinal(streams, *audio)) + "?"});
  if (SoundOnly(entry.entry) && picture) maps.push_back("-shortest");
  return maps;
}

OptionField TargetOptionOf(const ProfileState& p, const Choices& c, const ListRow* entry = nullptr) {
  if (!IsDiscProfile(c.n)) return entry ? StreamOptions(p.ProfileOptions(), *entry) : p.ProfileOptions();
  std::string standard = QString::fromStdString(c.si >= 0 ? c.sizeText : "PAL").toLower().toStdString();
  std::string format = DiscFormatOf(c.n).target;
  format.erase(format.find_last_not_of(' ') + 1);
  std::vector<std::string> args;
  if (entry) args = DiscStreamMaps(*entry);
  args.insert(args.end(), {"-target", standard + format});
  return OptionField(std::move(args), " ");
}

}  // namespace

int64_t OptionAssembly::TotalBitRate(const ListRow& entry) const {
  return TotalBitRateOf(profiles_, ReadChoices(profiles_), entry);
}

OptionField OptionAssembly::SizeOption(const ListRow& entry) const {
  return SizeOptionOf(profiles_, ReadChoices(profiles_), entry, false);
}

OptionField OptionAssembly::StillSizeOption(const ListRow& entry) const {
  return SizeOptionOf(profiles_, ReadChoices(profiles_), entry, true);
}

OptionField OptionAssembly::AspectOption(const std::string& frameSize) const {
  if (!profiles_.cb_size.enabled || frameSize.empty() || IsDiscProfile(profiles_.currentProfile)) return {};
  return FrameAspectOption(frameSize);
}

OptionField OptionAssembly::VideoRateOption(const ListRow& entry) const {
  return VideoRateOptionOf(profiles_, ReadChoices(profiles_), entry);
}

OptionField OptionAssembly::AudioRateOption(const ListRow& entry) const {
  return AudioRateOptionOf(ReadChoices(profiles_), entry);
}

int64_t OptionAssembly::AudioBitRate(const ListRow& entry) const {
  return AudioBitsPerSecond(ReadChoices(profiles_), entry);
}

OptionField OptionAssembly::SampleRateOption(int64_t audioBitsPerSecond) const {
  return SampleRateOptionOf(ReadChoices(profiles_), audioBitsPerSecond);
}

OptionField OptionAssembly::ChannelsOption() const { return ChannelsOptionOf(ReadChoices(profiles_)); }

OptionField OptionAssembly::TargetOption() const { return TargetOptionOf(profiles_, ReadChoices(profiles_)); }

void OptionAssembly::FillProfileOptions(intputrec& rec, const ListRow& entry) const {
  // The lists are read once, so every option sees the same choices.
  const Choices c = ReadChoices(profiles_);
  rec.SizeOpt = SizeOptionOf(profiles_, c, entry, false);
  rec.AspectOpt = EntryAspectOptionOf(profiles_, c, entry, rec.SizeOpt);
  rec.VideoRateOpt = VideoRateOptionOf(profiles_, c, entry);
  rec.AudioRateOpt = AudioRateOptionOf(c, entry);
  rec.SampleRateOpt = SampleRateOptionOf(c, AudioBitsPerSecond(c, entry));
  rec.ChannelsOpt = ChannelsOptionOf(c);
  rec.TargetOpt = TargetOptionOf(profiles_, c, &entry);
}

// ---- Output path and size ----

std::string OptionAssembly::MakeOutputFolder(Settings& settings) const {
  std::string dir = OutputFolder();
  settings.outputDirectory = dir;
  settings.SaveChanges();
  // One level, by its bytes; a failure shows when the output is reserved.
  mkdir(dir.c_str(), 0777);
  return dir;
}

std::string OptionAssembly::OutputFolder() const {
  const Settings& s = settings_;
  // A relative name lies below the home folder, not where the program runs.
  std::string dir = Settings::AbsoluteFolder(s.outputField);
  // An empty field would put the output at the file system's root.
  if (dir.empty()) dir = s.outputDirectory;
  if (dir.empty()) dir = Settings::DefaultOutputDirectory();
  if (dir.back() != '/') dir += '/';
  return dir;
}

namespace {

// Extensions a renamed title may still carry from its file; only these are
// replaced by the output's. Any other dot belongs to the title.
bool IsMediaExtension(const std::string& ext) {
  static const char* const kKnown[] = {".mp3", ".m4a",  ".aac", ".ac3",  ".rm",   ".wav", ".wma",
                                       ".ogg", ".flac", ".avi", ".mp4",  ".m4v",  ".mpg", ".mpeg",
                                       ".wmv", ".mov",  ".mkv", ".flv",  ".3gp",  ".amr", ".vob",
                                       ".asf", ".webm", ".ts",  ".rmvb", ".divx", ".dat", ".swf"};
  std::string lower = ext;
  for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
  for (const char* k : kKnown)
    if (lower == k) return true;
  return false;
}

// Never a hidden name, nor "." or "..", nor an empty one: leading dots
// become "_".
void UnhideName(std::string& name) {
  size_t dots = name.find_first_not_of('.');
  name.replace(0, dots == std::string::npos ? name.size() : dots,
               dots == std::string::npos ? std::max<size_t>(name.size(), 1) : dots, '_');
}

// Cuts a name to `limit` bytes where no UTF-8 character is split.
void CutName(std::string& name, size_t limit) {
  if (name.size() <= limit) return;
  size_t cut = limit;
  for (int back = 0; back < 3 && cut > 1 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80; ++back)
    --cut;
  name.resize(cut);
}

}  // namespace

std::string OptionAssembly::OutputBaseName(const std::string& caption, const std::string& ext) {
  std::string base = caption;
  // A "/" must not lead out of the output directory.
  for (char& ch : base)
    if (ch == '/') ch = '_';
  size_t dot = base.rfind('.');
  if (dot != std::string::npos && dot > 0 && IsMediaExtension(base.substr(dot))) base.resize(dot);
  UnhideName(base);
  // Room for "_n" and the extension, and for the reserved name beside it.
  CutName(base, kOutputNameMax - kReservedNameExtra - std::min(ext.size(), kOutputNameMax / 2));
  return base;
}

std::string OptionAssembly::OutputSubfolder(const std::string& subfolder) {
  std::string out;
  size_t start = 0;
  while (start < subfolder.size()) {
    size_t slash = subfolder.find('/', start);
    if (slash == std::string::npos) slash = subfolder.size();
    std::string part = subfolder.substr(start, slash - start);
    start = slash + 1;
    if (part.empty()) continue;
    UnhideName(part);
    CutName(part, kOutputNameMax);
    out += part + "/";
  }
  return out;
}

std::string OptionAssembly::NumberedOutputPath(const std::string& dir, const std::string& caption, int n,
                                               const std::string& ext) {
  return dir + OutputBaseName(caption, ext) + "_" + std::to_string(n) + ext;
}

std::string OptionAssembly::FirstOutputPath(const std::string& caption, const std::string& subfolder) const {
  const std::string ext = profiles_.OutputExtension();
  return OutputFolder() + OutputSubfolder(subfolder) + OutputBaseName(caption, ext) + ext;
}

std::string OptionAssembly::OutputFilePath(const ListRow& entry,
                                           const std::function<bool(const std::string&)>& reserved) const {
  const std::string dir = OutputFolder() + OutputSubfolder(entry.outputSubfolder);
  const std::string ext = profiles_.OutputExtension();
  std::string candidate = FirstOutputPath(entry.caption, entry.outputSubfolder);
  // Anything of the name counts, a dangling link too, so the source itself
  // (reached through another spelling of its folder) is never chosen.
  auto taken = [&](const std::string& path) { return PathTaken(path) || (reserved && reserved(path)); };
  for (int i = 1; taken(candidate); ++i) candidate = NumberedOutputPath(dir, entry.caption, i, ext);
  return candidate;
}

std::string OptionAssembly::EstimateOutputSize(const ListRow& entry) const {
  return EstimateOutputSize(entry, QLocale());
}

std::string OptionAssembly::EstimateOutputSize(const ListRow& entry, const QLocale& locale) const {
  // Taken as a real number: a long entry at a high rate overflows 32 bits,
  // and any rate times any length still fits.
  const Choices c = ReadChoices(profiles_);
  double kbps = double(TotalBitRateOf(profiles_, c, entry));
  // libvorbis takes its rate as the quality to aim at, not as a rate to
  // hold: on the sample sounds and recordings measured it wrote about four
  // fifths of it (far less on a plain tone).
  if (!IsDiscProfile(c.n) && profiles_.ProfileOptions().ValueOf("-acodec") == "libvorbis")
    kbps -= double(AudioPart(c, entry)) * (1 - kVorbisYield);
  double kbits = kbps * ParseClock(entry.entry.duration);
  double mb = kbits / 8 / 1024 * 1000 / 1024;
  return FormatMegabytes(mb, locale) + "MB";
}

// Fixed notation with two decimals after rounding to five significant
// digits; beyond five digits before the separator, exponent notation.
std::string OptionAssembly::FormatMegabytes(double mb, const QLocale& given) {
  QLocale locale = given;
  locale.setNumberOptions(QLocale::OmitGroupSeparator);
  if (std::fabs(mb) >= 100000) return locale.toString(mb, 'E', 4).toStdString();
  double rounded = QString::number(mb, 'g', 5).toDouble();
  return locale.toString(rounded, 'f', 2).toStdString();
}

// One entry whose rates are not numbers must not leave the others with
// stale estimates: every row is done, then the first error is raised.
void OptionAssembly::RefreshSizeEstimates() {
  ConversionList& list = list_;
  std::string firstError;
  for (int i = 0; i < list.Count(); ++i) {
    // A finished entry shows the size of the file it wrote, which no
    // profile changes.
    if (list.Row(i).state == EntryState::Finished) continue;
    try {
      list.Row(i).outputSize = EstimateOutputSize(list.Row(i));
    } catch (const CommandError& e) {
      if (firstError.empty()) firstError = e.what();
      list.Row(i).outputSize.clear();
    }
    list.NotifyRowChanged(i);
  }
  if (!firstError.empty()) throw CommandError(firstError);
}

}  // namespace pcm
