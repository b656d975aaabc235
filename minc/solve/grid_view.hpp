// Grid storage shared by every stage of the gridding library.
// A grid NX nodes wide is stored row by row, rows in increasing y, each row in
// increasing x; node (i, j), 1-based, is element (j - 1) * NX + (i - 1) of the storage.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace minc {

/// Non-owning view of an nx x ny grid: a slice of a work area or of a Grid.
template <class T>
class GridView {
public:
    GridView() = default;
    GridView(std::span<T> d, int nx, int ny) : d_(d.first(std::size_t(nx) * std::size_t(ny))), nx_(nx), ny_(ny) {
        assert(nx >= 0 && ny >= 0 && d.size() >= std::size_t(nx) * std::size_t(ny));
    }
    /// Node (i, j), 1-based.
    T& operator()(int i, int j) const {
        assert(i >= 1 && i <= nx_ && j >= 1 && j <= ny_);
        return d_[std::size_t(j - 1) * std::size_t(nx_) + std::size_t(i - 1)];
    }
    /// Row j (1-based), nx values.
    std::span<T> row(int j) const { return d_.subspan(std::size_t(j - 1) * std::size_t(nx_), std::size_t(nx_)); }
    std::span<T> data() const { return d_; }
    int nx() const { return nx_; }
    int ny() const { return ny_; }
    std::size_t size() const { return d_.size(); }
    operator GridView<const T>() const { return GridView<const T>(std::span<const T>(d_), nx_, ny_); }

private:
    std::span<T> d_;
    int nx_ = 0, ny_ = 0;
};

/// An owning grid (value type).
template <class T>
struct Grid {
    int nx = 0, ny = 0;
    std::vector<T> v;
    Grid() = default;
    Grid(int nx_, int ny_, T fill = T{}) : nx(nx_), ny(ny_), v(std::size_t(nx_) * std::size_t(ny_), fill) {}
    GridView<T> view() { return GridView<T>(std::span<T>(v), nx, ny); }
    GridView<const T> view() const { return GridView<const T>(std::span<const T>(v), nx, ny); }
    T& operator()(int i, int j) { return view()(i, j); }
    const T& operator()(int i, int j) const { return view()(i, j); }
};

/// Truncation toward zero, named once.
inline int trunc_int(float x) { return static_cast<int>(x); }
inline int trunc_int(double x) { return static_cast<int>(x); }

/// Where a block lies on the extended grid: its node (1, 1) is extended-grid node
/// (x + 1, y + 1).
struct BlockOffset {
    float x = 0.0f, y = 0.0f;
};

}  // namespace minc
