// Whole runs of a program as a subprocess (fork and exec).
#include "support/runner.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

extern char** environ;

namespace runner {

namespace fs = std::filesystem;

Scratch::Scratch()
{
    std::string pattern = (fs::temp_directory_path() / "wholerun.XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot make a temporary folder");
    path_ = pattern;
}

Scratch::~Scratch()
{
    std::error_code ignored;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(path_, ignored);
}

std::string read_file(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void write_file(const fs::path& file, const std::string& content)
{
    std::ofstream out(file, std::ios::binary);
    out << content;
    out.close();
    if (!out) throw std::runtime_error("cannot write " + file.string());
}

namespace {

// The file a command name stands for: the name itself when it holds a
// slash, else the first executable of that name on PATH, as a shell finds it.
std::string find_program(const std::string& name)
{
    if (name.find('/') != std::string::npos) return name;
    const char* path = std::getenv("PATH");
    std::istringstream folders(path ? path : "/usr/bin:/bin");
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        const std::string candidate = (folder.empty() ? "." : folder) + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return name;  // the exec fails: status 127, as from a shell
}

}  // namespace

Run run_program(const std::vector<std::string>& command, const fs::path& work, const std::string& answers,
                int seconds, bool screen_full)
{
    // The answers and the captured streams live outside the working folder,
    // so that the folder holds only what the program leaves behind.
    Scratch io;
    const std::string in = (io.path() / "stdin").string();
    const std::string out = screen_full ? std::string("/dev/full") : (io.path() / "stdout").string();
    const std::string err = (io.path() / "stderr").string();
    write_file(in, answers);

    // The environment without a display: no run may reach an X server.
    std::vector<char*> env;
    for (char** e = environ; *e; ++e)
        if (std::strncmp(*e, "DISPLAY=", 8) != 0) env.push_back(*e);
    env.push_back(nullptr);
    const std::string dir = work.string();
    const std::string file = find_program(command.at(0));
    std::vector<char*> argv;
    for (const std::string& word : command) argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);

    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        // Only async-signal-safe calls between fork and exec.
        int fd0 = open(in.c_str(), O_RDONLY);
        int fd1 = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);  // /dev/full keeps nothing
        int fd2 = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd0 < 0 || fd1 < 0 || fd2 < 0 || chdir(dir.c_str()) != 0) _exit(126);
        dup2(fd0, 0);
        dup2(fd1, 1);
        dup2(fd2, 2);
        // A program that floods a file fails instead of filling the disc.
        struct rlimit limit {};
        limit.rlim_cur = limit.rlim_max = 400L * 1024 * 1024;
        setrlimit(RLIMIT_FSIZE, &limit);
        execve(file.c_str(), argv.data(), env.data());
        _exit(127);
    }

    Run run;
    int wstatus = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    for (;;) {
        const pid_t done = waitpid(pid, &wstatus, WNOHANG);
        if (done == pid) break;
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &wstatus, 0);
            run.timed_out = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (!run.timed_out && WIFEXITED(wstatus)) run.status = WEXITSTATUS(wstatus);
    if (WIFSIGNALED(wstatus)) run.signal = WTERMSIG(wstatus);
    if (!screen_full) run.out = read_file(out);
    run.err = read_file(err);
    return run;
}

}  // namespace runner
