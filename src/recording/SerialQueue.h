#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace ivra {

// Tasks run one after another, in order, on a thread of the queue's own. The recording's
// samples are all appended there, so its state needs no further locking.
class SerialQueue {
public:
    explicit SerialQueue(std::string label);
    // Runs what was submitted before, then ends the thread.
    ~SerialQueue();

    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    const std::string& label() const { return m_label; }

    void async(std::function<void()> task);
    // Runs `task` after everything submitted before it and waits for it. Never from the
    // queue's own thread.
    void sync(const std::function<void()>& task);

private:
    void run();

    std::string m_label;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_tasks;
    bool m_ending = false;
    std::thread m_thread;
};

} // namespace ivra
