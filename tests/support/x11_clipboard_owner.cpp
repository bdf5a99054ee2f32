// A clipboard owner for tests, in plain Xlib: it takes the CLIPBOARD
// selection and then answers requests as told, or not at all.
//
//   x11_clipboard_owner --mode silent [--seconds N]
//       owns the clipboard and never answers any request
//   x11_clipboard_owner --mode targets-only [--seconds N]
//       answers the list of formats (text) but never sends the data
//   x11_clipboard_owner --mode refuse [--seconds N]
//       answers the list of formats (text) and refuses every other request
//   x11_clipboard_owner --mode serve [--text T] [--text-file F] [--png-file F] [--html H]
//                       [--chunk BYTES] [--die-after-chunks K] [--seconds N]
//       offers the text (from T or the bytes of F), the PNG picture of a file
//       and HTML as given, and answers every request. Data larger than the
//       chunk size (default 256 KiB) goes in an incremental transfer of such
//       chunks; with --die-after-chunks the owner exits abruptly after
//       sending K chunks of one.
//
// With --answer-delay-ms D (refuse and serve) each request for data, every
// format but the list, is held and answered D ms after it came, as a slow
// program would: even after another program has taken the clipboard. It
// prints "held" for each request it holds.
//
// It prints "owned" on standard output once it holds the clipboard, and
// exits after N seconds (default 30) or when another program takes over and
// no held request is left to answer.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include "x11_selection_reply.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct Options {
    std::string mode = "silent";
    std::string text;
    bool hasText = false;
    std::string png;
    std::string html;
    bool hasHtml = false;
    double seconds = 30;
    size_t chunk = 256 * 1024;
    long dieAfterChunks = -1;
    long answerDelayMs = 0;
};

// In one piece: tens of megabytes a byte at a time take seconds in a build
// without optimisation, and the owner says "owned" only after its input.
bool readFile(const char* path, std::string& bytes) {
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    const std::streamoff size = file ? static_cast<std::streamoff>(file.tellg()) : -1;
    if (size < 0)
        return false;
    bytes.resize(static_cast<size_t>(size));
    return static_cast<bool>(file.seekg(0).read(bytes.data(), size));
}

bool parse(int argc, char** argv, Options& options) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        const char* value = argv[i + 1];
        if (key == "--mode")
            options.mode = value;
        else if (key == "--text") {
            options.text = value;
            options.hasText = true;
        } else if (key == "--text-file") {
            if (!readFile(value, options.text))
                return false;
            options.hasText = true;
        } else if (key == "--png-file") {
            if (!readFile(value, options.png))
                return false;
        } else if (key == "--chunk")
            options.chunk = std::max(1L, std::atol(value));
        else if (key == "--die-after-chunks")
            options.dieAfterChunks = std::atol(value);
        else if (key == "--html") {
            options.html = value;
            options.hasHtml = true;
        } else if (key == "--seconds")
            options.seconds = std::atof(value);
        else if (key == "--answer-delay-ms")
            options.answerDelayMs = std::max(0L, std::atol(value));
        else
            return false;
    }
    if (options.mode != "serve")
        options.hasText = true; // the other modes list a text they never send
    return options.mode == "silent" || options.mode == "targets-only" || options.mode == "refuse" ||
           options.mode == "serve";
}

void answer(Display* display, const XSelectionRequestEvent& request, Atom type, int format,
            const unsigned char* data, int count) {
    XChangeProperty(display, request.requestor, request.property, type, format, PropModeReplace,
                    data, count);
    notifySelection(display, request, request.property);
}

// One incremental transfer under way: each deletion of the requestor's
// property asks for the next chunk, an empty chunk ends it.
struct Incremental {
    Window requestor = None;
    Atom property = None;
    Atom type = None;
    const std::string* data = nullptr;
    size_t sent = 0;
    long chunks = 0;
    bool finished = false;
};

struct Atoms {
    Atom targets, utf8, textPlain, html, png, incr;
};

// A request for data held back until it is due.
struct Held {
    XSelectionRequestEvent request;
    std::chrono::steady_clock::time_point due;
};

// Answers a request for anything but the list of formats: with the data, the
// start of an incremental transfer, or a refusal.
void answerData(Display* display, const XSelectionRequestEvent& request, const Options& options,
                const Atoms& atoms, Incremental& incremental) {
    const std::string* data = nullptr;
    if (options.mode == "serve" && options.hasText &&
        (request.target == atoms.utf8 || request.target == atoms.textPlain ||
         request.target == XA_STRING))
        data = &options.text;
    else if (options.mode == "serve" && !options.png.empty() && request.target == atoms.png)
        data = &options.png;
    else if (options.mode == "serve" && options.hasHtml && request.target == atoms.html)
        data = &options.html;
    if (data == nullptr) {
        notifySelection(display, request, None);
    } else if (data->size() <= options.chunk) {
        answer(display, request, request.target, 8,
               reinterpret_cast<const unsigned char*>(data->data()),
               static_cast<int>(data->size()));
    } else {
        // Too large for one property: announce the size, then send chunks as
        // the requestor deletes what it has read.
        incremental = {request.requestor, request.property, request.target, data, 0, 0, false};
        XSelectInput(display, request.requestor, PropertyChangeMask);
        const long size = static_cast<long>(data->size());
        XChangeProperty(display, request.requestor, request.property, atoms.incr, 32,
                        PropModeReplace, reinterpret_cast<const unsigned char*>(&size), 1);
        notifySelection(display, request, request.property);
    }
    XFlush(display);
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parse(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: %s --mode silent|targets-only|refuse|serve [--text T] "
                     "[--text-file F] [--png-file F] [--html H] [--chunk BYTES] "
                     "[--die-after-chunks K] [--answer-delay-ms D] [--seconds N]\n",
                     argv[0]);
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "cannot open display\n");
        return 1;
    }
    const Window window =
        XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
    const Atom clipboard = XInternAtom(display, "CLIPBOARD", False);
    const Atoms atoms{XInternAtom(display, "TARGETS", False),
                      XInternAtom(display, "UTF8_STRING", False),
                      XInternAtom(display, "text/plain;charset=utf-8", False),
                      XInternAtom(display, "text/html", False),
                      XInternAtom(display, "image/png", False),
                      XInternAtom(display, "INCR", False)};
    Incremental incremental;
    std::deque<Held> held;
    bool lost = false;

    XSetSelectionOwner(display, clipboard, window, CurrentTime);
    if (XGetSelectionOwner(display, clipboard) != window) {
        std::fprintf(stderr, "could not take the clipboard\n");
        return 1;
    }
    std::printf("owned\n");
    std::fflush(stdout);

    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(static_cast<long>(options.seconds * 1000));
    while (std::chrono::steady_clock::now() < deadline) {
        while (!held.empty() && held.front().due <= std::chrono::steady_clock::now()) {
            answerData(display, held.front().request, options, atoms, incremental);
            held.pop_front();
        }
        if (lost && held.empty())
            break;
        if (XPending(display) == 0) {
            pollfd connection{ConnectionNumber(display), POLLIN, 0};
            poll(&connection, 1, 5);
            continue;
        }
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == SelectionClear) {
            lost = true; // another program took the clipboard
            continue;
        }
        if (event.type == PropertyNotify && event.xproperty.state == PropertyDelete &&
            event.xproperty.window == incremental.requestor &&
            event.xproperty.atom == incremental.property) {
            if (incremental.finished) {
                XSelectInput(display, incremental.requestor, NoEventMask);
                incremental = {};
                continue;
            }
            if (options.dieAfterChunks >= 0 && incremental.chunks >= options.dieAfterChunks) {
                std::printf("died\n");
                std::fflush(stdout);
                _exit(3); // as a crash would: no goodbye to the server
            }
            const size_t size =
                std::min(options.chunk, incremental.data->size() - incremental.sent);
            XChangeProperty(
                display, incremental.requestor, incremental.property, incremental.type, 8,
                PropModeReplace,
                reinterpret_cast<const unsigned char*>(incremental.data->data() + incremental.sent),
                static_cast<int>(size));
            incremental.sent += size;
            ++incremental.chunks;
            incremental.finished = size == 0;
            XFlush(display);
            continue;
        }
        if (event.type != SelectionRequest)
            continue;
        const XSelectionRequestEvent& request = event.xselectionrequest;
        if (options.mode == "silent")
            continue;
        if (request.target == atoms.targets) {
            std::vector<Atom> offered = {atoms.targets};
            if (options.hasText)
                offered.insert(offered.end(), {atoms.utf8, atoms.textPlain, XA_STRING});
            if (!options.png.empty())
                offered.push_back(atoms.png);
            if (options.hasHtml)
                offered.push_back(atoms.html);
            answer(display, request, XA_ATOM, 32,
                   reinterpret_cast<const unsigned char*>(offered.data()),
                   static_cast<int>(offered.size()));
            continue;
        }
        if (options.mode == "targets-only")
            continue;
        held.push_back({request, std::chrono::steady_clock::now() +
                                     std::chrono::milliseconds(options.answerDelayMs)});
        if (options.answerDelayMs > 0) {
            std::printf("held\n");
            std::fflush(stdout);
        }
    }
    XCloseDisplay(display);
    return 0;
}
