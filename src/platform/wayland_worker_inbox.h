#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QHash>

#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <deque>
#include <mutex>
#include <optional>
#include <variant>

namespace pomorina {

// Content of ours for the clipboard: bytes by MIME type, offered in the
// order of `types`. A type without bytes yet (a picture still being
// encoded) gets them later.
struct OwnContent {
    QByteArrayList types;
    QHash<QByteArray, QByteArray> bytes;
};

// What other threads hand the worker, and the descriptor that wakes it.
class WorkerInbox {
public:
    struct Write {
        quint64 content;
        OwnContent data;
    };
    struct Provide {
        quint64 content;
        QByteArray type;
        std::optional<QByteArray> bytes;
    };

    WorkerInbox() : wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
    ~WorkerInbox() { ::close(wake); }

    void post(std::variant<Write, Provide> message) {
        {
            std::lock_guard lock(mutex);
            messages.push_back(std::move(message));
        }
        ring();
    }
    void ring() const {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t ignored = ::write(wake, &one, sizeof one);
    }

    const int wake;
    std::atomic<quint64> contents{0};
    std::mutex mutex;
    std::deque<std::variant<Write, Provide>> messages;
    bool stopping = false;
};

} // namespace pomorina
