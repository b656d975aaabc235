// The relaxation's equations for the two outer rows and columns of a grid, written once
// for the lower-left part of the grid in terms of two storage steps: u, the step that the
// written equation takes along its first index, and v, along its second. The mirrored
// equations of the last two columns and rows are the same code with u or v negated
// (i -> NX + 1 - i keeps the written term order), and the written equations of (1,2),
// (1,j) and (2,j) are those of (2,1), (i,1) and (i,2) with u and v exchanged, term for
// term. Any storage in which a node's neighbours lie at fixed steps serves: the grid in
// storage order (u = 1, v = NX) and the skewed storage of the vectorised sweep alike.
//
// The functions have internal linkage on purpose: units built for different instruction
// sets include this header, and none may share a copy compiled for another.
#pragma once

#include <cstddef>

namespace minc {
namespace {

using EdgeStep = std::ptrdiff_t;

// Corner (1,1).
inline float eq_corner(const float* p, EdgeStep u, EdgeStep v) {
    return (2.0f * (p[u] + p[v]) - p[2 * u] - p[2 * v]) * 0.5f;
}

// Node (2,1); with u and v exchanged node (1,2).
inline float eq_21(const float* p, EdgeStep u, EdgeStep v) {
    return (2.0f * p[-u] + 4.0f * (p[u] + p[v]) - p[2 * u] - p[v - u] - p[u + v] - p[2 * v]) *
           0.16666667f;
}

// Node (i,1), 3 <= i <= NX - 2; with u and v exchanged node (1,j).
inline float eq_i1(const float* p, EdgeStep u, EdgeStep v) {
    return (4.0f * (p[-u] + p[u] + p[v]) - p[v - u] - p[u + v] - p[-2 * u] - p[2 * u] - p[2 * v]) *
           0.14285713f;
}

// Node (2,2).
inline float eq_22(const float* p, EdgeStep u, EdgeStep v) {
    return (8.0f * (p[u] + p[v]) + 4.0f * (p[-u] + p[-v]) - 2.0f * p[u + v] - p[u - v] - p[v - u] -
            p[2 * u] - p[2 * v]) *
           0.055555556f;
}

// Node (i,2), 3 <= i <= NX - 2; with u and v exchanged node (2,j).
inline float eq_i2(const float* p, EdgeStep u, EdgeStep v) {
    return (8.0f * (p[-u] + p[u] + p[v]) + 4.0f * p[-v] - 2.0f * (p[v - u] + p[u + v]) - p[-u - v] -
            p[u - v] - p[-2 * u] - p[2 * u] - p[2 * v]) *
           0.05263158f;
}

}  // namespace
}  // namespace minc
