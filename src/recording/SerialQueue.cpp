#include "recording/SerialQueue.h"

#include <future>

#include <pthread.h>

namespace ivra {

SerialQueue::SerialQueue(std::string label)
    : m_label(std::move(label)) {
    m_thread = std::thread([this] { run(); });
    // Thread names are limited to 15 bytes.
    pthread_setname_np(m_thread.native_handle(), m_label.substr(0, 15).c_str());
}

SerialQueue::~SerialQueue() {
    {
        const std::lock_guard lock(m_mutex);
        m_ending = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

void SerialQueue::async(std::function<void()> task) {
    {
        const std::lock_guard lock(m_mutex);
        m_tasks.push_back(std::move(task));
    }
    m_wake.notify_one();
}

void SerialQueue::sync(const std::function<void()>& task) {
    std::promise<void> done;
    async([&task, &done] {
        task();
        done.set_value();
    });
    done.get_future().wait();
}

void SerialQueue::run() {
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_ending || !m_tasks.empty(); });
            if (m_tasks.empty()) {
                return;
            }
            task = std::move(m_tasks.front());
            m_tasks.pop_front();
        }
        task();
    }
}

} // namespace ivra
