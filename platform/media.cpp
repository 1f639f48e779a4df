#include "platform/media.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/files.h"
#include "platform/say.h"

namespace platform {
namespace {

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Splits a command into words; a double-quoted part is one word without its quotes.
bool tokenize(const std::string& s, std::vector<std::string>& out) {
  size_t i = 0;
  while (i < s.size()) {
    if (std::isspace(static_cast<unsigned char>(s[i]))) {
      ++i;
      continue;
    }
    std::string word;
    if (s[i] == '"') {
      size_t end = s.find('"', i + 1);
      if (end == std::string::npos) return false;
      word = s.substr(i + 1, end - i - 1);
      i = end + 1;
      if (i < s.size() && !std::isspace(static_cast<unsigned char>(s[i]))) return false;
    } else {
      while (i < s.size() && !std::isspace(static_cast<unsigned char>(s[i]))) {
        if (s[i] == '"') return false;
        word += s[i++];
      }
    }
    out.push_back(std::move(word));
  }
  return true;
}

bool isSequencerFile(const std::string& path) {
  std::string p = lower(path);
  auto ends = [&](const char* ext) {
    size_t n = std::strlen(ext);
    return p.size() >= n && p.compare(p.size() - n, n, ext) == 0;
  };
  return ends(".mid") || ends(".midi") || ends(".rmi");
}

// With MOROFIN_MEDIA_LOG set, every request goes to that file with the monotonic clock's time in
// microseconds, so a recording of what was heard can be set against when it was asked for.
void timestamp(const char* kind, const std::string& text) {
  static FILE* log = [] {
    const char* path = std::getenv("MOROFIN_MEDIA_LOG");
    return path ? std::fopen(path, "a") : nullptr;
  }();
  if (!log) return;
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  std::fprintf(
      log, "%lld %s %s\n",
      static_cast<long long>(std::chrono::duration_cast<std::chrono::microseconds>(now).count()),
      kind, text.c_str());
  std::fflush(log);
}

}  // namespace

bool Media::isOpen(const std::string& alias) const {
  return devices_.count(lower(alias)) != 0;
}

uint32_t Media::sendString(const char* command, char* reply, unsigned replyLength, intptr_t) {
  if (reply && replyLength > 0) reply[0] = '\0';
  std::string text = command ? command : "";
  timestamp("command", text);
  std::string answer;
  uint32_t rc;
  try {
    rc = execute(text, answer);
  } catch (...) {
    rc = mcierr::kCannotOpen;
  }
  if (rc == mcierr::kOk && reply && replyLength > 0) {
    size_t n = std::min<size_t>(answer.size(), replyLength - 1);
    std::memcpy(reply, answer.data(), n);
    reply[n] = '\0';
  }
  if (log_) log_->push_back({MediaEvent::kCommand, text, rc});
  return rc;
}

uint32_t Media::execute(const std::string& command, std::string& reply) {
  std::vector<std::string> w;
  if (!tokenize(command, w)) return mcierr::kMalformed;
  if (w.empty()) return mcierr::kUnknownCommand;
  const std::string verb = lower(w[0]);
  if (verb == "open") {
    if (w.size() < 2) return mcierr::kMissingParameter;
    std::string path = w[1], alias = w[1], type;
    for (size_t i = 2; i < w.size(); ++i) {
      std::string k = lower(w[i]);
      if ((k == "alias" || k == "type") && i + 1 < w.size()) {
        (k == "alias" ? alias : type) = w[++i];
      } else if (k == "wait" || k == "shareable") {
      } else {
        return mcierr::kBadParameter;
      }
    }
    const std::string key = lower(alias);
    if (devices_.count(key)) return mcierr::kAliasInUse;
    if (type.empty() ? !isSequencerFile(path) : lower(type) != "sequencer")
      return mcierr::kUnknownType;
    const std::string native = nativePath(path);
    if (!isFile(native)) {
      complain(native, "no such file");
      return mcierr::kFileNotFound;
    }
    std::string why;
    auto dev = backend_.openSequencer(native, why);
    if (!dev) {
      complain(native, why);
      return mcierr::kCannotOpen;
    }
    devices_[key] = std::move(dev);
    return mcierr::kOk;
  }
  if (verb != "play" && verb != "pause" && verb != "stop" && verb != "close" && verb != "seek" &&
      verb != "status" && verb != "resume")
    return mcierr::kUnknownCommand;
  if (w.size() < 2) return mcierr::kMissingParameter;
  auto it = devices_.find(lower(w[1]));
  if (it == devices_.end()) return mcierr::kUnknownDevice;
  MidiDevice& dev = *it->second;
  std::vector<std::string> rest;
  for (size_t i = 2; i < w.size(); ++i) {
    std::string k = lower(w[i]);
    if (k != "wait") rest.push_back(k);
  }
  if (verb == "seek") {
    if (rest.size() != 2 || rest[0] != "to" || rest[1] != "start") return mcierr::kBadParameter;
    dev.seekToStart();
    return mcierr::kOk;
  }
  if (verb == "status") {
    if (rest.size() != 1 || rest[0] != "mode") return mcierr::kBadParameter;
    reply = dev.mode();
    return mcierr::kOk;
  }
  if (!rest.empty()) return mcierr::kBadParameter;
  if (verb == "play" || verb == "resume") {
    dev.play();
  } else if (verb == "pause") {
    dev.pause();
  } else if (verb == "stop") {
    dev.stop();
  } else {  // close
    dev.stop();
    devices_.erase(it);
  }
  return mcierr::kOk;
}

void Media::complain(const std::string& path, const std::string& why) {
  if (backend_.silent() || !complained_.insert(path).second) return;
  platform::sayProblem("cannot play %s (%s); the game goes on without it", path.c_str(),
                       why.c_str());
}

bool Media::playSound(const char* path, unsigned) {
  std::string p = path ? path : "";
  timestamp("wave", p);
  bool ok = false;
  try {
    ok = !p.empty() && backend_.playWave(nativePath(p));
  } catch (...) {
    ok = false;
  }
  if (!ok && !p.empty()) {
    const std::string native = nativePath(p);
    complain(native,
             exists(followLinks(native)) ? "not a wave file it can play" : "no such file");
  }
  if (log_) log_->push_back({MediaEvent::kWave, p, ok ? 1u : 0u});
  return ok;
}

}  // namespace platform
