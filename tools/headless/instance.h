#pragma once
#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

// Real game instances (blastgrid-headless) and the list server as child
// processes, spoken to over pipes. Every wait has a deadline and a child that
// does not end in time is killed.
namespace bg::multi {

using Clock = std::chrono::steady_clock;
inline constexpr int kCommandMs = 5000;

struct PlayerLine {
  int id = -1;
  int score = 0;
  std::string rgb;
  int left = 0;
  std::string name;
};

// One `dump` of an instance.
struct State {
  bool ok = false;  // a complete dump arrived
  int net = -1, game = -1, width = 0, height = 0, mines = 0;
  long seed = 0;
  std::string board, marks, me, statustext, wintext, console;
  bool winShown = false;
  std::vector<std::string> players;  // raw "player" lines, for exact comparison
  std::vector<PlayerLine> parsed;
  std::vector<std::string> list, plist;

  const PlayerLine* Find(const std::string& name) const;
  std::string MyName() const;  // the name of the record `me` points at
  int Revealed() const;
};

// A child process with its stdin and stdout on pipes; stderr goes to a file.
class Process {
 public:
  Process(const std::vector<std::string>& argv, const std::string& stderrFile);
  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  bool Running() const { return pid_ > 0; }
  pid_t Pid() const { return pid_; }
  bool WriteLine(const std::string& line);
  // The next line of stdout, or false at the deadline or at end of output.
  bool ReadLine(std::string& line, Clock::time_point deadline);
  // Closes stdin and waits up to graceMs for the exit, then asks with SIGTERM
  // and at last kills. Returns the wait status, or -1 when it had to be killed.
  int Stop(int graceMs = 1000);

 private:
  pid_t pid_ = -1;
  int in_ = -1, out_ = -1;
  std::string buf_;
};

class Instance {
 public:
  // Starts blastgrid-headless in dir, after writing config (if any) as its config.ini.
  Instance(std::string label, const std::string& dir, const std::string& config = "");

  const std::string& Label() const { return label_; }
  bool Ready() const { return ready_; }
  // One command, one answer line ("" when none came in time).
  std::string Cmd(const std::string& line, int timeoutMs = kCommandMs);
  // What `dump` prints, or another command that prints the same (`replay FILE`).
  State Dump(int timeoutMs = kCommandMs, const std::string& command = "dump");
  // The lines a command prints up to its END line.
  std::vector<std::string> Lines(const std::string& command, int timeoutMs = kCommandMs);
  std::vector<int> Mines();
  // Ends the program at once, like closing the game.
  void Quit();
  std::string StderrText() const;

 private:
  std::string label_, dir_;
  Process proc_;
  bool ready_ = false;
};

// The list server on 127.0.0.1 with a port the system picks.
class ListServer {
 public:
  explicit ListServer(const std::string& dir);
  int Port() const { return port_; }
  std::string LogText() const;
  Process& Proc() { return proc_; }

 private:
  std::string log_;
  Process proc_;
  int port_ = 0;
};

std::string ReadText(const std::string& file);

}  // namespace bg::multi
