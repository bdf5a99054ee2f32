// A clipboard owner for tests, in plain libwayland: it takes the selection
// through the compositor's data-control protocol, which needs no window nor
// focus, and then serves it as told.
//
//   wayland_clipboard_owner [--text T] [--text-file F] [--png-file F]
//                           [--data MIME F]... [--mode serve|silent]
//                           [--die-after-bytes N] [--replace-after-bytes N --replace-text T]
//                           [--chunk BYTES --chunk-delay-ms MS] [--seconds S]
//       offers the text (T, or the bytes of F) as text/plain;charset=utf-8,
//       text/plain, UTF8_STRING, STRING and TEXT; the bytes of a PNG file as
//       image/png; and any bytes under any MIME type. With --mode silent it
//       offers them but never writes a byte. With --die-after-bytes it exits
//       abruptly once it has written N bytes of one transfer; with
//       --replace-after-bytes it then takes the selection anew with text T
//       and closes that transfer at once, before the compositor has told
//       anyone, as a program copying twice in a row may. With --chunk it
//       writes at most BYTES every MS milliseconds.
//
// It prints "owned" once the compositor has the selection, prints "sending"
// when it is first asked for data, and exits after S seconds (default 30) or
// when another program takes the selection over, closing whatever transfer
// it was in the middle of, as clipboard tools do.
#include "wlr-data-control-unstable-v1-client.h"

#include <wayland-client.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <list>
#include <map>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
    std::map<std::string, std::string> data; // MIME type -> bytes
    std::vector<std::string> types;          // in the order offered
    bool silent = false;
    long dieAfterBytes = -1;
    long replaceAfterBytes = -1;
    std::string replaceText;
    long chunk = 1L << 20;
    long chunkDelayMs = 0;
    long seconds = 30;
};

struct Transfer {
    int fd = -1;
    std::string bytes;
    size_t written = 0;
    Clock::time_point next = Clock::now();
};

struct Owner {
    Options options;
    wl_seat* seat = nullptr;
    zwlr_data_control_manager_v1* manager = nullptr;
    std::list<Transfer> transfers;
    wl_display* display = nullptr;
    zwlr_data_control_device_v1* device = nullptr;
    zwlr_data_control_source_v1* source = nullptr; // the newest
    bool cancelled = false;
    bool askedBefore = false;
};

bool readFile(const char* path, std::string& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

void offerAs(Options& options, const std::string& type, const std::string& bytes) {
    if (options.data.count(type) == 0)
        options.types.push_back(type);
    options.data[type] = bytes;
}

void offerText(Options& options, const std::string& text) {
    for (const char* type :
         {"text/plain;charset=utf-8", "text/plain", "UTF8_STRING", "STRING", "TEXT"})
        offerAs(options, type, text);
}

bool parse(int argc, char** argv, Options& options) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        const char* value = argv[i + 1];
        std::string bytes;
        if (key == "--text" || key == "--text-file") {
            if (key == "--text")
                bytes = value;
            else if (!readFile(value, bytes))
                return false;
            offerText(options, bytes);
        } else if (key == "--png-file") {
            if (!readFile(value, bytes))
                return false;
            offerAs(options, "image/png", bytes);
        } else if (key == "--data" && i + 2 < argc) {
            if (!readFile(argv[i + 2], bytes))
                return false;
            offerAs(options, value, bytes);
            ++i;
        } else if (key == "--mode") {
            options.silent = std::strcmp(value, "silent") == 0;
        } else if (key == "--die-after-bytes") {
            options.dieAfterBytes = std::atol(value);
        } else if (key == "--replace-after-bytes") {
            options.replaceAfterBytes = std::atol(value);
        } else if (key == "--replace-text") {
            options.replaceText = value;
        } else if (key == "--chunk") {
            options.chunk = std::max(1L, std::atol(value));
        } else if (key == "--chunk-delay-ms") {
            options.chunkDelayMs = std::atol(value);
        } else if (key == "--seconds") {
            options.seconds = std::atol(value);
        } else {
            return false;
        }
    }
    return true;
}

void announced(void* data, wl_registry* registry, uint32_t name, const char* interface,
               uint32_t version) {
    auto* owner = static_cast<Owner*>(data);
    if (std::strcmp(interface, wl_seat_interface.name) == 0 && owner->seat == nullptr)
        owner->seat =
            static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    else if (std::strcmp(interface, zwlr_data_control_manager_v1_interface.name) == 0)
        owner->manager = static_cast<zwlr_data_control_manager_v1*>(wl_registry_bind(
            registry, name, &zwlr_data_control_manager_v1_interface, std::min(version, 1u)));
}
void removed(void*, wl_registry*, uint32_t) {}
const wl_registry_listener kRegistryListener = {announced, removed};

void send(void* data, zwlr_data_control_source_v1*, const char* type, int32_t fd) {
    auto* owner = static_cast<Owner*>(data);
    if (!owner->askedBefore) {
        std::puts("sending");
        std::fflush(stdout);
        owner->askedBefore = true;
    }
    const auto found = owner->options.data.find(type);
    if (found == owner->options.data.end()) {
        close(fd);
        return;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    owner->transfers.push_back({fd, owner->options.silent ? std::string() : found->second});
}
// Only the newest source's end ends the owner: an older one of its own was
// replaced on purpose.
void cancelled(void* data, zwlr_data_control_source_v1* source) {
    auto* owner = static_cast<Owner*>(data);
    if (source == owner->source)
        owner->cancelled = true;
    else
        zwlr_data_control_source_v1_destroy(source);
}
const zwlr_data_control_source_v1_listener kSourceListener = {send, cancelled};

void takeSelection(Owner& owner) {
    owner.source = zwlr_data_control_manager_v1_create_data_source(owner.manager);
    for (const std::string& type : owner.options.types)
        zwlr_data_control_source_v1_offer(owner.source, type.c_str());
    zwlr_data_control_source_v1_add_listener(owner.source, &kSourceListener, &owner);
    zwlr_data_control_device_v1_set_selection(owner.device, owner.source);
    wl_display_flush(owner.display);
}

// Writes what the pipe takes, within the pace asked for; false once done.
bool serve(Owner& owner, Transfer& transfer) {
    if (owner.options.silent)
        return true; // held open, never written to
    while (transfer.written < transfer.bytes.size() && Clock::now() >= transfer.next) {
        size_t step =
            std::min<size_t>(transfer.bytes.size() - transfer.written, size_t(owner.options.chunk));
        for (const long limit : {owner.options.dieAfterBytes, owner.options.replaceAfterBytes}) {
            if (limit >= 0)
                step = std::min(step, size_t(limit) - transfer.written);
        }
        const ssize_t put = write(transfer.fd, transfer.bytes.data() + transfer.written, step);
        if (put < 0)
            return errno == EAGAIN || errno == EINTR;
        transfer.written += size_t(put);
        if (owner.options.dieAfterBytes >= 0 &&
            transfer.written >= size_t(owner.options.dieAfterBytes))
            _exit(3); // as if it crashed: no goodbye to anyone
        if (owner.options.replaceAfterBytes >= 0 &&
            transfer.written >= size_t(owner.options.replaceAfterBytes)) {
            owner.options.replaceAfterBytes = -1;
            owner.options.data.clear();
            owner.options.types.clear();
            offerText(owner.options, owner.options.replaceText);
            takeSelection(owner);
            return false; // cut short
        }
        if (owner.options.chunkDelayMs > 0)
            transfer.next = Clock::now() + std::chrono::milliseconds(owner.options.chunkDelayMs);
    }
    return transfer.written < transfer.bytes.size();
}

} // namespace

int main(int argc, char** argv) {
    Owner owner;
    if (!parse(argc, argv, owner.options)) {
        std::fprintf(stderr, "usage: see the head of wayland_clipboard_owner.cpp\n");
        return 2;
    }
    wl_display* display = owner.display = wl_display_connect(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "no Wayland display\n");
        return 1;
    }
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &kRegistryListener, &owner);
    wl_display_roundtrip(display);
    if (owner.seat == nullptr || owner.manager == nullptr) {
        std::fprintf(stderr, "the compositor offers no seat or no data-control\n");
        return 1;
    }
    owner.device = zwlr_data_control_manager_v1_get_data_device(owner.manager, owner.seat);
    takeSelection(owner);
    wl_display_roundtrip(display);
    std::puts("owned");
    std::fflush(stdout);

    const Clock::time_point end = Clock::now() + std::chrono::seconds(owner.options.seconds);
    while (!owner.cancelled && Clock::now() < end) {
        wl_display_flush(display);
        std::vector<pollfd> fds = {{wl_display_get_fd(display), POLLIN, 0}};
        for (const Transfer& transfer : owner.transfers)
            fds.push_back({transfer.fd, short(owner.options.silent ? 0 : POLLOUT), 0});
        if (poll(fds.data(), fds.size(), 10) > 0 && (fds[0].revents & POLLIN) != 0) {
            if (wl_display_dispatch(display) < 0)
                return 1;
        }
        wl_display_dispatch_pending(display);
        for (auto transfer = owner.transfers.begin(); transfer != owner.transfers.end();) {
            if (serve(owner, *transfer)) {
                ++transfer;
            } else {
                close(transfer->fd);
                transfer = owner.transfers.erase(transfer);
            }
        }
    }
    // Replaced or out of time: whatever is still being sent is cut short.
    for (const Transfer& transfer : owner.transfers)
        close(transfer.fd);
    zwlr_data_control_source_v1_destroy(owner.source);
    zwlr_data_control_device_v1_destroy(owner.device);
    wl_display_disconnect(display);
    return 0;
}
