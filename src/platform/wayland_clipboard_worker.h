#pragma once

#include "clipboard_fetcher.h"
#include "clipboard_offer.h"
#include "data_control.h"
#include "wayland_transfers.h"
#include "wayland_worker_inbox.h"

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <thread>

struct wl_callback;

namespace pomorina {

class SelectionRead;
class WaylandConnection;

// Watches and writes the clipboard on a thread of its own, over its own
// connection: reads another program's selection as soon as it appears, and
// serves ours to whoever asks, while the program's window may be anywhere.
class WaylandClipboardWorker final : private DataControlEvents {
public:
    // Made on the worker's thread, in this order for any one selection.
    struct Reports {
        // Another program's selection appeared, number `selection`.
        std::function<void(quint64 selection)> began;
        // Its read has finished. A read cut short by a newer selection is
        // never reported.
        std::function<void(quint64 selection, ClipboardSnapshot read)> read;
        // Our content `content` has been put on the clipboard: any selection
        // reported before this came first, and it replaced them.
        std::function<void(quint64 content)> applied;
    };

    WaylandClipboardWorker(std::unique_ptr<WaylandConnection> connection, const FetchLimits& limits,
                           const QByteArrayList& readablePictures, Reports reports);
    // Stops the thread at once, whatever it waits for.
    ~WaylandClipboardWorker() override;

    const char* protocolName() const;

    // From any thread.
    bool connected() const { return connected_; }
    // Puts `content` on the clipboard; its number, for provide().
    quint64 write(OwnContent content);
    // Returns a way, callable from any thread and for as long as it is kept,
    // to hand over the bytes of `type` of `content` (none: there will be
    // none); after the worker is gone it does nothing.
    std::function<void(std::optional<QByteArray>)> provider(quint64 content,
                                                            const QByteArray& type);

private:
    struct Own {
        quint64 content = 0;
        OwnContent data;
    };

    void run();
    bool takeInbox();
    void dispatch();
    void writeNow(quint64 content, OwnContent data);
    void provideNow(quint64 content, const QByteArray& type,
                    const std::optional<QByteArray>& bytes);
    void external(DataOffer* offer, const QByteArrayList& types);
    void adoptEcho(DataOffer* offer);
    void supersedeRead();
    void deliverFinishedRead();
    static void echoWindowClosed(void* data, wl_callback* callback, uint32_t);

    // DataControlEvents
    void selection(DataOffer* offer, const QByteArrayList& types) override;
    void send(DataSource* source, const QByteArray& type, int fd) override;
    void cancelled(DataSource* source) override;
    void finished() override;

    std::unique_ptr<WaylandConnection> connection_;
    const FetchLimits limits_;
    const QByteArrayList readablePictures_;
    const Reports reports_;
    std::shared_ptr<WorkerInbox> inbox_;
    std::atomic<bool> connected_{true};

    // The worker thread's own, from here on.
    DataOffer* offer_ = nullptr; // the clipboard's current offer
    quint64 selections_ = 0;
    quint64 reading_ = 0; // the selection read_ reads
    std::unique_ptr<SelectionRead> read_;
    std::map<DataSource*, Own> own_; // our sources not yet cancelled
    OutgoingTransfers sends_;
    // Our last write, until the compositor's echo of it has been recognised
    // (see selection()).
    DataSource* newest_ = nullptr; // null once cancelled
    bool echoAwaited_ = false;
    wl_callback* echoWindow_ = nullptr;
    std::optional<std::pair<DataOffer*, QByteArrayList>> held_;

    std::thread thread_; // last: started when everything above is ready
};

} // namespace pomorina
