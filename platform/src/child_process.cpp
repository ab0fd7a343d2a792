#include "platform/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <cstring>
#include <set>

extern char** environ;

namespace kestrune::platform {

namespace {

using Clock = std::chrono::steady_clock;

struct Fd {
  int fd = -1;
  Fd() = default;
  explicit Fd(int f) : fd(f) {}
  ~Fd() { Close(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  void Close() {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
};

// Splits what a stream of the program writes into lines for the caller,
// within the limits.
class LineSplitter {
 public:
  LineSplitter(bool error, const ProgramRequest& request, std::size_t& total)
      : error_(error), request_(request), total_(total) {}

  void Take(const char* bytes, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
      if (total_ >= kMaxOutput) return;
      ++total_;
      if (bytes[i] == '\n') {
        Flush();
        continue;
      }
      line_ += bytes[i];
      if (line_.size() >= kMaxOutputLine) Flush();
    }
  }
  void Flush() {
    if (!line_.empty() && line_.back() == '\r') line_.pop_back();
    if (request_.output) request_.output(error_, line_);
    line_.clear();
  }
  void End() {
    if (!line_.empty()) Flush();
  }

 private:
  const bool error_;
  const ProgramRequest& request_;
  std::size_t& total_;
  std::string line_;
};

int MsLeft(Clock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  if (left <= 0) return 0;
  return left > INT_MAX ? INT_MAX : static_cast<int>(left);
}

// The inherited environment, less the names the request sets, then those.
std::vector<std::string> Environment(const ProgramRequest& request) {
  std::set<std::string> names;
  for (const auto& [name, value] : request.environment) names.insert(name);
  std::vector<std::string> out;
  for (char** e = environ; e != nullptr && *e != nullptr; ++e) {
    const std::string entry = *e;
    if (names.count(entry.substr(0, entry.find('='))) == 0) out.push_back(entry);
  }
  for (const auto& [name, value] : request.environment) out.push_back(name + "=" + value);
  return out;
}

}  // namespace

ProgramResult RunProgram(const ProgramRequest& request, const std::shared_ptr<StopSignal>& stop) {
  using Kind = ProgramResult::Kind;
  if (stop && stop->Raised()) return {Kind::Stopped, 0};
  // Standard input is a socket, so that writing to a program that does not
  // read it fails with EPIPE instead of raising SIGPIPE in this process.
  int inputPair[2];
  int outPipe[2];
  int errPipe[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, inputPair) != 0)
    return {Kind::NotStarted, errno};
  Fd inChild(inputPair[0]);
  Fd inParent(inputPair[1]);
  if (::pipe2(outPipe, O_CLOEXEC) != 0) return {Kind::NotStarted, errno};
  Fd outParent(outPipe[0]);
  Fd outChild(outPipe[1]);
  if (::pipe2(errPipe, O_CLOEXEC) != 0) return {Kind::NotStarted, errno};
  Fd errParent(errPipe[0]);
  Fd errChild(errPipe[1]);
  for (const int fd : {inParent.fd, outParent.fd, errParent.fd})
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, inChild.fd, 0);
  posix_spawn_file_actions_adddup2(&actions, outChild.fd, 1);
  posix_spawn_file_actions_adddup2(&actions, errChild.fd, 2);
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none;
  sigemptyset(&none);
  sigset_t all;
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawnattr_setflags(&attributes,
                           POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  std::string path = request.path;
  std::vector<std::string> environment = Environment(request);
  std::vector<char*> envp;
  for (std::string& e : environment) envp.push_back(e.data());
  envp.push_back(nullptr);
  char* argv[] = {path.data(), nullptr};
  pid_t pid = -1;
  const int spawned = ::posix_spawn(&pid, path.c_str(), &actions, &attributes, argv, envp.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (spawned != 0) return {Kind::NotStarted, spawned};
  inChild.Close();
  outChild.Close();
  errChild.Close();

  // Readable once the program has ended; without it (an old kernel) the
  // wait looks at the program every 50 ms.
  Fd exited(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
  const auto deadline = Clock::now() + request.timeLimit;
  std::size_t total = 0;
  LineSplitter outLines(false, request, total);
  LineSplitter errLines(true, request, total);
  std::size_t written = 0;
  if (request.input.empty()) inParent.Close();
  bool ended = false;
  Kind kind = Kind::Exited;
  const int stopFd = stop ? stop->Fd() : -1;

  auto drain = [&](Fd& fd, LineSplitter& lines) {
    std::array<char, 4096> chunk{};
    for (;;) {
      const ssize_t n = ::read(fd.fd, chunk.data(), chunk.size());
      if (n > 0) {
        lines.Take(chunk.data(), static_cast<std::size_t>(n));
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) fd.Close();
      return;
    }
  };

  while (!ended) {
    std::array<pollfd, 5> watched{};
    std::size_t count = 0;
    auto watch = [&](int fd, short events) {
      if (fd >= 0) watched[count++] = {fd, events, 0};
    };
    watch(exited.fd, POLLIN);
    watch(stopFd, POLLIN);
    watch(outParent.fd, POLLIN);
    watch(errParent.fd, POLLIN);
    watch(inParent.fd, POLLOUT);
    const int ms = exited.fd >= 0 ? MsLeft(deadline) : std::min(MsLeft(deadline), 50);
    const int n = ::poll(watched.data(), count, ms);
    if (n < 0 && errno != EINTR) break;
    if (stop && stop->Raised()) {
      kind = Kind::Stopped;
      break;
    }
    for (std::size_t i = 0; i < count; ++i) {
      const pollfd& p = watched[i];
      if (p.revents == 0) continue;
      if (p.fd == outParent.fd) drain(outParent, outLines);
      if (p.fd == errParent.fd) drain(errParent, errLines);
      if (p.fd == inParent.fd) {
        const ssize_t w = ::send(inParent.fd, request.input.data() + written,
                                 request.input.size() - written, MSG_NOSIGNAL);
        if (w > 0) written += static_cast<std::size_t>(w);
        // A program that does not read its input is no failure of it.
        if ((w < 0 && errno != EAGAIN && errno != EINTR) || written == request.input.size())
          inParent.Close();
      }
      if (p.fd == exited.fd) ended = true;
    }
    if (exited.fd < 0) {
      int status = 0;
      const pid_t done = ::waitpid(pid, &status, WNOHANG);
      if (done == pid) {
        if (outParent.fd >= 0) drain(outParent, outLines);
        if (errParent.fd >= 0) drain(errParent, errLines);
        outLines.End();
        errLines.End();
        if (WIFSIGNALED(status)) return {Kind::Signaled, WTERMSIG(status)};
        return {Kind::Exited, WEXITSTATUS(status)};
      }
    }
    if (!ended && Clock::now() >= deadline) {
      kind = Kind::TimedOut;
      break;
    }
  }
  if (!ended) {
    // The program and whatever it started; then it is reaped at once.
    ::kill(-pid, SIGKILL);
    ::kill(pid, SIGKILL);
  } else {
    // What it wrote just before it ended; what it left running keeps its
    // end of the pipes, so only what is there now is taken.
    if (outParent.fd >= 0) drain(outParent, outLines);
    if (errParent.fd >= 0) drain(errParent, errLines);
  }
  outLines.End();
  errLines.End();
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (!ended) return {kind, 0};
  if (WIFSIGNALED(status)) return {Kind::Signaled, WTERMSIG(status)};
  return {Kind::Exited, WEXITSTATUS(status)};
}

}  // namespace kestrune::platform
