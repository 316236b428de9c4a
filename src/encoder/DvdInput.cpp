#include "DvdInput.h"

#include <cstdio>

namespace adapter {

namespace {

constexpr int kVideoId = 0x1e0;  // the first MPEG video stream
constexpr size_t kSector = 2048;

std::string Seconds(double value) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.3f", value);
  return buf;
}

std::string HexId(int id) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%x", id);
  return buf;
}

bool IsTimeOption(const std::string& a) { return a == "-ss" || a == "-t" || a == "-to"; }

void PutPts(unsigned char* p, uint64_t pts) {
  p[0] = static_cast<unsigned char>(0x21 | ((pts >> 29) & 0x0e));
  p[1] = static_cast<unsigned char>(pts >> 22);
  p[2] = static_cast<unsigned char>(((pts >> 14) & 0xfe) | 1);
  p[3] = static_cast<unsigned char>(pts >> 7);
  p[4] = static_cast<unsigned char>(((pts << 1) & 0xfe) | 1);
}

bool StartCode(const unsigned char* p, unsigned char code) {
  return p[0] == 0 && p[1] == 0 && p[2] == 1 && p[3] == code;
}

}  // namespace

size_t FindDvdInput(const Args& args) {
  for (size_t i = 0; i + 1 < args.size(); ++i)
    if (args[i] == "-i" && pcm::IsDvdInput(args[i + 1])) return i + 1;
  return 0;
}

int FfmpegStreamId(int dvdId) { return dvdId >= 0xc0 && dvdId <= 0xdf ? dvdId + 0x100 : dvdId; }

bool PlanDvd(const Args& in, size_t at, DvdPlan* plan, std::string* error) {
  if (!pcm::DecodeDvdInput(in[at], &plan->form, error)) return false;
  const pcm::DvdInputForm& form = plan->form;
  Args& out = plan->args;
  out.clear();
  Args moved;  // time options given for the input: a pipe is trimmed on the output side
  const bool hasOutput = at + 1 < in.size();
  const size_t end = hasOutput ? in.size() - 1 : in.size();
  for (size_t i = 0; i + 1 < at; ++i) {
    const std::string& a = in[i];
    bool hasValue = i + 2 < at;
    if (IsTimeOption(a) && hasValue) {
      moved.push_back(a);
      moved.push_back(in[++i]);
    } else if ((a == "-f" || a == "-map") && hasValue) {
      ++i;  // the input format is ours to give; maps are replaced
    } else {
      out.push_back(a);
    }
  }
  plan->inputAt = out.size();
  out.insert(out.end(), {"-f", "mpeg", "-i", "pipe:0"});

  bool video = true, audio = form.audioId != 0;
  std::string videoFilter;
  Args rest;
  for (size_t i = at + 1; i < end; ++i) {
    const std::string& a = in[i];
    bool hasValue = i + 1 < end;
    if (a == "-map" && hasValue) {
      ++i;
    } else if ((a == "-vf" || a == "-filter:v") && hasValue && form.subtitleId != 0) {
      videoFilter = in[++i];  // joined to the burning in below
    } else {
      if (a == "-vn") video = false;
      if (a == "-an") audio = false;
      rest.push_back(a);
    }
  }
  const std::string videoStream = "0:i:" + HexId(kVideoId);
  if (video && form.subtitleId != 0) {
    std::string graph = "[" + videoStream + "][0:i:" + HexId(FfmpegStreamId(form.subtitleId)) + "]overlay";
    if (!videoFilter.empty()) graph += "," + videoFilter;
    out.insert(out.end(), {"-filter_complex", graph + "[v]", "-map", "[v]"});
  } else if (video) {
    out.insert(out.end(), {"-map", videoStream});
  }
  if (audio) out.insert(out.end(), {"-map", "0:i:" + HexId(FfmpegStreamId(form.audioId))});
  out.insert(out.end(), rest.begin(), rest.end());
  out.insert(out.end(), moved.begin(), moved.end());
  // The row's own range comes last, so that it is the one that counts.
  if (form.trimBegin > 0) out.insert(out.end(), {"-ss", Seconds(form.trimBegin)});
  if (form.trimEnd > 0) out.insert(out.end(), {"-t", Seconds(form.trimEnd - form.trimBegin)});
  if (hasOutput) out.push_back(in.back());
  return true;
}

std::string LeadInPack(int subtitleId, uint64_t scr, uint64_t pts) {
  std::string pack(kSector, '\0');
  auto* b = reinterpret_cast<unsigned char*>(pack.data());
  scr &= (uint64_t(1) << 33) - 1;
  pts &= (uint64_t(1) << 33) - 1;
  // Pack header, MPEG-2, 10.08 Mbit/s, no stuffing.
  b[2] = 1;
  b[3] = 0xba;
  b[4] = static_cast<unsigned char>(0x44 | ((scr >> 27) & 0x38) | ((scr >> 28) & 0x03));
  b[5] = static_cast<unsigned char>(scr >> 20);
  b[6] = static_cast<unsigned char>(0x04 | ((scr >> 12) & 0xf8) | ((scr >> 13) & 0x03));
  b[7] = static_cast<unsigned char>(scr >> 5);
  b[8] = static_cast<unsigned char>(0x04 | ((scr << 3) & 0xf8));
  b[9] = 0x01;
  b[10] = 0x01;
  b[11] = 0x89;
  b[12] = 0xc3;
  b[13] = 0xf8;
  // Private stream 1: PTS, the subpicture's sub-stream id, and a subpicture
  // unit of 10 bytes whose one control sequence only ends the display.
  static const unsigned char kEmptyUnit[] = {0x00, 0x0a, 0x00, 0x04, 0x00, 0x00, 0x00, 0x04, 0x02, 0xff};
  unsigned char* p = b + 14;
  const size_t payload = 3 + 5 + 1 + sizeof kEmptyUnit;
  p[2] = 1;
  p[3] = 0xbd;
  p[4] = 0;
  p[5] = static_cast<unsigned char>(payload);
  p[6] = 0x81;
  p[7] = 0x80;
  p[8] = 0x05;
  PutPts(p + 9, pts);
  p[14] = static_cast<unsigned char>(subtitleId);
  for (size_t i = 0; i < sizeof kEmptyUnit; ++i) p[15 + i] = kEmptyUnit[i];
  // A padding packet fills the rest of the sector.
  unsigned char* pad = p + 6 + payload;
  size_t padLength = kSector - static_cast<size_t>(pad - b) - 6;
  pad[2] = 1;
  pad[3] = 0xbe;
  pad[4] = static_cast<unsigned char>(padLength >> 8);
  pad[5] = static_cast<unsigned char>(padLength);
  for (size_t i = 0; i < padLength; ++i) pad[6 + i] = 0xff;
  return pack;
}

bool ReadVobuStart(const unsigned char* s, uint64_t* scr, uint64_t* pts) {
  if (!StartCode(s, 0xba) || (s[4] & 0xc0) != 0x40) return false;
  *scr = (uint64_t((s[4] >> 3) & 7) << 30) | (uint64_t(s[4] & 3) << 28) | (uint64_t(s[5]) << 20) |
         (uint64_t((s[6] >> 3) & 0x1f) << 15) | (uint64_t(s[6] & 3) << 13) | (uint64_t(s[7]) << 5) |
         ((s[8] >> 3) & 0x1f);
  size_t p = 14 + (s[13] & 7);
  if (p + 6 > kSector || !StartCode(s + p, 0xbb)) return false;
  p += 6 + ((size_t(s[p + 4]) << 8) | s[p + 5]);
  // The presentation control packet: private stream 2, sub-stream 0; its
  // VOBU start time lies 12 bytes into the data.
  if (p + 7 + 16 > kSector || !StartCode(s + p, 0xbf) || s[p + 6] != 0) return false;
  const unsigned char* pci = s + p + 7;
  *pts = (uint64_t(pci[12]) << 24) | (uint64_t(pci[13]) << 16) | (uint64_t(pci[14]) << 8) | pci[15];
  return true;
}

std::string PaletteFromIfo(const std::string& ifo, int programChain) {
  auto* b = reinterpret_cast<const unsigned char*>(ifo.data());
  const size_t size = ifo.size();
  auto u32 = [&](size_t at) {
    return (uint32_t(b[at]) << 24) | (uint32_t(b[at + 1]) << 16) | (uint32_t(b[at + 2]) << 8) | b[at + 3];
  };
  if (size < 0xd0 || ifo.compare(0, 12, "DVDVIDEO-VTS") != 0 || programChain < 1) return "";
  // The table of program chains starts at the sector named at 0xCC; its
  // entries of 8 bytes from byte 8 hold each chain's offset in the table.
  const uint64_t table = uint64_t(u32(0xcc)) * kSector;
  if (table + 8 > size) return "";
  const int chains = (b[table] << 8) | b[table + 1];
  const uint64_t entry = table + 8 + uint64_t(programChain - 1) * 8;
  if (programChain > chains || entry + 8 > size) return "";
  // The palette: 16 entries of (0, Y, Cr, Cb) at 0xA4 into the chain.
  const uint64_t palette = table + u32(entry + 4) + 0xa4;
  if (palette + 64 > size) return "";
  std::string out;
  for (int i = 0; i < 16; ++i) {
    const unsigned char* e = b + palette + 4 * i;
    double y = 1.164 * (e[1] - 16), cr = e[2] - 128, cb = e[3] - 128;
    auto level = [](double v) { return v < 0 ? 0 : v > 255 ? 255 : static_cast<int>(v + 0.5); };
    char rgb[8];
    std::snprintf(rgb, sizeof rgb, "%02x%02x%02x", level(y + 1.596 * cr), level(y - 0.813 * cr - 0.391 * cb),
                  level(y + 2.018 * cb));
    if (i) out += ",";
    out += rgb;
  }
  return out;
}

}  // namespace adapter
