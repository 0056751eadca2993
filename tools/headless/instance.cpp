#include "tools/headless/instance.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

extern char** environ;

namespace bg::multi {

namespace {

int MsLeft(Clock::time_point deadline) {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return int(std::clamp<long long>(ms, 0, 60000));
}

// Undoes the driver's escaping of text fields.
std::string Unescape(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\' || i + 1 == s.size()) {
      out.push_back(s[i]);
      continue;
    }
    const char c = s[++i];
    if (c == 'n') {
      out.push_back('\n');
    } else if (c == 'r') {
      out.push_back('\r');
    } else if (c == 'x' && i + 2 < s.size()) {
      out.push_back(char(std::stoi(s.substr(i + 1, 2), nullptr, 16)));
      i += 2;
    } else {
      out.push_back(c);
    }
  }
  return out;
}

std::vector<std::string> SplitRows(const std::string& s) {
  std::vector<std::string> rows;
  if (s.empty()) return rows;
  std::stringstream in(s);
  for (std::string row; std::getline(in, row, '|');) rows.push_back(Unescape(row));
  return rows;
}

}  // namespace

std::string ReadText(const std::string& file) {
  std::ifstream f(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

const PlayerLine* State::Find(const std::string& name) const {
  for (const PlayerLine& p : parsed)
    if (p.name == name) return &p;
  return nullptr;
}

std::string State::MyName() const {
  for (const PlayerLine& p : parsed)
    if (std::to_string(p.id) == me) return p.name;
  return "";
}

int State::Revealed() const {
  return int(std::count_if(board.begin(), board.end(), [](char c) { return c != '.' && c != 'F'; }));
}

Process::Process(const std::vector<std::string>& argv, const std::string& stderrFile) {
  int in[2], out[2];
  if (pipe2(in, O_CLOEXEC) != 0) return;
  if (pipe2(out, O_CLOEXEC) != 0) {
    close(in[0]);
    close(in[1]);
    return;
  }
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, in[0], 0);
  posix_spawn_file_actions_adddup2(&fa, out[1], 1);
  posix_spawn_file_actions_addopen(&fa, 2, stderrFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawn(&pid, args[0], &fa, nullptr, args.data(), environ) == 0) pid_ = pid;
  posix_spawn_file_actions_destroy(&fa);
  close(in[0]);
  close(out[1]);
  in_ = in[1];
  out_ = out[0];
}

Process::~Process() { Stop(0); }

bool Process::WriteLine(const std::string& line) {
  if (in_ < 0) return false;
  const std::string data = line + "\n";
  for (size_t done = 0; done < data.size();) {
    const ssize_t n = write(in_, data.data() + done, data.size() - done);
    if (n <= 0) return false;  // the child is gone (SIGPIPE is ignored)
    done += size_t(n);
  }
  return true;
}

bool Process::ReadLine(std::string& line, Clock::time_point deadline) {
  for (;;) {
    if (const size_t nl = buf_.find('\n'); nl != std::string::npos) {
      line = buf_.substr(0, nl);
      buf_.erase(0, nl + 1);
      return true;
    }
    if (out_ < 0) return false;
    pollfd p{out_, POLLIN, 0};
    const int r = poll(&p, 1, MsLeft(deadline));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    char chunk[8192];
    const ssize_t n = read(out_, chunk, sizeof chunk);
    if (n <= 0) {
      close(out_);
      out_ = -1;
      return false;
    }
    buf_.append(chunk, size_t(n));
  }
}

int Process::Stop(int graceMs) {
  if (in_ >= 0) close(in_);
  in_ = -1;
  int status = -1;
  if (pid_ > 0) {
    auto waitFor = [&](int ms) {
      const auto end = Clock::now() + std::chrono::milliseconds(ms);
      do {
        if (waitpid(pid_, &status, WNOHANG) == pid_) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      } while (Clock::now() < end);
      return false;
    };
    if (!waitFor(graceMs)) {
      kill(pid_, SIGTERM);
      if (!waitFor(500)) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
        status = -1;
      }
    }
    pid_ = -1;
  }
  if (out_ >= 0) close(out_);
  out_ = -1;
  return status;
}

static std::string WriteConfig(const std::string& dir, const std::string& config) {
  mkdir(dir.c_str(), 0700);
  if (!config.empty()) std::ofstream(dir + "/config.ini", std::ios::binary) << config;
  return dir;
}

Instance::Instance(std::string label, const std::string& dir, const std::string& config)
    : label_(std::move(label)),
      dir_(WriteConfig(dir, config)),
      proc_({BG_HEADLESS_PATH, dir_}, dir_ + "/stderr.log") {
  std::string first;
  ready_ = proc_.ReadLine(first, Clock::now() + std::chrono::milliseconds(kCommandMs)) && first == "READY";
}

std::string Instance::Cmd(const std::string& line, int timeoutMs) {
  std::string answer;
  if (!proc_.WriteLine(line) || !proc_.ReadLine(answer, Clock::now() + std::chrono::milliseconds(timeoutMs)))
    return "";
  return answer;
}

std::vector<std::string> Instance::Lines(const std::string& command, int timeoutMs) {
  std::vector<std::string> out;
  if (!proc_.WriteLine(command)) return out;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (std::string line; proc_.ReadLine(line, deadline) && line != "END";) out.push_back(line);
  return out;
}

State Instance::Dump(int timeoutMs, const std::string& command) {
  State s;
  if (!proc_.WriteLine(command)) return s;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (std::string line; proc_.ReadLine(line, deadline);) {
    if (line == "END") {
      s.ok = true;
      break;
    }
    const size_t sp = line.find(' ');
    const std::string key = line.substr(0, sp), rest = sp == std::string::npos ? "" : line.substr(sp + 1);
    if (key == "status") {
      std::istringstream(rest) >> s.net >> s.game >> s.width >> s.height >> s.mines >> s.seed;
    } else if (key == "board") {
      s.board = rest;
    } else if (key == "marks") {
      s.marks = rest;
    } else if (key == "player") {
      s.players.push_back(rest);
      PlayerLine p;
      std::istringstream in(rest);
      in >> p.id >> p.score >> p.rgb >> p.left;
      std::getline(in >> std::ws, p.name);
      p.name = Unescape(p.name);
      s.parsed.push_back(p);
    } else if (key == "me") {
      s.me = rest;
    } else if (key == "statustext") {
      s.statustext = Unescape(rest);
    } else if (key == "wintext") {
      const size_t bar = rest.rfind(" | ");
      s.wintext = Unescape(rest.substr(0, bar));
      s.winShown = bar != std::string::npos && rest.substr(bar + 3) == "1";
    } else if (key == "list") {
      s.list = SplitRows(rest);
    } else if (key == "plist") {
      s.plist = SplitRows(rest);
    } else if (key == "console") {
      s.console = Unescape(rest);
    }
  }
  return s;
}

std::vector<int> Instance::Mines() {
  std::vector<int> ids;
  const std::string answer = Cmd("mines");
  if (answer.rfind("mines", 0) != 0) return ids;
  std::stringstream in(answer.size() > 6 ? answer.substr(6) : "");
  for (std::string id; std::getline(in, id, ',');) ids.push_back(std::stoi(id));
  return ids;
}

void Instance::Quit() {
  proc_.WriteLine("quit");
  proc_.Stop(2000);
}

std::string Instance::StderrText() const { return ReadText(dir_ + "/stderr.log"); }

ListServer::ListServer(const std::string& dir)
    : log_(dir + "/listserver.log"),
      proc_({BG_LISTSERVER_PATH, "--port", "0", "--bind", "127.0.0.1"}, log_) {
  static const std::regex listening("listening on port ([0-9]+)");
  const auto deadline = Clock::now() + std::chrono::milliseconds(kCommandMs);
  while (port_ == 0 && Clock::now() < deadline) {
    std::smatch m;
    const std::string text = LogText();
    if (std::regex_search(text, m, listening))
      port_ = std::stoi(m[1]);
    else
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

std::string ListServer::LogText() const { return ReadText(log_); }

}  // namespace bg::multi
