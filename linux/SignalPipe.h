// The signals that end the program (SIGTERM from a screen-saver or idle
// daemon, SIGINT, SIGHUP) reach its event loop through a pipe: the handler
// only writes the signal's number, the loop polls the pipe's read end with
// its other descriptors. Once everything is released, the program dies by
// the signal, which tells the daemon that it ended as asked.
#pragma once

// Installs the handlers and makes the pipe; also ignores SIGPIPE, so that a
// server gone mid-write is seen as an error, not a death. False on failure.
bool InstallSignalPipe();
// Readable once a signal came.
int SignalPipeFd();
// The first signal that came, 0 while none has; empties the pipe.
int TakeSignal();
// Ends the process by `sig` with its default action.
[[noreturn]] void DieBySignal(int sig);
