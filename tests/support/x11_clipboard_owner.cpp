// A clipboard owner for tests, in plain Xlib: it takes the CLIPBOARD
// selection and then answers requests as told, or not at all.
//
//   x11_clipboard_owner --mode silent [--seconds N]
//       owns the clipboard and never answers any request
//   x11_clipboard_owner --mode targets-only [--seconds N]
//       answers the list of formats (text) but never sends the data
//   x11_clipboard_owner --mode serve --text T [--html H] [--seconds N]
//       offers plain text, and HTML too when given, and answers every request
//
// It prints "owned" on standard output once it holds the clipboard, and
// exits after N seconds (default 30) or when another program takes over.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Options {
    std::string mode = "silent";
    std::string text;
    std::string html;
    bool hasHtml = false;
    double seconds = 30;
};

bool parse(int argc, char** argv, Options& options) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        const char* value = argv[i + 1];
        if (key == "--mode")
            options.mode = value;
        else if (key == "--text")
            options.text = value;
        else if (key == "--html") {
            options.html = value;
            options.hasHtml = true;
        } else if (key == "--seconds")
            options.seconds = std::atof(value);
        else
            return false;
    }
    return options.mode == "silent" || options.mode == "targets-only" || options.mode == "serve";
}

void refuse(Display* display, const XSelectionRequestEvent& request) {
    XEvent reply{};
    reply.xselection.type = SelectionNotify;
    reply.xselection.requestor = request.requestor;
    reply.xselection.selection = request.selection;
    reply.xselection.target = request.target;
    reply.xselection.property = None;
    reply.xselection.time = request.time;
    XSendEvent(display, request.requestor, False, 0, &reply);
}

void answer(Display* display, const XSelectionRequestEvent& request, Atom type, int format,
            const unsigned char* data, int count) {
    XChangeProperty(display, request.requestor, request.property, type, format, PropModeReplace,
                    data, count);
    XEvent reply{};
    reply.xselection.type = SelectionNotify;
    reply.xselection.requestor = request.requestor;
    reply.xselection.selection = request.selection;
    reply.xselection.target = request.target;
    reply.xselection.property = request.property;
    reply.xselection.time = request.time;
    XSendEvent(display, request.requestor, False, 0, &reply);
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parse(argc, argv, options)) {
        std::fprintf(stderr, "usage: %s --mode silent|targets-only|serve [--text T] [--html H] "
                             "[--seconds N]\n",
                     argv[0]);
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "cannot open display\n");
        return 1;
    }
    const Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0,
                                              0, 0);
    const Atom clipboard = XInternAtom(display, "CLIPBOARD", False);
    const Atom targets = XInternAtom(display, "TARGETS", False);
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    const Atom textPlain = XInternAtom(display, "text/plain;charset=utf-8", False);
    const Atom html = XInternAtom(display, "text/html", False);

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
        if (XPending(display) == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
        }
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == SelectionClear)
            break; // another program took the clipboard
        if (event.type != SelectionRequest)
            continue;
        const XSelectionRequestEvent& request = event.xselectionrequest;
        if (options.mode == "silent")
            continue;
        if (request.target == targets) {
            std::vector<Atom> offered = {targets, utf8, textPlain};
            if (options.hasHtml)
                offered.push_back(html);
            answer(display, request, XA_ATOM, 32,
                   reinterpret_cast<const unsigned char*>(offered.data()),
                   static_cast<int>(offered.size()));
            continue;
        }
        if (options.mode == "targets-only")
            continue;
        if (request.target == utf8 || request.target == textPlain || request.target == XA_STRING) {
            answer(display, request, request.target, 8,
                   reinterpret_cast<const unsigned char*>(options.text.data()),
                   static_cast<int>(options.text.size()));
        } else if (options.hasHtml && request.target == html) {
            answer(display, request, html, 8,
                   reinterpret_cast<const unsigned char*>(options.html.data()),
                   static_cast<int>(options.html.size()));
        } else {
            refuse(display, request);
        }
    }
    XCloseDisplay(display);
    return 0;
}
