#include "linux/DecoderProcess.h"

#include "linux/TickPace.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#ifndef VELUNOR_LIBEXECDIR
#define VELUNOR_LIBEXECDIR "/usr/libexec/velunor"
#endif

namespace {

constexpr char kDecoderName[] = "velunor-decode";
constexpr char kInstalledDecoder[] = VELUNOR_LIBEXECDIR "/velunor-decode";
constexpr int kDeadlineMs = 2000;
constexpr int kCpuSeconds = 2;
// The decoder's own libraries and loaders, and what it holds for every
// pixel of the frame: at 1920x1080, 258 MB in all.
constexpr uint64_t kBaseBytes = 192ull << 20;
constexpr uint64_t kBytesPerFramePixel = 32;
// What of the program's environment the decoder keeps: where gdk-pixbuf's
// loaders and the shared data are, the language of their messages, and the
// sanitizers' settings in a build that has them.
const char* const kKept[] = {"GDK_PIXBUF_MODULE_FILE", "GDK_PIXBUF_MODULEDIR", "XDG_DATA_DIRS", "LANG", "LC_ALL",
                             "LC_MESSAGES", "LANGUAGE", "ASAN_OPTIONS", "UBSAN_OPTIONS"};

std::string Seconds(int ms)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g s", ms / 1000.0);
    return text;
}

// What the child does between fork and exec: only calls that are safe there.
struct ChildSetup {
    pid_t parent;
    int picture, report, null, frame;
    const char* folder;
    const char* program;
    char* const* argv;
    char* const* envp;
    rlimit memory, cpu, files, core;
    bool limitMemory;
};

[[noreturn]] void BecomeDecoder(const ChildSetup& s)
{
    // Its own process group, so that whatever it leaves is ended with it;
    // killed with its parent (the thread that forked it: the main one).
    setpgid(0, 0);
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != s.parent)
        _exit(127);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    // Its descriptors: every source moved above the targets first.
    const int from[4] = {fcntl(s.picture, F_DUPFD, 10), fcntl(s.report, F_DUPFD, 10), fcntl(s.null, F_DUPFD, 10),
                         fcntl(s.frame, F_DUPFD, 10)};
    const int to[4] = {decoder_report::kPictureFd, decoder_report::kReportFd, 2, decoder_report::kFrameFd};
    for (int i = 0; i < 4; ++i) {
        if (from[i] < 0 || dup2(from[i], to[i]) < 0)
            _exit(127);
    }
    if (syscall(SYS_close_range, 4u, ~0u, 0u) != 0) {
        for (int fd = 4; fd < 1024; ++fd)
            close(fd);
    }
    if (chdir(s.folder) != 0)
        _exit(127);
    if ((s.limitMemory && setrlimit(RLIMIT_AS, &s.memory) != 0) || setrlimit(RLIMIT_FSIZE, &s.memory) != 0
        || setrlimit(RLIMIT_CPU, &s.cpu) != 0 || setrlimit(RLIMIT_NOFILE, &s.files) != 0
        || setrlimit(RLIMIT_CORE, &s.core) != 0)
        _exit(127);
    prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0);
    execve(s.program, s.argv, s.envp);
    static const char kCannot[] = "refused its decoder cannot be run\n";
    if (write(decoder_report::kReportFd, kCannot, sizeof kCannot - 1) < 0) {
        // Nobody to tell.
    }
    _exit(127);
}

// Removes `name` in `parent`, and all it holds, without following links.
void RemoveTree(int parent, const char* name)
{
    if (unlinkat(parent, name, 0) == 0 || (errno != EISDIR && errno != EPERM))
        return;
    const int fd = openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
        if (DIR* folder = fdopendir(fd)) {
            while (dirent* entry = readdir(folder)) {
                if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
                    RemoveTree(dirfd(folder), entry->d_name);
            }
            closedir(folder);
        } else {
            close(fd);
        }
    }
    unlinkat(parent, name, AT_REMOVEDIR);
}

} // namespace

DecoderLimits DecoderLimitsFor(int width, int height)
{
    DecoderLimits limits;
    limits.memoryBytes = kBaseBytes + kBytesPerFramePixel * static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
    limits.cpuSeconds = kCpuSeconds;
    limits.deadlineMs = kDeadlineMs;
    return limits;
}

std::string DecoderProgram()
{
    char self[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length > 0) {
        std::string beside(self, static_cast<size_t>(length));
        beside.erase(beside.rfind('/') + 1);
        beside += kDecoderName;
        if (access(beside.c_str(), X_OK) == 0 || access(kInstalledDecoder, X_OK) != 0)
            return beside;
    }
    return kInstalledDecoder;
}

bool CDecoderProcess::Start(int pictureFd, int width, int height, const DecoderLimits& limits, std::string& reason)
{
    Kill();
    m_nWidth = width;
    m_nHeight = height;
    m_limits = limits;
    m_bEnded = false;
    m_reader = decoder_report::CReader();
    if (access(m_program.c_str(), X_OK) != 0) {
        reason = "its decoder " + m_program + " cannot be run: " + std::strerror(errno);
        return false;
    }
    const char* temporary = std::getenv("TMPDIR");
    std::string folder = std::string(temporary && *temporary ? temporary : "/tmp") + "/velunor-decode.XXXXXX";
    if (!mkdtemp(&folder[0])) {
        reason = "no folder for its decoder: " + std::string(std::strerror(errno));
        return false;
    }
    m_folder = folder;
    const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
    int report[2] = {-1, -1};
    m_frame = memfd_create("velunor-frame", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    // Sealed at its size: the decoder can neither grow nor shrink it.
    if (m_frame < 0 || ftruncate(m_frame, static_cast<off_t>(bytes)) != 0
        || fcntl(m_frame, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_SEAL) != 0 || null < 0
        || pipe2(report, O_CLOEXEC) != 0) {
        reason = "no memory for its frame: " + std::string(std::strerror(errno));
        if (null >= 0)
            close(null);
        Release();
        return false;
    }

    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    const std::string memory = std::to_string(limits.memoryBytes);
    std::vector<std::string> environment = {"TMPDIR=" + m_folder,
                                            // One arena: each further one reserves 64 MB of
                                            // the address space its limit counts.
                                            "MALLOC_ARENA_MAX=1"};
    for (const char* name : kKept) {
        if (const char* value = std::getenv(name))
            environment.push_back(std::string(name) + "=" + value);
    }
    std::vector<char*> argv = {const_cast<char*>(kDecoderName), const_cast<char*>(size.c_str()),
                               const_cast<char*>(memory.c_str()), nullptr};
    std::vector<char*> envp;
    for (std::string& entry : environment)
        envp.push_back(&entry[0]);
    envp.push_back(nullptr);

    ChildSetup setup = {};
    setup.parent = getpid();
    setup.picture = pictureFd;
    setup.report = report[1];
    setup.null = null;
    setup.frame = m_frame;
    setup.folder = m_folder.c_str();
    setup.program = m_program.c_str();
    setup.argv = argv.data();
    setup.envp = envp.data();
    setup.memory = {limits.memoryBytes, limits.memoryBytes};
    setup.cpu = {static_cast<rlim_t>(limits.cpuSeconds), static_cast<rlim_t>(limits.cpuSeconds) + 1};
    setup.files = {64, 64};
    setup.core = {0, 0};
#if defined(__SANITIZE_ADDRESS__)
    // AddressSanitizer reserves terabytes of address space up front.
    setup.limitMemory = false;
#else
    setup.limitMemory = true;
#endif
    const pid_t child = fork();
    if (child == 0)
        BecomeDecoder(setup);
    const int forkError = errno;
    close(report[1]);
    close(null);
    if (child < 0) {
        close(report[0]);
        reason = "its decoder cannot be started: " + std::string(std::strerror(forkError));
        Release();
        return false;
    }
    m_pid = child;
    m_report = report[0];
    fcntl(m_report, F_SETFL, fcntl(m_report, F_GETFL) | O_NONBLOCK);
    m_nDeadline = MonotonicMs() + limits.deadlineMs;
    return true;
}

bool CDecoderProcess::Read()
{
    while (m_report >= 0 && !m_bEnded) {
        char bytes[512];
        const ssize_t got = read(m_report, bytes, sizeof bytes);
        if (got > 0) {
            m_reader.Add(bytes, static_cast<size_t>(got));
        } else if (got == 0 || (errno != EINTR && errno != EAGAIN)) {
            m_bEnded = true;
        } else if (errno == EAGAIN) {
            break;
        }
    }
    return m_bEnded;
}

std::string CDecoderProcess::EndReason(int status, const rusage& usage) const
{
    if (WIFSIGNALED(status)) {
        const int sig = WTERMSIG(status);
        const long cpu = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec;
        if (sig == SIGXCPU || (sig == SIGKILL && cpu >= m_limits.cpuSeconds))
            return "it takes more than " + std::to_string(m_limits.cpuSeconds) + " s of processor time to decode";
        if (sig == SIGXFSZ)
            return "its decoder's temporary files grew beyond " + std::to_string(m_limits.memoryBytes >> 20) + " MB";
        if (sig == SIGKILL)
            return "its decoder was killed";
        return std::string("its decoder crashed (") + strsignal(sig) + ")";
    }
    if (m_reader.Said() && !m_reader.Picture())
        return m_reader.Reason();
    return "its decoder failed (exit status " + std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1) + ")";
}

bool CDecoderProcess::Finish(DecodedPicture& picture, std::string& reason)
{
    if (m_pid <= 0) {
        reason = "its decoder is not running";
        return false;
    }
    if (!m_bEnded) {
        const bool data = m_reader.Data();
        Kill();
        reason = data ? "it is not decoded within " + Seconds(m_limits.deadlineMs)
                      : "nothing came from it within " + Seconds(m_limits.deadlineMs);
        return false;
    }
    // Its report is closed, so it is ending; whatever of its group is left
    // goes with it.
    kill(-m_pid, SIGKILL);
    int status = 0;
    rusage usage = {};
    while (wait4(m_pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    m_pid = 0;
    bool decoded = false;
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0 && m_reader.Picture()) {
        const size_t count = static_cast<size_t>(m_nWidth) * static_cast<size_t>(m_nHeight);
        void* frame = mmap(nullptr, count * 4, PROT_READ, MAP_SHARED, m_frame, 0);
        if (frame == MAP_FAILED) {
            reason = "its frame cannot be read: " + std::string(std::strerror(errno));
        } else {
            const uint32_t* pixels = static_cast<const uint32_t*>(frame);
            picture.frame.assign(pixels, pixels + count);
            munmap(frame, count * 4);
            picture.width = m_reader.Width();
            picture.height = m_reader.Height();
            picture.incomplete = m_reader.Incomplete();
            decoded = true;
        }
    } else {
        reason = EndReason(status, usage);
    }
    Release();
    return decoded;
}

void CDecoderProcess::Kill()
{
    if (m_pid > 0) {
        kill(-m_pid, SIGKILL);
        kill(m_pid, SIGKILL);
        while (waitpid(m_pid, nullptr, 0) < 0 && errno == EINTR) {
        }
        m_pid = 0;
    }
    Release();
}

void CDecoderProcess::Release()
{
    if (m_report >= 0)
        close(m_report);
    if (m_frame >= 0)
        close(m_frame);
    m_report = m_frame = -1;
    if (!m_folder.empty()) {
        RemoveTree(AT_FDCWD, m_folder.c_str());
        m_folder.clear();
    }
}
