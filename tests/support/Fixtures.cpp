#include "support/Fixtures.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QThread>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <vector>

#include "engine/EventPump.h"

namespace pcmtest {

std::string BinDir() { return POPCLIPMILL_BIN_DIR; }

static QTemporaryDir& Root() {
  static QTemporaryDir dir(QDir::tempPath() + "/popclipmill-test-XXXXXX");
  return dir;
}

std::string MakeTempDir(const std::string& tag) {
  static int counter = 0;
  QString path = Root().path() + "/" + QString::fromStdString(tag) + "-" + QString::number(++counter);
  QDir().mkpath(path);
  return path.toStdString();
}

std::string ShellQuote(const std::string& text) {
  std::string q = "'";
  for (char c : text) {
    if (c == '\'')
      q += "'\\''";
    else
      q += c;
  }
  return q + "'";
}

int RunShell(const std::string& command, std::string* output) {
  FILE* p = popen(command.c_str(), "r");
  if (!p) return -1;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0)
    if (output) output->append(buf, n);
  int status = pclose(p);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string MakeMedia(const std::string& kind, int seconds) {
  static std::map<std::string, std::string> cache;
  std::string key = kind + "/" + std::to_string(seconds);
  if (auto it = cache.find(key); it != cache.end()) return it->second;
  static std::string dir = MakeTempDir("media");
  std::string secs = std::to_string(seconds);
  std::string out = dir + "/clip" + secs + "." + kind;
  std::string tone = "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=" + secs;
  std::string video = "-f lavfi -i testsrc=size=320x240:rate=25:duration=" + secs;
  std::string cmd;
  if (kind == "mp3")
    cmd = tone + " -ac 2 -c:a libmp3lame -b:a 128k";
  else if (kind == "wav")
    cmd = tone + " -ac 2 -c:a pcm_s16le";
  else if (kind == "ogg")
    cmd = tone + " -ac 2 -c:a libvorbis";
  else if (kind == "m4a")
    cmd = tone + " -ac 2 -c:a aac -b:a 128k";
  else if (kind == "avi")
    cmd = video + " " + tone + " -c:v mpeg4 -b:v 400k -c:a libmp3lame -b:a 128k -ac 2";
  else if (kind == "mp4")
    cmd = video + " " + tone + " -c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac -b:a 128k -ac 2";
  else if (kind == "mpg")
    cmd = video + " " + tone + " -c:v mpeg2video -b:v 800k -c:a mp2 -b:a 192k -ac 2";
  if (kind == "txt.mp3") {
    RunShell("echo 'this is not audio' > " + ShellQuote(out));
  } else {
    RunShell("ffmpeg -nostdin -hide_banner -loglevel error -y " + cmd + " " + ShellQuote(out));
  }
  cache[key] = out;
  return out;
}

ProbeInfo FfprobeFile(const std::string& path) {
  ProbeInfo info;
  std::string out;
  if (RunShell("ffprobe -v error -print_format json -show_format -show_streams " + ShellQuote(path) +
                   " 2>/dev/null",
               &out) != 0)
    return info;
  auto doc = QJsonDocument::fromJson(QByteArray::fromStdString(out));
  auto format = doc.object().value("format").toObject();
  info.ok = !format.isEmpty();
  info.formatName = format.value("format_name").toString().toStdString();
  info.duration = format.value("duration").toString().toDouble();
  for (auto v : doc.object().value("streams").toArray()) {
    auto s = v.toObject();
    auto type = s.value("codec_type").toString();
    if (type == "video") {
      // Cover art in audio files counts as a picture, not as video.
      if (s.value("disposition").toObject().value("attached_pic").toInt() == 1) continue;
      if (++info.videoStreams == 1) {
        info.width = s.value("width").toInt();
        info.height = s.value("height").toInt();
        info.videoCodec = s.value("codec_name").toString().toStdString();
      }
    } else if (type == "audio") {
      if (++info.audioStreams == 1) {
        info.audioCodec = s.value("codec_name").toString().toStdString();
        info.sampleRate = s.value("sample_rate").toString().toInt();
        info.channels = s.value("channels").toInt();
      }
    }
  }
  return info;
}

std::string MakeProgramDir(const std::string& tag, const std::string& fakeEncoderScript,
                           const std::string& programName) {
  std::string dir = MakeTempDir(tag);
  QDir bin(QString::fromStdString(BinDir()));
  for (const QString& name : bin.entryList(QDir::Files)) {
    if (name.endsWith(".pop") || name.endsWith(".info") || name.endsWith(".skn") || name.endsWith(".dat") ||
        name.endsWith(".html")) {
      if (name == "register.dat") continue;
      QFile::copy(bin.filePath(name), QString::fromStdString(dir) + "/" + name);
    }
  }
  if (bin.exists("images")) QFile::link(bin.filePath("images"), QString::fromStdString(dir) + "/images");
  std::string encoder = dir + "/register.dat";
  if (fakeEncoderScript.empty()) {
    QFile::link(bin.filePath("register.dat"), QString::fromStdString(encoder));
  } else {
    QFile f(QString::fromStdString(encoder));
    f.open(QIODevice::WriteOnly);
    f.write(QByteArray::fromStdString("#!/bin/sh\n" + fakeEncoderScript + "\n"));
    f.close();
    f.setPermissions(f.permissions() | QFileDevice::ExeOwner | QFileDevice::ExeUser);
  }
  return dir + "/" + programName;
}

bool WaitUntil(const std::function<bool()>& pred, int timeoutMs) {
  return pcm::PumpEventsUntil(pred, timeoutMs);
}

std::vector<std::string> ProcessesMentioning(const std::string& part) {
  std::vector<std::string> found;
  for (const QString& pid : QDir("/proc").entryList(QDir::Dirs)) {
    if (pid.toInt() <= 0 || pid.toInt() == getpid()) continue;
    // A process that ends while it is read fails the read (ESRCH): it is
    // gone, so it mentions nothing.
    std::string cmd;
    try {
      std::ifstream in("/proc/" + pid.toStdString() + "/cmdline", std::ios::binary);
      cmd.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } catch (const std::exception&) {
      continue;
    }
    if (cmd.find(part) != std::string::npos) found.push_back(pid.toStdString() + ": " + cmd);
  }
  return found;
}

double RawCrossingsPerSecond(const std::string& rawPath, int rate) {
  std::ifstream in(rawPath, std::ios::binary);
  std::vector<int16_t> samples;
  int16_t s;
  while (in.read(reinterpret_cast<char*>(&s), sizeof s)) samples.push_back(s);
  int crossings = 0;
  for (size_t i = 1; i < samples.size(); ++i) crossings += (samples[i - 1] < 0) != (samples[i] < 0);
  return samples.empty() ? 0 : crossings * double(rate) / double(samples.size());
}

int LandlockAbi() {
  // landlock_create_ruleset(NULL, 0, LANDLOCK_CREATE_RULESET_VERSION)
  long abi = syscall(444, nullptr, 0, 1U);
  return abi > 0 ? int(abi) : 0;
}

LocalListener::LocalListener() {
  fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof at;
  if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 || listen(fd_, 8) != 0 ||
      getsockname(fd_, reinterpret_cast<sockaddr*>(&at), &size) != 0)
    return;
  port_ = ntohs(at.sin_port);
}

LocalListener::~LocalListener() {
  if (fd_ >= 0) close(fd_);
}

bool LocalListener::Connected() const {
  int accepted = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
  if (accepted < 0) return false;
  close(accepted);
  return true;
}

}  // namespace pcmtest
