#include "wayland_transfers.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace pomorina {

namespace {
// As much as one read or write moves; a larger pipe needs fewer wake-ups.
constexpr qsizetype kStep = 1024 * 1024;

// A write to a pipe whose reader has gone raises SIGPIPE, which would end
// the program. The worker thread blocks it, so it is left pending instead;
// taken away here so that it never reaches the program later.
void forgetBrokenPipe() {
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    const timespec now{0, 0};
    while (sigtimedwait(&pipeSignal, nullptr, &now) == SIGPIPE) {
    }
}
} // namespace

bool openTransferPipe(int ends[2]) {
    if (::pipe2(ends, O_CLOEXEC) != 0)
        return false;
    ::fcntl(ends[0], F_SETFL, O_NONBLOCK);
    ::fcntl(ends[0], F_SETPIPE_SZ, int(kStep)); // a hint: fewer, larger pieces
    return true;
}

IncomingTransfer::IncomingTransfer(int fd, qint64 maxBytes) : fd_(fd), maxBytes_(maxBytes) {
    silent_.start();
}

IncomingTransfer::~IncomingTransfer() {
    ::close(fd_);
}

IncomingTransfer::State IncomingTransfer::pull() {
    for (;;) {
        const qsizetype had = bytes_.size();
        if (had >= maxBytes_) {
            // Full: one byte more would be too many.
            char probe = 0;
            const ssize_t got = ::read(fd_, &probe, 1);
            if (got == 0)
                return State::Ended;
            if (got < 0 && (errno == EAGAIN || errno == EINTR))
                return State::Open;
            return State::Failed;
        }
        const qsizetype step = std::min<qint64>(kStep, maxBytes_ - had);
        bytes_.resize(had + step);
        const ssize_t got = ::read(fd_, bytes_.data() + had, size_t(step));
        bytes_.resize(had + std::max<ssize_t>(got, 0));
        if (got > 0) {
            silent_.restart();
            continue;
        }
        if (got == 0)
            return State::Ended;
        if (errno == EINTR)
            continue;
        return errno == EAGAIN ? State::Open : State::Failed;
    }
}

OutgoingTransfers::~OutgoingTransfers() {
    for (const Send& send : sends_)
        ::close(send.fd);
}

void OutgoingTransfers::add(int fd, quint64 content, const QByteArray& type,
                            std::optional<QByteArray> bytes) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    Send& send = sends_.emplace_back();
    send.fd = fd;
    send.content = content;
    send.type = type;
    send.bytes = std::move(bytes);
    send.silent.start();
}

void OutgoingTransfers::provide(quint64 content, const QByteArray& type,
                                const std::optional<QByteArray>& bytes) {
    for (auto send = sends_.begin(); send != sends_.end();) {
        if (send->content == content && send->type == type && !send->bytes) {
            if (!bytes) {
                ::close(send->fd);
                send = sends_.erase(send);
                continue;
            }
            send->bytes = bytes;
            send->silent.restart();
        }
        ++send;
    }
}

void OutgoingTransfers::addPollFds(std::vector<pollfd>& fds) const {
    for (const Send& send : sends_) {
        if (send.bytes)
            fds.push_back({send.fd, POLLOUT, 0});
    }
}

void OutgoingTransfers::service() {
    for (auto send = sends_.begin(); send != sends_.end();) {
        // A reader that takes nothing for so long is given up; one still
        // waiting for our picture to be encoded is not stalling.
        const bool stalled = send->bytes && send->silent.elapsed() >= stallMs_;
        if ((send->bytes && !push(*send)) || stalled) {
            ::close(send->fd);
            send = sends_.erase(send);
        } else {
            ++send;
        }
    }
}

int OutgoingTransfers::nextDeadlineMs() const {
    int next = -1;
    for (const Send& send : sends_) {
        if (!send.bytes)
            continue;
        const int left = int(std::max<qint64>(0, stallMs_ - send.silent.elapsed()));
        next = next < 0 ? left : std::min(next, left);
    }
    return next;
}

bool OutgoingTransfers::push(Send& send) {
    while (send.written < send.bytes->size()) {
        const qsizetype step = std::min(kStep, send.bytes->size() - send.written);
        const ssize_t put = ::write(send.fd, send.bytes->constData() + send.written, size_t(step));
        if (put > 0) {
            send.written += put;
            send.silent.restart();
            continue;
        }
        if (put < 0 && errno == EINTR)
            continue;
        if (put < 0 && errno == EAGAIN)
            return true;
        if (put < 0 && errno == EPIPE)
            forgetBrokenPipe();
        return false;
    }
    return false; // all written: closing the pipe ends the transfer
}

} // namespace pomorina
