// What the picture decoder keeps of the system once it starts decoding,
// where the kernel allows: files only to read where the libraries it loads
// keep theirs, and to write only in the folder it runs in (a private one its
// parent made); no network, no new program or process, no signal, trace or
// limit of another process, nothing of the kernel's own to change. It never
// gains privileges. The limits of memory and time are its parent's to set.
#pragma once

#include <string>

struct SandboxState {
    bool landlock = false; // the file and network rules
    bool seccomp = false;  // the system-call filter
};

// Enters the sandbox for good; what the kernel did not allow is false.
SandboxState EnterSandbox();
