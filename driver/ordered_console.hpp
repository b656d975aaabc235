// The console text of a run in the order the run writes it, while part of it is still
// being made elsewhere: the warnings of a line gridded on another thread take their
// place in the transcript when the line is handed over, and the text written after
// that place waits until it is filled. With no place held the text goes straight on,
// so a run that grids on its own thread shows exactly what it wrote.
#pragma once

#include <cstdint>
#include <deque>
#include <mutex>
#include <ostream>
#include <streambuf>
#include <string>

namespace driver {

class Progress;

class OrderedConsole {
public:
    using Place = std::uint64_t;

    /// Text for standard output goes to `out`, for standard error to `err` (they may be
    /// one stream). `progress`, when given, is cleared from the terminal while text is
    /// written and shown again afterwards.
    OrderedConsole(std::ostream& out, std::ostream& err, Progress* progress = nullptr);
    ~OrderedConsole();
    OrderedConsole(const OrderedConsole&) = delete;
    OrderedConsole& operator=(const OrderedConsole&) = delete;

    /// The streams the run writes to. Flushing either writes out every piece of text
    /// that has no place still held before it, in order, and flushes the real streams.
    /// Both are used by one thread only.
    std::ostream& out() { return out_stream_; }
    std::ostream& err() { return err_stream_; }

    /// Holds a place, after everything written so far, for standard-error text that
    /// another thread supplies through fill().
    Place hold();
    /// Fills a held place; any thread. The text reaches the console at the next drain().
    void fill(Place place, std::string err_text);
    /// Writes out everything before the first place still held, in order, and flushes.
    /// Called on the thread that writes to out() and err().
    void drain();

private:
    class Buffer final : public std::streambuf {
    public:
        Buffer(OrderedConsole& owner, std::ostream& to) : owner_(owner), to_(to) {}

    protected:
        std::streamsize xsputn(const char* s, std::streamsize n) override;
        int_type overflow(int_type c) override;
        int sync() override;

    private:
        OrderedConsole& owner_;
        std::ostream& to_;
    };

    struct Piece {
        std::ostream* to;
        std::string text;
        bool held = false;
        Place place = 0;
    };

    void append(std::ostream& to, const char* s, std::size_t n);

    std::ostream& real_out_;
    std::ostream& real_err_;
    Progress* progress_;
    Buffer out_buf_;
    Buffer err_buf_;
    std::ostream out_stream_;
    std::ostream err_stream_;
    std::mutex mutex_;        // guards pieces_ and next_place_
    std::deque<Piece> pieces_;
    Place next_place_ = 0;
};

}  // namespace driver
