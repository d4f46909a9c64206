#include "process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace fdk::itest {

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string tmpl = std::string(base != nullptr && *base != '\0' ? base : "/tmp") +
                     "/fdk-itest-XXXXXX";
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  if (mkdtemp(buf.data()) != nullptr) path_ = buf.data();
}

TempDir::~TempDir() {
  if (path_.empty()) return;
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

Child::~Child() {
  if (pid_ > 0 && code_ < 0) {
    kill(pid_, SIGKILL);
    reap(0);
  }
}

Child::Child(Child&& o) noexcept
    : pid_(o.pid_), code_(o.code_), out_path_(std::move(o.out_path_)),
      err_path_(std::move(o.err_path_)) {
  o.pid_ = 0;
}

Child& Child::operator=(Child&& o) noexcept {
  if (this != &o) {
    if (pid_ > 0 && code_ < 0) {
      kill(pid_, SIGKILL);
      reap(0);
    }
    pid_ = o.pid_;
    code_ = o.code_;
    out_path_ = std::move(o.out_path_);
    err_path_ = std::move(o.err_path_);
    o.pid_ = 0;
  }
  return *this;
}

Child Child::start(const std::vector<std::string>& argv, const std::string& dir,
                   const std::string& tag) {
  Child c;
  c.out_path_ = dir + "/" + tag + ".out";
  c.err_path_ = dir + "/" + tag + ".err";
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 1, c.out_path_.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&fa, 2, c.err_path_.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawn(&pid, args[0], &fa, nullptr, args.data(), environ) == 0) c.pid_ = pid;
  posix_spawn_file_actions_destroy(&fa);
  return c;
}

void Child::reap(int options) {
  if (pid_ <= 0 || code_ >= 0) return;
  int status = 0;
  pid_t r;
  do {
    r = waitpid(pid_, &status, options);
  } while (r < 0 && errno == EINTR);
  if (r == pid_) {
    code_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  } else if (r < 0) {
    code_ = 255;  // not our child any more: nothing left to wait for
  }
}

bool Child::running() {
  reap(WNOHANG);
  return pid_ > 0 && code_ < 0;
}

bool Child::wait(int ms) {
  return wait_until([this] { return !running(); }, ms, 10);
}

void Child::signal(int sig) {
  if (running()) kill(pid_, sig);
}

void Child::stop(int ms) {
  if (!running()) return;
  kill(pid_, SIGTERM);
  if (!wait(ms)) {
    kill(pid_, SIGKILL);
    reap(0);
  }
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string Child::out() const { return read_file(out_path_); }
std::string Child::err() const { return read_file(err_path_); }

bool Child::wait_for_output(const std::string& text, int ms) {
  return wait_until([&] { return out().find(text) != std::string::npos; }, ms);
}

bool wait_until(const std::function<bool()>& pred, int ms, int step_ms) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    if (pred()) return true;
    if (std::chrono::steady_clock::now() >= end) return pred();
    std::this_thread::sleep_for(std::chrono::milliseconds(step_ms));
  }
}

bool wait_for_socket(const std::string& path, int ms) {
  return wait_until(
      [&] {
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        if (path.size() >= sizeof addr.sun_path) return false;
        std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
        int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) return false;
        bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
        close(fd);
        return ok;
      },
      ms);
}

}  // namespace fdk::itest
