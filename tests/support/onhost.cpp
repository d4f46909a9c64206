// fdk_onhost - runs a program on a test host made by hosts.cpp.
//
//   fdk_onhost HOLDER [--] PROGRAM [ARGS...]
//
// Enters the UTS, network, PID and mount namespaces of the process HOLDER,
// goes back to the directory it was started in, and runs PROGRAM there as
// its child (a new PID namespace takes only children).  SIGTERM, SIGINT,
// SIGHUP, SIGQUIT, SIGUSR1 and SIGUSR2 are passed on to the child; the
// child gets SIGKILL if fdk_onhost dies.  Exit status: the child's (a
// child killed by a signal is reported by dying of the same signal); 125
// when the namespaces cannot be entered, 127 when PROGRAM cannot be run.
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

volatile sig_atomic_t child_pid = 0;
constexpr int kForwarded[] = {SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2};

void forward(int sig) {
    if (child_pid > 0) kill(child_pid, sig);
}

}  // namespace

int main(int argc, char **argv) {
    int first = 2;
    if (argc > 2 && std::strcmp(argv[2], "--") == 0) first = 3;
    char *end = nullptr;
    long holder = argc > 1 ? std::strtol(argv[1], &end, 10) : 0;
    if (argc <= first || holder <= 0 || *end != '\0') {
        std::fprintf(stderr, "usage: fdk_onhost HOLDER [--] PROGRAM [ARGS...]\n");
        return 125;
    }

    char cwd[PATH_MAX];
    const bool have_cwd = getcwd(cwd, sizeof cwd) != nullptr;
    // Every namespace is opened before any is entered: entering the mount
    // namespace changes what /proc is.
    const char *kinds[] = {"uts", "net", "pid", "mnt"};
    int fds[4];
    for (int i = 0; i < 4; ++i) {
        char path[64];
        std::snprintf(path, sizeof path, "/proc/%ld/ns/%s", holder, kinds[i]);
        fds[i] = open(path, O_RDONLY | O_CLOEXEC);
        if (fds[i] < 0) {
            std::fprintf(stderr, "fdk_onhost: %s: %s\n", path, std::strerror(errno));
            return 125;
        }
    }
    for (int i = 0; i < 4; ++i) {
        if (setns(fds[i], 0) != 0) {
            std::fprintf(stderr, "fdk_onhost: entering the %s namespace of %ld: %s\n", kinds[i],
                         holder, std::strerror(errno));
            return 125;
        }
        close(fds[i]);
    }
    if (!have_cwd || chdir(cwd) != 0) (void)!chdir("/");

    // The signals to pass on wait until the child is known.
    sigset_t forwarded, old;
    sigemptyset(&forwarded);
    for (int sig : kForwarded) sigaddset(&forwarded, sig);
    sigprocmask(SIG_BLOCK, &forwarded, &old);
    pid_t child = fork();
    if (child < 0) {
        std::perror("fdk_onhost: fork");
        return 125;
    }
    if (child == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        sigprocmask(SIG_SETMASK, &old, nullptr);
        execvp(argv[first], argv + first);
        std::fprintf(stderr, "fdk_onhost: %s: %s\n", argv[first], std::strerror(errno));
        _exit(127);
    }
    child_pid = child;
    struct sigaction sa {};
    sa.sa_handler = forward;
    sigemptyset(&sa.sa_mask);
    for (int sig : kForwarded) sigaction(sig, &sa, nullptr);
    sigprocmask(SIG_SETMASK, &old, nullptr);

    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) return 125;
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    const int sig = WTERMSIG(status);
    signal(sig, SIG_DFL);
    sigset_t one;
    sigemptyset(&one);
    sigaddset(&one, sig);
    sigprocmask(SIG_UNBLOCK, &one, nullptr);
    kill(getpid(), sig);
    return 128 + sig;
}
