// The picture decoder as a process of its own (velunor-decode), started for
// one picture at one size: it reads the picture from a descriptor the
// program opened, under hard limits of memory and processor time, in a
// private folder the program makes and removes, and hands back only the
// frame, through shared memory of exactly its size. The program waits for
// it as its loop waits for anything: a descriptor that becomes readable
// when it has something to say or has ended, and a deadline, after which it
// is killed; it can be killed and reaped at any moment (a signal). Whatever
// the decoder does, a frame or one reason for the user comes out.
#pragma once

#include "base/DecoderReport.h"

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

struct DecoderLimits {
    uint64_t memoryBytes = 0; // its address space
    int cpuSeconds = 0;       // processor time
    int deadlineMs = 0;       // from its start to its end, as the program counts
};

// The limits of a decode into a frame of `width` x `height`.
DecoderLimits DecoderLimitsFor(int width, int height);

// Where the decoder is: beside this program (the build tree), else where the
// package puts it; where neither has one, beside it (the name said).
std::string DecoderProgram();

struct DecodedPicture {
    std::vector<uint32_t> frame; // the frame asked for: 0x00RRGGBB, rows bottom-up
    int width = 0;               // the picture's own size, upright
    int height = 0;
    bool incomplete = false; // its data ended early: the rest is grey
};

class CDecoderProcess {
public:
    explicit CDecoderProcess(std::string program = DecoderProgram()) : m_program(std::move(program)) {}
    ~CDecoderProcess() { Kill(); }
    CDecoderProcess(const CDecoderProcess&) = delete;
    CDecoderProcess& operator=(const CDecoderProcess&) = delete;

    // Starts decoding the picture read from `pictureFd` (from its current
    // offset, which the decoder shares) into `width` x `height`. False,
    // with the reason, when no decoder could be started.
    bool Start(int pictureFd, int width, int height, const DecoderLimits& limits, std::string& reason);
    bool Running() const { return m_pid > 0; }
    // Readable when the decoder said something or ended.
    int Fd() const { return m_report; }
    // Monotonic milliseconds (MonotonicMs) after which it is given up.
    int64_t Deadline() const { return m_nDeadline; }
    // Takes what it said; true once it has ended (its report closed).
    bool Read();
    // Once Read said so or the deadline passed: the picture, or false with
    // the reason. The decoder is ended and reaped, its folder removed.
    bool Finish(DecodedPicture& picture, std::string& reason);
    // Ends it now: killed, reaped, its folder removed. Nothing is left.
    void Kill();

private:
    void Release();
    std::string EndReason(int status, const struct rusage& usage) const;

    std::string m_program;
    pid_t m_pid = 0;
    int m_report = -1;
    int m_frame = -1;
    std::string m_folder;
    int m_nWidth = 0;
    int m_nHeight = 0;
    DecoderLimits m_limits;
    int64_t m_nDeadline = 0;
    bool m_bEnded = false;
    decoder_report::CReader m_reader;
};
