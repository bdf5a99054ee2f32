#include "wayland_clipboard_worker.h"

#include "wayland_connection.h"
#include "wayland_selection_read.h"

#include <wayland-client.h>

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <variant>

namespace pomorina {

namespace {
// The sooner of two waits as poll() takes them, where -1 is for ever.
int sooner(int a, int b) {
    return a < 0 ? b : b < 0 ? a : std::min(a, b);
}
} // namespace

WaylandClipboardWorker::WaylandClipboardWorker(std::unique_ptr<WaylandConnection> connection,
                                               const FetchLimits& limits,
                                               const QByteArrayList& readablePictures,
                                               Reports reports)
    : connection_(std::move(connection)), limits_(limits), readablePictures_(readablePictures),
      reports_(std::move(reports)), inbox_(std::make_shared<WorkerInbox>()),
      sends_(limits.answerTimeoutMs) {
    thread_ = std::thread([this] { run(); });
}

WaylandClipboardWorker::~WaylandClipboardWorker() {
    {
        std::lock_guard lock(inbox_->mutex);
        inbox_->stopping = true;
    }
    inbox_->ring();
    thread_.join();
    read_.reset();
    if (held_)
        connection_->dataControl().destroyOffer(held_->first);
    if (offer_ != nullptr)
        connection_->dataControl().destroyOffer(offer_);
    for (const auto& own : own_)
        connection_->dataControl().destroySource(own.first);
    if (echoWindow_ != nullptr)
        wl_callback_destroy(echoWindow_);
}

const char* WaylandClipboardWorker::protocolName() const {
    return connection_->dataControl().protocolName();
}

quint64 WaylandClipboardWorker::write(OwnContent content) {
    const quint64 number = ++inbox_->contents;
    inbox_->post(WorkerInbox::Write{number, std::move(content)});
    return number;
}

std::function<void(std::optional<QByteArray>)>
WaylandClipboardWorker::provider(quint64 content, const QByteArray& type) {
    return [inbox = std::weak_ptr<WorkerInbox>(inbox_), content,
            type](std::optional<QByteArray> bytes) {
        if (const std::shared_ptr<WorkerInbox> open = inbox.lock())
            open->post(WorkerInbox::Provide{content, type, std::move(bytes)});
    };
}

void WaylandClipboardWorker::run() {
    // A reader that goes away while we write to it must not end the program
    // (see wayland_transfers.cpp).
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);

    wl_display* display = connection_->display();
    connection_->dataControl().watch(connection_->seat(), this);
    while (connected_ && takeInbox()) {
        bool prepared = true;
        while (prepared && wl_display_prepare_read(display) != 0)
            prepared = wl_display_dispatch_pending(display) >= 0;
        if (!prepared) {
            connected_ = false;
            break;
        }
        // The socket may be full for a moment: then poll waits for it too.
        const bool flushing = wl_display_flush(display) < 0 && errno == EAGAIN;
        std::vector<pollfd> fds = {
            {wl_display_get_fd(display), short(POLLIN | (flushing ? POLLOUT : 0)), 0},
            {inbox_->wake, POLLIN, 0}};
        if (read_ && read_->fd() >= 0)
            fds.push_back({read_->fd(), POLLIN, 0});
        sends_.addPollFds(fds);
        int timeout = sooner(sends_.nextDeadlineMs(), read_ ? read_->nextDeadlineMs() : -1);
        if (inbox_->wake < 0)
            timeout = sooner(timeout, 100); // nothing can wake us: look now and then
        if (::poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR) {
            wl_display_cancel_read(display);
            connected_ = false;
            break;
        }
        if ((fds[0].revents & (POLLIN | POLLERR | POLLHUP)) != 0) {
            if (wl_display_read_events(display) < 0)
                connected_ = false;
        } else {
            wl_display_cancel_read(display);
        }
        dispatch();
        if (read_)
            read_->service();
        sends_.service();
        deliverFinishedRead();
        if ((fds[1].revents & POLLIN) != 0) {
            uint64_t count = 0;
            [[maybe_unused]] const ssize_t ignored = ::read(inbox_->wake, &count, sizeof count);
        }
    }
}

void WaylandClipboardWorker::dispatch() {
    if (wl_display_dispatch_pending(connection_->display()) < 0 ||
        wl_display_get_error(connection_->display()) != 0)
        connected_ = false;
}

bool WaylandClipboardWorker::takeInbox() {
    std::deque<std::variant<WorkerInbox::Write, WorkerInbox::Provide>> messages;
    {
        std::lock_guard lock(inbox_->mutex);
        if (inbox_->stopping)
            return false;
        messages.swap(inbox_->messages);
    }
    for (auto& message : messages) {
        if (auto* write = std::get_if<WorkerInbox::Write>(&message))
            writeNow(write->content, std::move(write->data));
        else if (auto* provide = std::get_if<WorkerInbox::Provide>(&message))
            provideNow(provide->content, provide->type, provide->bytes);
    }
    return true;
}

void WaylandClipboardWorker::writeNow(quint64 content, OwnContent data) {
    // Whatever was being read is older than this.
    supersedeRead();
    DataControl& control = connection_->dataControl();
    DataSource* source = control.createSource(data.types);
    own_[source] = Own{content, std::move(data)};
    control.setSelection(source);
    newest_ = source;
    echoAwaited_ = true;
    if (held_) {
        control.destroyOffer(held_->first);
        held_.reset();
    }
    // The compositor echoes our selection back to us as a new offer while it
    // handles the request, before it answers this sync.
    static const wl_callback_listener closed = {echoWindowClosed};
    if (echoWindow_ != nullptr)
        wl_callback_destroy(echoWindow_);
    echoWindow_ = wl_display_sync(connection_->display());
    wl_callback_add_listener(echoWindow_, &closed, this);
    reports_.applied(content);
}

void WaylandClipboardWorker::provideNow(quint64 content, const QByteArray& type,
                                        const std::optional<QByteArray>& bytes) {
    for (auto& own : own_) {
        if (own.second.content != content)
            continue;
        if (bytes)
            own.second.data.bytes.insert(type, *bytes);
        else
            own.second.data.types.removeAll(type); // asked for from now on: refused
    }
    sends_.provide(content, type, bytes);
}

// Our own selection comes back from the compositor like anyone else's. It is
// not another change, and must not be read: we would be asking ourselves.
// While a write's echo is awaited, selections are held until the sync sent
// with the write is answered; the last one then is ours unless our source
// has been cancelled meanwhile, and any before it were replaced by ours.
void WaylandClipboardWorker::selection(DataOffer* offer, const QByteArrayList& types) {
    supersedeRead();
    if (echoAwaited_ && echoWindow_ != nullptr) {
        if (held_)
            connection_->dataControl().destroyOffer(held_->first);
        held_.emplace(offer, types);
        return;
    }
    if (echoAwaited_) {
        // A compositor that echoes later than the sync: the first selection
        // while our source still holds the clipboard is the echo.
        echoAwaited_ = false;
        if (newest_ != nullptr) {
            adoptEcho(offer);
            return;
        }
    }
    external(offer, types);
}

void WaylandClipboardWorker::echoWindowClosed(void* data, wl_callback* callback, uint32_t) {
    auto* self = static_cast<WaylandClipboardWorker*>(data);
    wl_callback_destroy(callback);
    self->echoWindow_ = nullptr;
    if (!self->held_)
        return; // no echo yet: the next selection decides
    auto [offer, types] = std::move(*self->held_);
    self->held_.reset();
    self->echoAwaited_ = false;
    if (self->newest_ != nullptr)
        self->adoptEcho(offer);
    else
        self->external(offer, types);
}

void WaylandClipboardWorker::adoptEcho(DataOffer* offer) {
    if (offer_ != nullptr)
        connection_->dataControl().destroyOffer(offer_);
    offer_ = offer;
}

void WaylandClipboardWorker::external(DataOffer* offer, const QByteArrayList& types) {
    if (offer_ != nullptr)
        connection_->dataControl().destroyOffer(offer_);
    offer_ = offer;
    reading_ = ++selections_;
    reports_.began(reading_);
    if (offer == nullptr) {
        reports_.read(reading_, ClipboardSnapshot());
        return;
    }
    read_ = std::make_unique<SelectionRead>(connection_->dataControl(), connection_->display(),
                                            offer, types, readablePictures_, limits_);
    deliverFinishedRead(); // nothing to read: done at once
}

// A read that has finished is still delivered: its confirmation and the
// newer selection may come in one batch of events. Any other is given up,
// and what it has is never delivered.
void WaylandClipboardWorker::supersedeRead() {
    deliverFinishedRead();
    read_.reset();
}

void WaylandClipboardWorker::deliverFinishedRead() {
    if (read_ && read_->finished()) {
        reports_.read(reading_, read_->take());
        read_.reset();
    }
}

void WaylandClipboardWorker::send(DataSource* source, const QByteArray& type, int fd) {
    const auto own = own_.find(source);
    if (own == own_.end() || !own->second.data.types.contains(type)) {
        ::close(fd);
        return;
    }
    const auto bytes = own->second.data.bytes.constFind(type);
    sends_.add(fd, own->second.content, type,
               bytes == own->second.data.bytes.cend() ? std::nullopt
                                                      : std::optional<QByteArray>(*bytes));
}

void WaylandClipboardWorker::cancelled(DataSource* source) {
    if (source == newest_)
        newest_ = nullptr;
    own_.erase(source);
    connection_->dataControl().destroySource(source);
}

void WaylandClipboardWorker::finished() {
    connected_ = false;
}

} // namespace pomorina
