#include "ui/RunState.h"

#include <QDir>
#include <QFileInfo>

namespace pcm {

ProgramInfo::ProgramInfo(const std::string& programPath) {
  QFileInfo info(QString::fromStdString(programPath));
  name_ = info.fileName().toStdString();
  QString dir = info.absolutePath();
  if (!dir.endsWith('/')) dir += '/';
  dir_ = dir.toStdString();
  lower_ = QString::fromStdString(name_).toLower().toStdString();
}

// Only a real "." plus three characters counts as an extension: "popclipmill"
// stays whole instead of losing "mill".
std::string ProgramInfo::NameWithoutExtension() const {
  if (name_.size() > 4 && name_[name_.size() - 4] == '.') return name_.substr(0, name_.size() - 4);
  return name_;
}

bool ProgramInfo::DvdMode() const { return lower_.find("dvd") != std::string::npos; }
bool ProgramInfo::Branded() const { return lower_.find("quorv") != std::string::npos; }
bool ProgramInfo::AudioBranded() const {
  return lower_.find("mp3") != std::string::npos || lower_.find("audio") != std::string::npos;
}

}  // namespace pcm
