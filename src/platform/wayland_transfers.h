#pragma once

// The two ends of a clipboard transfer on Wayland: the data goes through a
// pipe straight between the two programs. Both sides here never wait: they
// move what the pipe takes and are called again when poll() says so.

#include <QByteArray>
#include <QElapsedTimer>

#include <list>
#include <optional>
#include <vector>

struct pollfd;

namespace pomorina {

// Opens a pipe whose read end does not block: [0] to read, [1] to write.
bool openTransferPipe(int ends[2]);

// Data coming in from another program through the read end of a pipe.
class IncomingTransfer {
public:
    enum class State { Open, Ended, Failed };

    // Takes `fd`; gives up past `maxBytes`.
    IncomingTransfer(int fd, qint64 maxBytes);
    ~IncomingTransfer();
    IncomingTransfer(const IncomingTransfer&) = delete;
    IncomingTransfer& operator=(const IncomingTransfer&) = delete;

    int fd() const { return fd_; }
    // Takes in what the pipe holds. Ended at end of file: the writer closed
    // its end, which is no proof it wrote everything.
    State pull();
    qint64 silentMs() const { return silent_.elapsed(); }
    QByteArray take() { return std::move(bytes_); }

private:
    int fd_;
    qint64 maxBytes_;
    QByteArray bytes_;
    QElapsedTimer silent_;
};

// Data of ours going out to other programs, each through a pipe they gave.
class OutgoingTransfers {
public:
    explicit OutgoingTransfers(int stallMs) : stallMs_(stallMs) {}
    ~OutgoingTransfers();
    OutgoingTransfers(const OutgoingTransfers&) = delete;
    OutgoingTransfers& operator=(const OutgoingTransfers&) = delete;

    // Takes `fd` and sends `bytes` into it; without them yet (a picture
    // still being encoded), the transfer waits for provide().
    void add(int fd, quint64 content, const QByteArray& type, std::optional<QByteArray> bytes);
    // The bytes of `type` of `content` are here; null when there will be none.
    void provide(quint64 content, const QByteArray& type, const std::optional<QByteArray>& bytes);

    void addPollFds(std::vector<pollfd>& fds) const;
    // Writes what each pipe takes; ends those done, broken, or whose reader
    // has taken nothing for the stall time.
    void service();
    // How long until service() must look at stalled readers; -1: never.
    int nextDeadlineMs() const;
    bool empty() const { return sends_.empty(); }

private:
    struct Send {
        int fd = -1;
        quint64 content = 0;
        QByteArray type;
        std::optional<QByteArray> bytes;
        qsizetype written = 0;
        QElapsedTimer silent;
    };
    // False once the send has ended, for good or not.
    static bool push(Send& send);

    int stallMs_;
    std::list<Send> sends_;
};

} // namespace pomorina
