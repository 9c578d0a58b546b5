// A fixed crew of threads that run the parts of one job together with the
// calling thread. The threads are started at the first job that needs them
// and kept until the crew is destroyed, so a job costs no thread creation;
// a job of one part runs on the caller alone and starts nothing.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace ripple {

class Workers {
public:
    using Part = void (*)(void* context, int part);

    Workers() = default;
    ~Workers();
    Workers(const Workers&) = delete;
    Workers& operator=(const Workers&) = delete;

    // Runs part(context, k) for every k in [0, parts), part 0 on the calling
    // thread, and returns when all are done. False, having run nothing, when
    // the threads cannot be started.
    bool Run(int parts, Part part, void* context);
    int Threads() const { return static_cast<int>(m_threads.size()); }

private:
    bool Grow(int threads);
    // Serves part `part` of every job after job number `seen`.
    void Serve(int part, uint64_t seen);

    std::vector<std::thread> m_threads;
    std::mutex m_mutex;
    std::condition_variable m_start;
    std::condition_variable m_done;
    uint64_t m_job = 0;
    int m_parts = 0;
    int m_pending = 0;
    bool m_quit = false;
    Part m_part = nullptr;
    void* m_context = nullptr;
};

} // namespace ripple
