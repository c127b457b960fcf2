// palvex run as an unprivileged user on a port only root may open: it still
// prints "ComInitial false" and says on standard error why, with the fix.
//
// Needs root (to make the port root-only and to drop to nobody) and setpriv;
// without them it exits 77, which CTest counts as skipped. palvex and its
// module are copied into a fresh folder that everyone may read, because the
// build tree may lie under a folder only its owner can enter; palvex finds
// the module there, beside itself, since nobody has no registration.
#include "platform/unique_fd.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <pwd.h>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#ifndef PALVEX_PROGRAM
#error "PALVEX_PROGRAM must name the palvex executable"
#endif
#ifndef PALVEX_MODULE_PATH
#error "PALVEX_MODULE_PATH must name the built module"
#endif

namespace fs = std::filesystem;

namespace {

constexpr int kSkip = 77;

std::string Setpriv() {
    for (const char* path : {"/usr/bin/setpriv", "/bin/setpriv", "/usr/sbin/setpriv"})
        if (::access(path, X_OK) == 0) return path;
    return {};
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// A folder under /tmp with the given mode, removed with its files.
class CFolder {
  public:
    explicit CFolder(mode_t mode) {
        char path[] = "/tmp/palvex-denied-XXXXXX";
        if (::mkdtemp(path) != nullptr) m_path = path;
        if (!m_path.empty()) ::chmod(m_path.c_str(), mode);
    }
    ~CFolder() {
        std::error_code ignored;
        if (!m_path.empty()) fs::remove_all(m_path, ignored);
    }
    CFolder(const CFolder&) = delete;
    CFolder& operator=(const CFolder&) = delete;
    const std::string& Path() const { return m_path; }

  private:
    std::string m_path;
};

int Fail(const std::string& why) {
    std::fprintf(stderr, "FAIL: %s\n", why.c_str());
    return 1;
}

} // namespace

int main() {
    const std::string setpriv = Setpriv();
    if (::geteuid() != 0 || setpriv.empty() || ::getpwnam("nobody") == nullptr ||
        ::getgrnam("nogroup") == nullptr) {
        std::puts("skipped: needs root, setpriv, the user nobody and the group nogroup");
        return kSkip;
    }

    // The port: a pty whose slave only root may open; the master keeps it.
    palvex::CUniqueFd master(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!master || ::grantpt(master.Get()) != 0 || ::unlockpt(master.Get()) != 0)
        return Fail("no pseudo-terminal");
    const std::string port = ::ptsname(master.Get());
    if (::chown(port.c_str(), 0, 0) != 0 || ::chmod(port.c_str(), 0600) != 0)
        return Fail("cannot make " + port + " root-only: " + std::strerror(errno));

    CFolder programs(0755);
    CFolder home(01777);
    CFolder output(0700);
    if (programs.Path().empty() || home.Path().empty() || output.Path().empty())
        return Fail("no temporary folders");
    const std::string palvex = programs.Path() + "/palvex";
    const std::string module = programs.Path() + "/libpalvex.so.1";
    std::error_code error;
    fs::copy_file(PALVEX_PROGRAM, palvex, error);
    if (!error) fs::copy_file(PALVEX_MODULE_PATH, module, error);
    if (error) return Fail("cannot copy palvex and its module: " + error.message());
    ::chmod(palvex.c_str(), 0755);
    ::chmod(module.c_str(), 0644);

    const std::string outPath = output.Path() + "/out";
    const std::string errPath = output.Path() + "/err";
    palvex::CUniqueFd out(::open(outPath.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
    palvex::CUniqueFd err(::open(errPath.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
    if (!out || !err) return Fail("cannot make the output files");

    std::vector<std::string> args = {setpriv,
                                     "--reuid=nobody",
                                     "--regid=nogroup",
                                     "--clear-groups",
                                     palvex,
                                     "ComInitial",
                                     "3",
                                     "9600",
                                     "800"};
    std::vector<std::string> env = {"PATH=/usr/bin:/bin", "HOME=" + home.Path(),
                                    "XDG_CONFIG_HOME=" + home.Path(), "PALVEX_COM3=" + port};
    std::vector<char*> argv, envp;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out.Get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err.Get(), STDERR_FILENO);
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return Fail("cannot start setpriv: " + std::string(std::strerror(rc)));
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return Fail("palvex did not exit normally");

    const std::string stdoutText = ReadAll(outPath);
    const std::string stderrText = ReadAll(errPath);
    std::printf("stdout: %sstderr: %s", stdoutText.c_str(), stderrText.c_str());
    int faults = 0;
    const auto expect = [&](bool ok, const std::string& what) {
        if (!ok) faults += Fail(what);
    };
    expect(WEXITSTATUS(status) == 1, "exit status " + std::to_string(WEXITSTATUS(status)));
    expect(stdoutText == "ComInitial false\n", "standard output changed");
    for (const std::string& part :
         {"palvex: COM3 open failed: permission denied (EACCES): " + port +
              " is owned by root:root mode 0600",
          std::string("install the udev rule that comes with palvex"),
          std::string("/palvex/udev/60-palvex-serial.rules /etc/udev/rules.d/"),
          std::string("sudo udevadm control --reload && sudo udevadm trigger")})
        expect(stderrText.find(part) != std::string::npos, "standard error lacks: " + part);
    return faults == 0 ? 0 : 1;
}
