// A clipboard owner for the soak test, in plain Xlib: it takes the CLIPBOARD
// selection for one item after another, as a script says, the way a row of
// programs copying in turn would.
//
//   soak_owner --script FILE [--chunk BYTES]
//
// The script has one step a line ('#' starts a comment):
//
//   text SECONDS FILE   offers FILE's UTF-8 text as UTF8_STRING,
//                       text/plain;charset=utf-8 and STRING (Latin-1) for SECONDS
//   png SECONDS FILE    offers FILE's bytes as image/png for SECONDS
//   mark NAME           prints "mark NAME TIME" and the counts so far
//   wait FILE           keeps the current item until FILE exists
//
// Each step comes when the item before it has had its SECONDS. The times
// follow a fixed schedule from the script's start (or the last wait), so a
// slow answer delays one change, not all the later ones. Every file is
// read before the first item. Data larger than the chunk (by default what one
// ChangeProperty request can carry without BIG-REQUESTS) goes over INCR.
// Requests are answered from the item held when they arrive; a format the
// item does not offer is refused, as a new owner would refuse it.
//
// Output, one line each, times in seconds of CLOCK_MONOTONIC:
//   ready items=N bytes=N chunk=N
//   took INDEX text|png NAME TIME LATE_MS
//   mark NAME TIME, wait FILE TIME, resumed FILE TIME, end TIME, lost TIME
//   stats requests=N refused=N incr_started=N incr_done=N incr_dropped=N
//         x_errors=N late_max_ms=N
// After the script it keeps the last item until another program takes the
// clipboard or it gets SIGTERM, then prints the counts and exits with 0.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include "x11_selection_reply.h"

#include <sys/select.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::shared_ptr<const std::string>;

volatile std::sig_atomic_t stopRequested = 0;
long xErrors = 0;

void onStop(int) {
    stopRequested = 1;
}

int onXError(Display*, XErrorEvent*) {
    // A requestor window that went away mid-transfer; its transfer times out.
    ++xErrors;
    return 0;
}

double now() {
    return std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
}

enum class Kind { Text, Png, Mark, Wait };

struct Step {
    Kind kind;
    double hold = 0;
    std::string name; // the file, or the mark's name
    Bytes data;
    Bytes latin1; // a text as STRING wants it
};

struct Transfer {
    Atom type;
    Bytes data;
    size_t offset = 0;
    Clock::time_point touched;
};

struct Counts {
    long requests = 0;
    long refused = 0;
    long incrStarted = 0;
    long incrDone = 0;
    long incrDropped = 0;
    double lateMaxMs = 0;
};

// STRING is Latin-1: characters beyond it become '?', as do broken bytes.
std::string toLatin1(const std::string& utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const size_t length = lead < 0x80 ? 1 : lead >> 5 == 6 ? 2 : lead >> 4 == 14 ? 3 : 4;
        unsigned long code = length == 1 ? lead : lead & (0x3F >> (length - 1));
        bool valid = i + length <= utf8.size() && (length == 1 || lead >= 0xC2) && lead < 0xF5;
        for (size_t k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(utf8[i + k]);
            valid = next >> 6 == 2;
            code = code << 6 | (next & 0x3F);
        }
        out += valid && code <= 0xFF ? static_cast<char>(code) : '?';
        i += valid ? length : 1;
    }
    return out;
}

std::string baseName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool readFile(const std::string& path, std::string& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    out = buffer.str();
    return true;
}

bool parseScript(const std::string& path, std::vector<Step>& steps, std::string& error) {
    std::ifstream in(path);
    if (!in) {
        error = "cannot read " + path;
        return false;
    }
    std::map<std::string, std::pair<Bytes, Bytes>> loaded; // storms repeat their files
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        std::istringstream words(line);
        std::string verb;
        if (!(words >> verb) || verb[0] == '#')
            continue;
        Step step;
        bool ok = true;
        if (verb == "text" || verb == "png") {
            step.kind = verb == "text" ? Kind::Text : Kind::Png;
            ok = static_cast<bool>(words >> step.hold >> step.name) && step.hold >= 0;
            if (ok) {
                auto& [data, latin1] = loaded[step.name];
                if (!data) {
                    auto bytes = std::make_shared<std::string>();
                    if (!readFile(step.name, *bytes)) {
                        error =
                            "cannot read " + step.name + " (line " + std::to_string(number) + ")";
                        return false;
                    }
                    latin1 = std::make_shared<const std::string>(toLatin1(*bytes));
                    data = std::move(bytes);
                }
                step.data = data;
                step.latin1 = latin1;
            }
        } else if (verb == "mark" || verb == "wait") {
            step.kind = verb == "mark" ? Kind::Mark : Kind::Wait;
            ok = static_cast<bool>(words >> step.name);
        } else {
            ok = false;
        }
        if (!ok) {
            error = "line " + std::to_string(number) + " not understood: " + line;
            return false;
        }
        steps.push_back(std::move(step));
    }
    return true;
}

class Owner {
public:
    Owner(Display* display, size_t chunk) : display_(display), chunk_(chunk) {
        window_ = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
        XSelectInput(display, window_, PropertyChangeMask);
        clipboard_ = atom("CLIPBOARD");
        targets_ = atom("TARGETS");
        timestamp_ = atom("TIMESTAMP");
        incr_ = atom("INCR");
        utf8_ = atom("UTF8_STRING");
        textPlain_ = atom("text/plain;charset=utf-8");
        png_ = atom("image/png");
        stamp_ = atom("SOAK_OWNER_STAMP");
    }

    // Takes the clipboard for `step`; false when the server kept another owner.
    bool take(const Step& step) {
        current_ = &step;
        ownedSince_ = serverTime();
        XSetSelectionOwner(display_, clipboard_, window_, ownedSince_);
        owned_ = XGetSelectionOwner(display_, clipboard_) == window_;
        return owned_;
    }

    bool owned() const { return owned_; }

    void handle(const XEvent& event) {
        switch (event.type) {
        case SelectionRequest:
            answer(event.xselectionrequest);
            break;
        case SelectionClear:
            if (event.xselectionclear.selection == clipboard_ && owned_) {
                owned_ = false;
                std::printf("lost %.3f\n", now());
                std::fflush(stdout);
            }
            break;
        case PropertyNotify:
            if (event.xproperty.state == PropertyDelete)
                nextChunk(event.xproperty.window, event.xproperty.atom);
            break;
        default:
            break;
        }
    }

    // Transfers whose requestor stopped reading are given up.
    void dropStale() {
        const auto limit = Clock::now() - std::chrono::seconds(10);
        for (auto it = transfers_.begin(); it != transfers_.end();) {
            if (it->second.touched < limit) {
                const Window window = it->first.first;
                it = transfers_.erase(it);
                ++counts.incrDropped;
                release(window);
            } else {
                ++it;
            }
        }
    }

    void printCounts() const {
        std::printf("stats requests=%ld refused=%ld incr_started=%ld incr_done=%ld "
                    "incr_dropped=%ld x_errors=%ld late_max_ms=%.0f\n",
                    counts.requests, counts.refused, counts.incrStarted, counts.incrDone,
                    counts.incrDropped, xErrors, counts.lateMaxMs);
        std::fflush(stdout);
    }

    Counts counts;

private:
    Atom atom(const char* name) { return XInternAtom(display_, name, False); }

    // The server's time now, from the notice of an empty append to a property
    // of our own window: selection ownership wants a real time stamp.
    Time serverTime() {
        XChangeProperty(display_, window_, stamp_, XA_STRING, 8, PropModeAppend, nullptr, 0);
        struct Match {
            Window window;
            Atom atom;
        } match{window_, stamp_};
        XEvent event;
        XIfEvent(
            display_, &event,
            [](Display*, XEvent* e, XPointer arg) -> Bool {
                const auto* m = reinterpret_cast<const Match*>(arg);
                return e->type == PropertyNotify && e->xproperty.window == m->window &&
                       e->xproperty.atom == m->atom;
            },
            reinterpret_cast<XPointer>(&match));
        return event.xproperty.time;
    }

    void notify(const XSelectionRequestEvent& request, Atom property) {
        notifySelection(display_, request, property);
    }

    void answer(const XSelectionRequestEvent& request) {
        ++counts.requests;
        // Requestors older than ICCCM 2 give no property: the target names it.
        const Atom property = request.property == None ? request.target : request.property;
        if (!owned_ || current_ == nullptr || request.selection != clipboard_) {
            refuse(request);
            return;
        }
        const bool text = current_->kind == Kind::Text;
        if (request.target == targets_) {
            std::vector<Atom> offered = {targets_, timestamp_};
            if (text)
                offered.insert(offered.end(), {utf8_, textPlain_, XA_STRING});
            else
                offered.push_back(png_);
            XChangeProperty(display_, request.requestor, property, XA_ATOM, 32, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(offered.data()),
                            static_cast<int>(offered.size()));
            notify(request, property);
        } else if (request.target == timestamp_) {
            const long stamp = static_cast<long>(ownedSince_);
            XChangeProperty(display_, request.requestor, property, XA_INTEGER, 32, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(&stamp), 1);
            notify(request, property);
        } else if (text && request.target == XA_STRING) {
            send(request, property, current_->latin1);
        } else if ((text && (request.target == utf8_ || request.target == textPlain_)) ||
                   (!text && request.target == png_)) {
            send(request, property, current_->data);
        } else {
            refuse(request);
        }
    }

    void refuse(const XSelectionRequestEvent& request) {
        ++counts.refused;
        notify(request, None);
    }

    void send(const XSelectionRequestEvent& request, Atom property, const Bytes& data) {
        if (data->size() <= chunk_) {
            XChangeProperty(display_, request.requestor, property, request.target, 8,
                            PropModeReplace, reinterpret_cast<const unsigned char*>(data->data()),
                            static_cast<int>(data->size()));
            notify(request, property);
            return;
        }
        // INCR: announce the size; each time the requestor deletes the
        // property, the next piece goes in, and an empty one ends it. The
        // transfer keeps its data even if the clipboard moves on meanwhile.
        XSelectInput(display_, request.requestor, PropertyChangeMask);
        const long size = static_cast<long>(data->size());
        XChangeProperty(display_, request.requestor, property, incr_, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&size), 1);
        const auto key = std::make_pair(request.requestor, property);
        if (transfers_.erase(key) > 0)
            ++counts.incrDropped; // the requestor asked again before reading it all
        transfers_[key] = Transfer{request.target, data, 0, Clock::now()};
        ++counts.incrStarted;
        notify(request, property);
    }

    void nextChunk(Window window, Atom property) {
        const auto it = transfers_.find(std::make_pair(window, property));
        if (it == transfers_.end())
            return;
        Transfer& transfer = it->second;
        const size_t left = transfer.data->size() - transfer.offset;
        const size_t piece = std::min(left, chunk_);
        XChangeProperty(display_, window, property, transfer.type, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(transfer.data->data()) +
                            transfer.offset,
                        static_cast<int>(piece));
        transfer.offset += piece;
        transfer.touched = Clock::now();
        if (piece == 0) {
            transfers_.erase(it);
            ++counts.incrDone;
            release(window);
        }
    }

    void release(Window window) {
        for (const auto& entry : transfers_) {
            if (entry.first.first == window)
                return;
        }
        XSelectInput(display_, window, NoEventMask);
    }

    Display* display_;
    size_t chunk_;
    Window window_;
    Atom clipboard_, targets_, timestamp_, incr_, utf8_, textPlain_, png_, stamp_;
    const Step* current_ = nullptr;
    Time ownedSince_ = CurrentTime;
    bool owned_ = false;
    std::map<std::pair<Window, Atom>, Transfer> transfers_;
};

} // namespace

int main(int argc, char** argv) {
    std::string script;
    long chunkOption = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        if (key == "--script")
            script = argv[i + 1];
        else if (key == "--chunk")
            chunkOption = std::atol(argv[i + 1]);
    }
    if (script.empty() || chunkOption < 0) {
        std::fprintf(stderr, "usage: %s --script FILE [--chunk BYTES]\n", argv[0]);
        return 2;
    }
    std::vector<Step> steps;
    std::string error;
    if (!parseScript(script, steps, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 2;
    }

    std::signal(SIGTERM, onStop);
    std::signal(SIGINT, onStop);
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "cannot open display\n");
        return 1;
    }
    XSetErrorHandler(onXError);
    // XMaxRequestSize counts 4-byte units; ChangeProperty's header takes 24 bytes.
    const size_t chunk = chunkOption > 0 ? static_cast<size_t>(chunkOption)
                                         : static_cast<size_t>(XMaxRequestSize(display)) * 4 - 24;
    Owner owner(display, chunk);

    size_t total = 0;
    size_t items = 0;
    for (const Step& step : steps) {
        if (step.data) {
            total += step.data->size();
            ++items;
        }
    }
    std::printf("ready items=%zu bytes=%zu chunk=%zu\n", items, total, chunk);
    std::fflush(stdout);

    const int fd = ConnectionNumber(display);
    size_t next = 0;
    size_t taken = 0;
    size_t waitingFor = steps.size(); // the wait step announced last
    double due = now();
    bool ended = false;
    while (!stopRequested) {
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            owner.handle(event);
        }
        // Each step waits for the previous item's time to run out.
        while (next < steps.size()) {
            const Step& step = steps[next];
            const double at = now();
            if (at < due)
                break;
            if (step.kind == Kind::Mark) {
                std::printf("mark %s %.3f\n", step.name.c_str(), at);
                owner.printCounts();
            } else if (step.kind == Kind::Wait) {
                if (access(step.name.c_str(), F_OK) != 0) {
                    if (waitingFor != next) {
                        waitingFor = next;
                        std::printf("wait %s %.3f\n", step.name.c_str(), at);
                        std::fflush(stdout);
                    }
                    break;
                }
                std::printf("resumed %s %.3f\n", step.name.c_str(), at);
                std::fflush(stdout);
                due = at;
            } else {
                const double lateMs = (at - due) * 1000;
                owner.counts.lateMaxMs = std::max(owner.counts.lateMaxMs, lateMs);
                const bool took = owner.take(step);
                std::printf("took %zu %s %s %.3f %.0f%s\n", taken++,
                            step.kind == Kind::Text ? "text" : "png", baseName(step.name).c_str(),
                            now(), lateMs, took ? "" : " refused-by-server");
                std::fflush(stdout);
                due += step.hold;
                ++next;
                break; // events first, before the next step
            }
            ++next;
        }
        if (next == steps.size() && !ended) {
            ended = true;
            std::printf("end %.3f\n", now());
            owner.printCounts();
        }
        if (ended && !owner.owned())
            break; // another program has the clipboard now
        owner.dropStale();
        XFlush(display);
        if (XPending(display) > 0)
            continue;
        double wait = 0.02;
        if (next < steps.size())
            wait = std::clamp(due - now(), 0.0, 0.02);
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(fd, &readable);
        timeval timeout{0, static_cast<suseconds_t>(wait * 1e6)};
        if (select(fd + 1, &readable, nullptr, nullptr, &timeout) < 0 && errno != EINTR)
            break;
    }
    owner.printCounts();
    XCloseDisplay(display);
    return 0;
}
