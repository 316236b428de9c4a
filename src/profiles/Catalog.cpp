#include "profiles/Catalog.h"

#include <QString>
#include <cstring>

namespace pcm {

namespace {

// The compiled-in catalog, in number order: record n sits at index n - 1.
// The feet of the panels carry no display name and produce nothing.
const ProfileRecord kCatalog[kProfileCount] = {
    {1, 1, "pl_video1", 1, "ASF-Advanced Streaming Format(*.asf)", Media::Video, ProfileClass::Computed,
     ButtonKind::Select, Variant::Plain},
    {2, 1, "pl_video1", 2, "AVI-DivX Movie(*.avi)", Media::Video, ProfileClass::Computed,
     ButtonKind::Category, Variant::Plain},
    {3, 1, "pl_video1", 3, "AVI-XviD Movie(*.avi)", Media::Video, ProfileClass::Computed,
     ButtonKind::Category, Variant::Plain},
    {4, 1, "pl_video1", 4, "MP4-MPEG-4 Video(*.mp4)", Media::Video, ProfileClass::Computed,
     ButtonKind::Category, Variant::Plain},
    {5, 1, "pl_video1", 5, "MP4-MPEG-4 AVC Video(*.mp4)", Media::Video, ProfileClass::Computed,
     ButtonKind::Category, Variant::Plain},
    {6, 1, "pl_video1", 6, "RM-Real Video(*.rm)", Media::Video, ProfileClass::Computed, ButtonKind::Select,
     Variant::Plain},
    {7, 1, "pl_video1", 7, "WMV-Windows Media Video(*.wmv)", Media::Video, ProfileClass::Computed,
     ButtonKind::Select, Variant::Plain},
    {8, 1, "pl_video2", 1, "3GPP-3rd Generation Partnership Project(*.3gp)", Media::Video,
     ProfileClass::Computed, ButtonKind::Select, Variant::Plain},
    {9, 1, "pl_video2", 2, "3GPP2-3rd Generation Partnership Project2(*.3g2)", Media::Video,
     ProfileClass::Computed, ButtonKind::Select, Variant::Plain},
    {10, 1, "pl_video2", 3, "MOV-Quick Time(*.mov)", Media::Video, ProfileClass::Computed, ButtonKind::Select,
     Variant::Plain},
    {11, 1, "pl_video2", 4, "FLV - Flash Video Format(*.flv)", Media::Video, ProfileClass::Computed,
     ButtonKind::Select, Variant::Plain},
    {12, 1, "pl_video2", 5, "SWF - SWF Format(*.swf)", Media::Video, ProfileClass::Computed,
     ButtonKind::Select, Variant::Plain},
    {13, 1, "pl_video2", 6, "RM-Real Video(*.rm)", Media::Video, ProfileClass::Computed, ButtonKind::None,
     Variant::Plain},
    {14, 1, "pl_video2", 7, "WMV-Windows Media Video(*.wmv)", Media::Video, ProfileClass::Computed,
     ButtonKind::None, Variant::Plain},
    {15, 2, "pl_audio1", 1, "AAC-Advanced Audio Coding(*.aac)", Media::Audio, ProfileClass::Table,
     ButtonKind::Select, Variant::Plain},
    {16, 2, "pl_audio1", 2, "AC3-Dolby Dingtal AC-3(*.ac3)", Media::Audio, ProfileClass::Table,
     ButtonKind::Select, Variant::Plain},
    {17, 2, "pl_audio1", 3, "MP3-MPEG Layer-3Audio(*.mp3)", Media::Audio, ProfileClass::Table,
     ButtonKind::Select, Variant::Plain},
    {18, 2, "pl_audio1", 4, "OGG-Ogg Vorbis Audio(*.ogg)", Media::Audio, ProfileClass::Table,
     ButtonKind::Select, Variant::Plain},
    {19, 2, "pl_audio1", 5, "RA-Real Auido(*.ra)", Media::Audio, ProfileClass::Table, ButtonKind::Select,
     Variant::Plain},
    {20, 2, "pl_audio1", 6, "WAV-Waveform Auido(*.wav)", Media::Audio, ProfileClass::Table,
     ButtonKind::Select, Variant::Plain},
    {21, 2, "pl_audio1", 7, "WMA-Windows Media Audio(*.wma)", Media::Audio, ProfileClass::Table,
     ButtonKind::Select, Variant::Plain},
    {22, 2, "pl_audio2", 1, "AIFF-Audio Interchange File Format(*.aiff)", Media::Audio, ProfileClass::Table,
     ButtonKind::Select, Variant::Plain},
    {23, 2, "pl_audio2", 2, "M4A-MPEG-4 Auido(*.m4a)", Media::Audio, ProfileClass::Table, ButtonKind::Select,
     Variant::Plain},
    {24, 2, "pl_audio2", 3, "MP2-MPEG Layer-2 Audio(*.mp2)", Media::Audio, ProfileClass::Table,
     ButtonKind::Select, Variant::Plain},
    {25, 2, "pl_audio2", 4, "SUN AU Format(*.au)", Media::Audio, ProfileClass::Table, ButtonKind::Select,
     Variant::Plain},
    {26, 2, "pl_audio2", 5, nullptr, Media::None, ProfileClass::None, ButtonKind::Foot, Variant::Plain},
    {27, 3, "pl_ipod", 1, "iPod(320×240)MPEG-4 Codec(*.mp4)", Media::Video, ProfileClass::Table,
     ButtonKind::Select, Variant::Plain},
    {28, 3, "pl_ipod", 2, "iPod(320×240)MPEG-4 AVC Codec(*.mp4)", Media::Video, ProfileClass::Table,
     ButtonKind::Select, Variant::Plain},
    {29, 3, "pl_ipod", 3, "iPod(480×320)MPEG-4 Codec(*.mp4)", Media::Video, ProfileClass::Table,
     ButtonKind::Select, Variant::Plain},
    {30, 3, "pl_ipod", 4, "iPod(480×320)MPEG-4 AVC Codec(*.mp4)", Media::Video, ProfileClass::Table,
     ButtonKind::Select, Variant::Plain},
    {31, 3, "pl_ipod", 5, "iPod(640×480)MPEG-4 Codec(*.mp4)", Media::Video, ProfileClass::Table,
     ButtonKind::Select, Variant::Plain},
    {32, 3, "pl_ipod", 6, "iPod(640×480)MPEG-4 AVC Codec(*.mp4)", Media::Video, ProfileClass::Table,
     ButtonKind::Select, Variant::Plain},
    {33, 3, "pl_ipod", 7, "iPod Audio Format(*.mp3)", Media::Audio, ProfileClass::Table, ButtonKind::Select,
     Variant::Plain},
    {34, 4, "pl_iphone", 1, "iPhone(320×240)MPEG-4 Codec(*.mp4)", Media::Video, ProfileClass::Table,
     ButtonKind::Select, Variant::Plain},
    {35, 4, "pl_iphone", 2, "iPhone(320×240)MPEG-4 AVC Codec(*.mp4)", Media::Video, ProfileClass::Table,
     ButtonKind::Select, Variant::Plain},
    {36, 4, "pl_iphone", 3, "iPhone(480×320)MPEG-4 Codec(*.mp4)", Media::Video, ProfileClass::Table,
     ButtonKind::Select, Variant::Plain},
    {37, 4, "pl_iphone", 4, "iPhone(480×320)MPEG-4 AVC Codec(*.mp4)", Media::Video, ProfileClass::Table,
     ButtonKind::Select, Variant::Plain},
    {38, 4, "pl_iphone", 5, "iPhone(640×480)MPEG-4 Codec(*.mp4)", Media::Video, ProfileClass::Table,
     ButtonKind::Select, Variant::Plain},
    {39, 4, "pl_iphone", 6, "iPhone(640×480)MPEG-4 AVC Codec(*.mp4)", Media::Video, ProfileClass::Table,
     ButtonKind::Select, Variant::Plain},
    {40, 4, "pl_iphone", 7, "iPhone Audio Format(*.mp3)", Media::Audio, ProfileClass::Table,
     ButtonKind::Select, Variant::Plain},
    {41, 5, "pl_gphone", 1, "GPhone(320×240)MPEG-4 Codec(*.mp4)", Media::Video, ProfileClass::Table,
     ButtonKind::Select, Variant::Plain},
    {42, 5, "pl_gphone", 2, "GPhone(320×240)H.264 Codec(*.mp4)", Media::Video, ProfileClass::Table,
     ButtonKind::Select, Variant::Plain},
    {43, 5, "pl_gphone", 3, "GPhone(640×480)MPEG-4 Codec(*.mp4)", Media::Video, ProfileClass::Table,
     ButtonKind::Select, Variant::Plain},
    {44, 5, "pl_gphone", 4, "GPhone(640×480)H.264 Codec(*.mp4)", Media::Video, ProfileClass::Table,
     ButtonKind::Select, Variant::Plain},
    {45, 5, "pl_gphone", 5, "GPhone Audio Format(*.mp3)", Media::Audio, ProfileClass::Table,
     ButtonKind::Select, Variant::Plain},
    {46, 6, "pl_appletv", 1, "Apple TV MPEG-4 480P(640×480)(*.mp4)", Media::Video, ProfileClass::Table,
     ButtonKind::Select, Variant::Plain},
    {47, 6, "pl_appletv", 2, "Apple TV MPEG-4 720P(1280×720)(*.mp4)", Media::Video, ProfileClass::Table,
     ButtonKind::Select, Variant::Plain},
    {48, 6, "pl_appletv", 3, "Apple TV MPEG-4 (320×240)(*.mp4)", Media::Video, ProfileClass::Table,
     ButtonKind::Select, Variant::Plain},
    {49, 6, "pl_appletv", 4, "Apple TV h264 480P(640×480)(*.mp4)", Media::Video, ProfileClass::Table,
     ButtonKind::Select, Variant::Plain},
    {50, 6, "pl_appletv", 5, "Apple TV h264 720P(1280×720)(*.mp4)", Media::Video, ProfileClass::Table,
     ButtonKind::Select, Variant::Plain},
    {51, 6, "pl_appletv", 6, "Apple TV h264(320×240)(*.mp4)", Media::Video, ProfileClass::Table,
     ButtonKind::Select, Variant::Plain},
    {52, 6, "pl_appletv", 7, nullptr, Media::None, ProfileClass::None, ButtonKind::Foot, Variant::Plain},
    {53, 7, "pl_psp", 1, "PS3 Video(1080P)MPEG-4(*.MP4)", Media::Video, ProfileClass::Table,
     ButtonKind::Select, Variant::Plain},
    {54, 7, "pl_psp", 2, "PS3 Video(720P)MPEG-4(*.MP4)", Media::Video, ProfileClass::Table,
     ButtonKind::Select, Variant::Plain},
    {55, 7, "pl_psp", 3, "PS3 Video(480P)MPEG-4(*.MP4)", Media::Video, ProfileClass::Table,
     ButtonKind::Select, Variant::Plain},
    {56, 7, "pl_psp", 4, "PSP-PSP MPEG-4 Video(*.mp4)", Media::Video, ProfileClass::Table, ButtonKind::Select,
     Variant::Plain},
    {57, 7, "pl_psp", 5, "PSP AVC Video Format(*.mp4)", Media::Video, ProfileClass::Table, ButtonKind::Select,
     Variant::Plain},
    {58, 7, "pl_psp", 6, "PSP Video(480P)MPEG-4(*.mp4)", Media::Video, ProfileClass::Table,
     ButtonKind::Select, Variant::Plain},
    {59, 7, "pl_psp", 7, "PSP Audio Format(*.mp4)", Media::Audio, ProfileClass::Table, ButtonKind::Select,
     Variant::Plain},
    {60, 8, "pl_xbox", 1, "Xbox360 WMV Movie(*.wmv)", Media::Video, ProfileClass::Table, ButtonKind::Select,
     Variant::Plain},
    {61, 8, "pl_xbox", 2, "Xbox360 WMV HDTV Video(*.wmv)", Media::Video, ProfileClass::Table,
     ButtonKind::Select, Variant::Plain},
    {62, 8, "pl_xbox", 3, "Xbox360 MPEG-4 AVC Video(*.mp4)", Media::Video, ProfileClass::Table,
     ButtonKind::Select, Variant::Plain},
    {63, 8, "pl_xbox", 4, "Xbox360 HD MPEG-4 AVC Video(*.mp4)", Media::Video, ProfileClass::Table,
     ButtonKind::Select, Variant::Plain},
    {64, 8, "pl_xbox", 5, "Xbox360 MPEG4 Video(*.mp4)", Media::Video, ProfileClass::Table, ButtonKind::Select,
     Variant::Plain},
    {65, 8, "pl_xbox", 6, "Xbox360 HD MPEG-4 Video(*.mp4)", Media::Video, ProfileClass::Table,
     ButtonKind::Select, Variant::Plain},
    {66, 8, "pl_xbox", 7, "Xbox360 MCE HD MPEG2 Video(*.mpeg)", Media::Video, ProfileClass::Table,
     ButtonKind::Select, Variant::Plain},
    {67, 8, "pl_xbox", 8, nullptr, Media::None, ProfileClass::None, ButtonKind::Foot, Variant::Plain},
    {68, 9, "pl_phone", 1, "3GPP-3rd Generation Partnership Project(*.3gp)", Media::Video,
     ProfileClass::Table, ButtonKind::Select, Variant::Plain},
    {69, 9, "pl_phone", 2, "3GPP2-3rd Generation Partnership Project2(*.3g2)", Media::Video,
     ProfileClass::Table, ButtonKind::Select, Variant::Plain},
    {70, 9, "pl_phone", 3, "BlackBerry 3GP Video(*.3gp)", Media::Video, ProfileClass::Table,
     ButtonKind::Select, Variant::Plain},
    {71, 9, "pl_phone", 4, "BlackBerry AMR Audio(*.amr)", Media::Audio, ProfileClass::Table,
     ButtonKind::Select, Variant::Plain},
    {72, 9, "pl_phone", 5, "BlackBerry AVI Audio(*.avi)", Media::Video, ProfileClass::Table,
     ButtonKind::Select, Variant::Plain},
    {73, 9, "pl_phone", 6, "BlackBerry MPEG-4 Video(*.mp4)", Media::Video, ProfileClass::Table,
     ButtonKind::Select, Variant::Plain},
    {74, 9, "pl_phone", 7, nullptr, Media::None, ProfileClass::None, ButtonKind::Foot, Variant::Plain},
    {75, 10, "pl_win", 1, "Dell Axim X51 Video(*.wmv)", Media::Video, ProfileClass::Table, ButtonKind::Select,
     Variant::Plain},
    {76, 10, "pl_win", 2, "General Pocket PC Video(*.wmv)", Media::Video, ProfileClass::Table,
     ButtonKind::Select, Variant::Plain},
    {77, 10, "pl_win", 3, "HP iPAQ hw6500 series Video(*.wmv)", Media::Video, ProfileClass::Table,
     ButtonKind::Select, Variant::Plain},
    {78, 10, "pl_win", 4, "HP iPAQ hx2000/rx3000/rx1900 series Video(*.wmv)", Media::Video,
     ProfileClass::Table, ButtonKind::Select, Variant::Plain},
    {79, 10, "pl_win", 5, "HP iPAQ hx4700 series Video(*.wmv)", Media::Video, ProfileClass::Table,
     ButtonKind::Select, Variant::Plain},
    {80, 10, "pl_win", 6, "WMA-Windows Media Audio(*.wma)", Media::Audio, ProfileClass::Table,
     ButtonKind::Select, Variant::Plain},
    {81, 10, "pl_win", 7, "WMV-Windows Media Video(*.wmv)", Media::Video, ProfileClass::Table,
     ButtonKind::Select, Variant::Plain},
    {82, 10, "pl_win", 8, nullptr, Media::None, ProfileClass::None, ButtonKind::Foot, Variant::Plain},
    {83, 11, "pl_pmp", 1, "Archos AV500/GMini402 Video(*.avi)", Media::Video, ProfileClass::Table,
     ButtonKind::Select, Variant::Plain},
    {84, 11, "pl_pmp", 2, "Archos AV700 Video(*.avi)", Media::Video, ProfileClass::Table, ButtonKind::Select,
     Variant::Plain},
    {85, 11, "pl_pmp", 3, "Creative Zen Vision Video(*.avi)", Media::Video, ProfileClass::Table,
     ButtonKind::Select, Variant::Plain},
    {86, 11, "pl_pmp", 4, "Zune MPEG-4 AVC Video Format(*.mp4)", Media::Video, ProfileClass::Table,
     ButtonKind::Select, Variant::Plain},
    {87, 11, "pl_pmp", 5, "Zune MPEG-4 Video(*.mp4)", Media::Video, ProfileClass::Table, ButtonKind::Select,
     Variant::Plain},
    {88, 11, "pl_pmp", 6, "Zune WMV-Windows Media Video(*.wmv)", Media::Video, ProfileClass::Table,
     ButtonKind::Select, Variant::Plain},
    {89, 11, "pl_pmp", 7, "iRiver PMP-100 Video(*.avi)", Media::Video, ProfileClass::Table,
     ButtonKind::Select, Variant::Plain},
    {90, 11, "pl_pmp", 8, nullptr, Media::None, ProfileClass::None, ButtonKind::Foot, Variant::Plain},
    {91, 12, "pl_hd", 1, "HD AVI Video(*.avi)", Media::Video, ProfileClass::Table, ButtonKind::Select,
     Variant::Plain},
    {92, 12, "pl_hd", 2, "HD MPEG-4 Video(*.mp4)", Media::Video, ProfileClass::Table, ButtonKind::Select,
     Variant::Plain},
    {93, 12, "pl_hd", 3, "HD MPEG-4 AVC Video(*.mp4)", Media::Video, ProfileClass::Table, ButtonKind::Select,
     Variant::Plain},
    {94, 12, "pl_hd", 4, "HD MOV Video(*.mov)", Media::Video, ProfileClass::Table, ButtonKind::Select,
     Variant::Plain},
    {95, 12, "pl_hd", 5, "HD MPEG-2 TS Video(*.ts)", Media::Video, ProfileClass::Table, ButtonKind::Select,
     Variant::Plain},
    {96, 12, "pl_hd", 6, "HD MPEG2 Video(*.mpg)", Media::Video, ProfileClass::Table, ButtonKind::Select,
     Variant::Plain},
    {97, 12, "pl_hd", 7, "HD WMV Video(*.wmv)", Media::Video, ProfileClass::Table, ButtonKind::Select,
     Variant::Plain},
    {98, 12, "pl_hd", 8, nullptr, Media::None, ProfileClass::None, ButtonKind::None, Variant::Plain},
    {99, 13, "pl_animation", 1, "FLV - Flash Video Format(*.flv)", Media::Video, ProfileClass::Table,
     ButtonKind::Select, Variant::Plain},
    {100, 13, "pl_animation", 2, "SWF - SWF Format(*.swf)", Media::Video, ProfileClass::Table,
     ButtonKind::Select, Variant::Plain},
    {101, 13, "pl_animation", 3, nullptr, Media::None, ProfileClass::None, ButtonKind::None, Variant::Plain},
    {102, 1, "pl_avi", 1, "AVI - H264 Movie(*.avi)", Media::Video, ProfileClass::Computed, ButtonKind::Select,
     Variant::Plain},
    {103, 1, "pl_avi", 2, "AVI - DivX Movie(*.avi)", Media::Video, ProfileClass::Computed, ButtonKind::Select,
     Variant::Plain},
    {104, 1, "pl_avi", 3, "AVI - XviD Movie(*.avi)", Media::Video, ProfileClass::Computed, ButtonKind::Select,
     Variant::Plain},
    {105, 1, "pl_avi", 4, "AVI - MPEG-4 Movie(*.avi)", Media::Video, ProfileClass::Computed,
     ButtonKind::Select, Variant::Plain},
    {106, 1, "pl_avi", 5, "AVI - MSMPEG4 Movie(*.avi)", Media::Video, ProfileClass::Computed,
     ButtonKind::Select, Variant::Plain},
    {107, 1, "pl_avi", 6, "AVI - MPEG Movie(*.avi)", Media::Video, ProfileClass::Computed, ButtonKind::Select,
     Variant::Plain},
    {108, 1, "pl_avi", 7, "AVI - WMV Movie(*.avi)", Media::Video, ProfileClass::Computed, ButtonKind::Select,
     Variant::Plain},
    {109, 1, "pl_avi", 8, nullptr, Media::None, ProfileClass::None, ButtonKind::None, Variant::Plain},
    {110, 1, "pl_mpeg", 1, "MPEG-1 Movie(*.mpg)", Media::Video, ProfileClass::Computed, ButtonKind::Select,
     Variant::Plain},
    {111, 1, "pl_mpeg", 2, "MPEG-2 Movie(*.mpg)", Media::Video, ProfileClass::Computed, ButtonKind::Select,
     Variant::Plain},
    {112, 1, "pl_mpeg", 3, "Video CD - MPEG PS Format(*.mpg)", Media::Video, ProfileClass::Disc,
     ButtonKind::Select, Variant::Vcd},
    {113, 1, "pl_mpeg", 4, "Super Video CD - MPEG2 PS Format(*.mpg)", Media::Video, ProfileClass::Disc,
     ButtonKind::Select, Variant::Svcd},
    {114, 1, "pl_mpeg", 5, "DVD - MPEG2 PS Format(*.vob)", Media::Video, ProfileClass::Disc,
     ButtonKind::Select, Variant::Dvd},
    {115, 1, "pl_mpeg", 6, "HD MPEG-2 Video(*.mpeg)", Media::Video, ProfileClass::Computed,
     ButtonKind::Select, Variant::Plain},
    {116, 1, "pl_mpeg", 7, "HD MPEG-2 TS Video(*.ts)", Media::Video, ProfileClass::Computed,
     ButtonKind::Select, Variant::Plain},
    {117, 1, "pl_mpeg", 8, nullptr, Media::None, ProfileClass::None, ButtonKind::None, Variant::Plain},
    {118, 1, "pl_mp4", 1, "MP4 - MPEG4 Video Mini(*.mp4)", Media::Video, ProfileClass::Computed,
     ButtonKind::Select, Variant::Mini},
    {119, 1, "pl_mp4", 2, "MP4 - MPEG4 Video Normal(*.mp4)", Media::Video, ProfileClass::Computed,
     ButtonKind::Select, Variant::Plain},
    {120, 1, "pl_mp4", 3, "MP4 - MPEG4 Video Excellent(*.mp4)", Media::Video, ProfileClass::Computed,
     ButtonKind::Select, Variant::Excellent},
    {121, 1, "pl_mp4", 4, "MP4 - H.264 Video Mini(*.mp4)", Media::Video, ProfileClass::Computed,
     ButtonKind::Select, Variant::Mini},
    {122, 1, "pl_mp4", 5, "MP4 - H.264 Video Normal(*.mp4)", Media::Video, ProfileClass::Computed,
     ButtonKind::Select, Variant::Plain},
    {123, 1, "pl_mp4", 6, "MP4 - H.264 Video Excellent(*.MP4)", Media::Video, ProfileClass::Computed,
     ButtonKind::Select, Variant::Excellent},
    {124, 1, "pl_mp4", 7, nullptr, Media::None, ProfileClass::None, ButtonKind::None, Variant::Plain},
    {125, 1, "pl_mkv", 1, "MKV - H264 Movie(*.mkv)", Media::Video, ProfileClass::Computed, ButtonKind::Select,
     Variant::Plain},
    {126, 1, "pl_mkv", 2, "MKV - DivX Movie(*.mkv)", Media::Video, ProfileClass::Computed, ButtonKind::Select,
     Variant::Plain},
    {127, 1, "pl_mkv", 4, "MKV - XviD Movie(*.mkv)", Media::Video, ProfileClass::Computed, ButtonKind::Select,
     Variant::Plain},
    {128, 1, "pl_mkv", 3, "MKV - MPEG-4 Movie(*.mkv)", Media::Video, ProfileClass::Computed,
     ButtonKind::Select, Variant::Plain},
    {129, 1, "pl_mkv", 5, "MKV - MSMPEG4 Movie(*.mkv)", Media::Video, ProfileClass::Computed,
     ButtonKind::Select, Variant::Plain},
    {130, 1, "pl_mkv", 6, "MKV - MPEG Movie(*.mkv)", Media::Video, ProfileClass::Computed, ButtonKind::Select,
     Variant::Plain},
    {131, 1, "pl_mkv", 7, "MKV - WMV Movie(*.mkv)", Media::Video, ProfileClass::Computed, ButtonKind::Select,
     Variant::Plain},
    {132, 1, "pl_mkv", 8, nullptr, Media::None, ProfileClass::None, ButtonKind::None, Variant::Plain},
};

}  // namespace

const ProfileRecord* ProfileInfo(int n) {
  if (n < 1 || n > kProfileCount) return nullptr;
  return &kCatalog[n - 1];
}

std::string ExtensionOfName(const std::string& displayName) {
  // Counted in characters, not bytes: several names hold the two-byte "×".
  const QString name = QString::fromUtf8(displayName.data(), static_cast<qsizetype>(displayName.size()));
  const qsizetype star = name.indexOf(QLatin1Char('*'));
  // A name without "*" names no extension; an empty text is safer than a
  // piece of the name.
  if (star < 0) return {};
  const qsizetype count = name.size() - star - 2;
  if (count <= 0) return {};
  return name.mid(star + 1, count).toStdString();
}

int CategoryOf(int n) {
  const ProfileRecord* r = ProfileInfo(n);
  return r ? r->category : 0;
}

ProfileClass ClassOf(int n) {
  const ProfileRecord* r = ProfileInfo(n);
  if (!r) return ProfileClass::None;
  // The foot of a panel belongs to the class of the profiles above it.
  for (int k = n; k >= 1 && std::strcmp(ProfileInfo(k)->panel, r->panel) == 0; --k)
    if (ProfileInfo(k)->cls != ProfileClass::None) return ProfileInfo(k)->cls;
  return ProfileClass::None;
}

Variant VariantOf(int n) {
  const ProfileRecord* r = ProfileInfo(n);
  return r ? r->variant : Variant::Plain;
}

DiscFormat DiscFormatOf(int n) {
  switch (VariantOf(n)) {
    case Variant::Vcd:
      return {"-vcd ", 1393};
    case Variant::Svcd:
      return {"-svcd ", 1948};
    case Variant::Dvd:
      return {"-dvd ", 3222};
    default:
      return {};
  }
}

}  // namespace pcm
