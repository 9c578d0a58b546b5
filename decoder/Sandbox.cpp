#include "decoder/Sandbox.h"

#include <fcntl.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sched.h>
#include <stddef.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <vector>

namespace {

// Landlock, as the kernel's interface has it (newer than some headers).
struct RulesetAttributes {
    uint64_t handledFs;
    uint64_t handledNet;
    uint64_t scoped;
};
struct PathBeneath {
    uint64_t allowed;
    int32_t parentFd;
} __attribute__((packed));
constexpr int kRulePathBeneath = 1;
constexpr uint32_t kAskVersion = 1;
constexpr uint64_t kFsReadFile = 1u << 2;
constexpr uint64_t kFsReadDir = 1u << 3;
constexpr uint64_t kFsWriteFile = 1u << 1;
constexpr uint64_t kFsRemoveDir = 1u << 4;
constexpr uint64_t kFsRemoveFile = 1u << 5;
constexpr uint64_t kFsMakeDir = 1u << 7;
constexpr uint64_t kFsMakeReg = 1u << 8;
constexpr uint64_t kFsAllOfVersion1 = (1u << 13) - 1;
constexpr uint64_t kFsRefer = 1u << 13;    // version 2
constexpr uint64_t kFsTruncate = 1u << 14; // version 3
constexpr uint64_t kFsIoctlDev = 1u << 15; // version 5
constexpr uint64_t kNetBindTcp = 1u << 0;  // version 4
constexpr uint64_t kNetConnectTcp = 1u << 1;
constexpr uint64_t kScopeAbstractUnix = 1u << 0; // version 6
constexpr uint64_t kScopeSignal = 1u << 1;

// Where libraries read what they need: their modules, caches, fonts.
const char* const kReadable[] = {"/usr", "/etc", "/lib", "/lib64", "/lib32", "/opt", "/var/cache/fontconfig"};

void AddRule(int ruleset, const char* path, uint64_t allowed)
{
    const int fd = open(path, O_PATH | O_CLOEXEC | O_DIRECTORY);
    if (fd < 0)
        return;
    PathBeneath rule = {allowed, fd};
    syscall(SYS_landlock_add_rule, ruleset, kRulePathBeneath, &rule, 0);
    close(fd);
}

bool EnterLandlock()
{
    const long version = syscall(SYS_landlock_create_ruleset, nullptr, 0, kAskVersion);
    if (version < 1)
        return false;
    RulesetAttributes attributes = {};
    attributes.handledFs = kFsAllOfVersion1 | (version >= 2 ? kFsRefer : 0) | (version >= 3 ? kFsTruncate : 0)
                           | (version >= 5 ? kFsIoctlDev : 0);
    size_t size = offsetof(RulesetAttributes, handledNet);
    if (version >= 4) {
        attributes.handledNet = kNetBindTcp | kNetConnectTcp;
        size = offsetof(RulesetAttributes, scoped);
    }
    if (version >= 6) {
        attributes.scoped = kScopeAbstractUnix | kScopeSignal;
        size = sizeof attributes;
    }
    const int ruleset = static_cast<int>(syscall(SYS_landlock_create_ruleset, &attributes, size, 0));
    if (ruleset < 0)
        return false;
    for (const char* path : kReadable)
        AddRule(ruleset, path, kFsReadFile | kFsReadDir);
    // The loaders' own folder, where it was moved.
    for (const char* variable : {"GDK_PIXBUF_MODULEDIR", "GDK_PIXBUF_MODULE_FILE"}) {
        if (const char* path = std::getenv(variable)) {
            std::string folder = path;
            if (std::string(variable) == "GDK_PIXBUF_MODULE_FILE")
                folder.erase(folder.rfind('/') == std::string::npos ? 0 : folder.rfind('/'));
            if (!folder.empty())
                AddRule(ruleset, folder.c_str(), kFsReadFile | kFsReadDir);
        }
    }
    // The private folder it runs in: temporary files.
    AddRule(ruleset, ".",
            kFsReadFile | kFsReadDir | kFsWriteFile | kFsRemoveDir | kFsRemoveFile | kFsMakeDir | kFsMakeReg
                | (version >= 3 ? kFsTruncate : 0));
    const bool entered = syscall(SYS_landlock_restrict_self, ruleset, 0) == 0;
    close(ruleset);
    return entered;
}

#if defined(__x86_64__)
constexpr uint32_t kArch = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
constexpr uint32_t kArch = AUDIT_ARCH_AARCH64;
#elif defined(__i386__)
constexpr uint32_t kArch = AUDIT_ARCH_I386;
#else
constexpr uint32_t kArch = 0;
#endif

// Calls refused outright (they fail with EPERM): other programs and
// processes, tracing, the network, the kernel's own state.
const long kRefused[] = {
    SYS_execve, SYS_execveat, SYS_ptrace, SYS_process_vm_readv, SYS_process_vm_writev,
#ifdef SYS_fork
    SYS_fork, SYS_vfork,
#endif
    SYS_socket, SYS_socketpair, SYS_connect, SYS_bind, SYS_listen, SYS_accept, SYS_accept4,
    SYS_mount, SYS_umount2, SYS_pivot_root, SYS_chroot, SYS_unshare, SYS_setns, SYS_keyctl, SYS_add_key,
    SYS_request_key, SYS_bpf, SYS_perf_event_open, SYS_userfaultfd, SYS_io_uring_setup, SYS_io_uring_enter,
    SYS_io_uring_register, SYS_init_module, SYS_finit_module, SYS_delete_module, SYS_kexec_load, SYS_reboot,
    SYS_swapon, SYS_swapoff, SYS_acct, SYS_settimeofday, SYS_clock_settime, SYS_adjtimex, SYS_clock_adjtime,
    SYS_personality, SYS_name_to_handle_at, SYS_open_by_handle_at, SYS_pidfd_open, SYS_pidfd_send_signal,
    SYS_pidfd_getfd, SYS_kcmp, SYS_tkill, SYS_quotactl, SYS_syslog, SYS_fanotify_init, SYS_open_tree,
    SYS_move_mount, SYS_fsopen, SYS_fsmount, SYS_fspick,
#ifdef SYS_setrlimit
    SYS_setrlimit,
#endif
};

constexpr uint32_t kAllow = SECCOMP_RET_ALLOW;
constexpr uint32_t kRefuse = SECCOMP_RET_ERRNO | EPERM;
constexpr uint32_t kMissing = SECCOMP_RET_ERRNO | ENOSYS;

class CFilter {
public:
    void Load(uint32_t offset) { Add(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offset)); }
    void Return(uint32_t action) { Add(BPF_STMT(BPF_RET | BPF_K, action)); }
    // Jumps over the next `skip` instructions when the accumulator is (If),
    // or is not (Unless), `value`.
    void If(uint32_t value, uint8_t skip) { Add(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, value, skip, 0)); }
    void Unless(uint32_t value, uint8_t skip) { Add(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, value, 0, skip)); }
    void Add(const sock_filter& instruction) { m_code.push_back(instruction); }
    bool Install()
    {
        sock_fprog program = {static_cast<unsigned short>(m_code.size()), m_code.data()};
        return prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
    }

private:
    std::vector<sock_filter> m_code;
};

constexpr uint32_t kNumber = offsetof(seccomp_data, nr);

// The halves of argument `n` (little-endian); the low one is enough for a
// pid, a flag word or a request number.
constexpr uint32_t Low(int n)
{
    return static_cast<uint32_t>(offsetof(seccomp_data, args) + 8 * n);
}
constexpr uint32_t High(int n)
{
    return Low(n) + 4;
}

// `call` allowed only when its argument `n` is one of `values`.
void AllowOnly(CFilter& filter, long call, int n, std::initializer_list<uint32_t> values)
{
    filter.Load(kNumber);
    filter.Unless(static_cast<uint32_t>(call), static_cast<uint8_t>(2 + 2 * values.size()));
    filter.Load(Low(n));
    for (uint32_t value : values) {
        filter.Unless(value, 1);
        filter.Return(kAllow);
    }
    filter.Return(kRefuse);
}

bool EnterSeccomp()
{
    if (kArch == 0)
        return false;
    const uint32_t self = static_cast<uint32_t>(getpid());
    CFilter filter;
    // A call of another architecture (32-bit calls on a 64-bit kernel)
    // ends the process.
    filter.Load(offsetof(seccomp_data, arch));
    filter.If(kArch, 1);
    filter.Return(SECCOMP_RET_KILL_PROCESS);
    filter.Load(kNumber);
#if defined(__x86_64__)
    filter.Add(BPF_JUMP(BPF_JMP | BPF_JGE | BPF_K, 0x40000000, 0, 1)); // x32
    filter.Return(SECCOMP_RET_KILL_PROCESS);
#endif
    for (long call : kRefused) {
        filter.Unless(static_cast<uint32_t>(call), 1);
        filter.Return(kRefuse);
    }
    // Threads, but no process: glibc falls back from clone3, whose flags a
    // filter cannot see, to clone.
    filter.Unless(SYS_clone3, 1);
    filter.Return(kMissing);
    filter.Unless(SYS_clone, 4);
    filter.Load(Low(0));
    filter.Add(BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, CLONE_THREAD, 0, 1));
    filter.Return(kAllow);
    filter.Return(kRefuse);
    // Signals to itself only (abort raises one).
    AllowOnly(filter, SYS_kill, 0, {self, 0});
    AllowOnly(filter, SYS_tgkill, 0, {self});
    AllowOnly(filter, SYS_rt_sigqueueinfo, 0, {self});
    AllowOnly(filter, SYS_rt_tgsigqueueinfo, 0, {self});
    // Limits read, never changed.
    filter.Load(kNumber);
    filter.Unless(SYS_prlimit64, 6);
    filter.Load(Low(2));
    filter.Unless(0, 3);
    filter.Load(High(2));
    filter.Unless(0, 1);
    filter.Return(kAllow);
    filter.Return(kRefuse);
    // No input pushed into a terminal that the picture may be.
    filter.Load(kNumber);
    filter.Unless(SYS_ioctl, 3);
    filter.Load(Low(1));
    filter.Unless(TIOCSTI, 1);
    filter.Return(kRefuse);
    filter.Return(kAllow);
    return filter.Install();
}

} // namespace

SandboxState EnterSandbox()
{
    SandboxState state;
    prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0);
    state.landlock = EnterLandlock();
    state.seccomp = EnterSeccomp();
    return state;
}
