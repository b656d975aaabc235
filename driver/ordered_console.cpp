// Console text kept in the order it was written (see ordered_console.hpp).
#include "ordered_console.hpp"

#include <utility>
#include <vector>

#include "progress.hpp"

namespace driver {

OrderedConsole::OrderedConsole(std::ostream& out, std::ostream& err, Progress* progress)
    : real_out_(out),
      real_err_(err),
      progress_(progress),
      out_buf_(*this, out),
      err_buf_(*this, err),
      out_stream_(&out_buf_),
      err_stream_(&err_buf_) {}

OrderedConsole::~OrderedConsole() { drain(); }

std::streamsize OrderedConsole::Buffer::xsputn(const char* s, std::streamsize n) {
    if (n > 0) owner_.append(to_, s, static_cast<std::size_t>(n));
    return n;
}

OrderedConsole::Buffer::int_type OrderedConsole::Buffer::overflow(int_type c) {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    const char ch = traits_type::to_char_type(c);
    owner_.append(to_, &ch, 1);
    return c;
}

int OrderedConsole::Buffer::sync() {
    owner_.drain();
    return 0;
}

void OrderedConsole::append(std::ostream& to, const char* s, std::size_t n) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (!pieces_.empty() && !pieces_.back().held && pieces_.back().to == &to) {
        pieces_.back().text.append(s, n);
        return;
    }
    pieces_.push_back(Piece{.to = &to, .text = std::string(s, n), .held = false, .place = 0});
}

OrderedConsole::Place OrderedConsole::hold() {
    const std::lock_guard<std::mutex> lock(mutex_);
    const Place place = next_place_++;
    pieces_.push_back(Piece{.to = &real_err_, .text = {}, .held = true, .place = place});
    return place;
}

void OrderedConsole::fill(Place place, std::string err_text) {
    const std::lock_guard<std::mutex> lock(mutex_);
    for (Piece& p : pieces_) {
        if (p.held && p.place == place) {
            p.text = std::move(err_text);
            p.held = false;
            return;
        }
    }
}

void OrderedConsole::drain() {
    std::vector<Piece> ready;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        while (!pieces_.empty() && !pieces_.front().held) {
            ready.push_back(std::move(pieces_.front()));
            pieces_.pop_front();
        }
    }
    bool any_text = false;
    for (const Piece& p : ready) any_text = any_text || !p.text.empty();
    if (any_text && progress_ != nullptr) progress_->suspend();
    // A terminal shows the two streams as they are flushed: standard output goes out
    // before any standard-error text that follows it, and the other way round.
    std::ostream* last = nullptr;
    for (const Piece& p : ready) {
        if (p.text.empty()) continue;
        if (last != nullptr && last != p.to) last->flush();
        p.to->write(p.text.data(), static_cast<std::streamsize>(p.text.size()));
        last = p.to;
    }
    real_out_.flush();
    real_err_.flush();
    if (any_text && progress_ != nullptr) progress_->resume();
}

}  // namespace driver
