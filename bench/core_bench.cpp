// core_bench.cpp - what our own arithmetic costs in one frame of each
// lesson, without OpenGL: the height evaluations and normals of every
// cell, done exactly as the lessons do them, with the GL calls left out.
//
//   Lesson3Frame     4 heights and one flat normal per cell (velmor3)
//   Lesson4Frame     4 heights and 4 vertexNormal calls per cell, bumpHeight
//   Lesson56Frame    the same with raisedBumpHeight (velmor5 and velmor6)
//   FlatCells/N      the per-cell work of lesson 3 on an N x N grid
//   SmoothCells/N    the per-cell work of lessons 5 and 6 on an N x N grid
//   FunctionGrid/N   lesson 9's work for a new function on N x N cells:
//                    sin(x) * cos(y) at every grid point and a vertexNormal
//                    from its neighbours, each an evaluation of the text
//                    read, as velmor9 does before it uploads the vertices
//   Pick/N           one pick of lesson 11 on N x N cells: a pixel's ray
//                    cast from the start's eye at the surface's middle,
//                    walking the cells it crosses (pickSurface)
//   PickEveryTriangle/N  the same ray met with every triangle, the
//                    brute force the walk is tested against
//
// The N x N grids are local to this file: they only show how the cost
// grows with the number of cells.  The programs' own grid is fixed at
// 28 x 28, which the frame benchmarks walk with the core's forEachCell.
#include "expression.h"
#include "pick.h"
#include "plotcore.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace {

// Cells in one frame of the lessons: forEachCell visits 28 x 28.
constexpr int LESSON_CELLS = 28 * 28;
// The grid sizes for the growth benchmarks: from a quarter of the
// lessons' grid side to eight times it.
constexpr int SMALLEST_SIDE = 7;
constexpr int LARGEST_SIDE = 224;
constexpr int SIDE_FACTOR = 2;

// The height functions, held the way the lessons hold theirs, so the
// compiler sees the same indirect call through a constant pointer.
const HeightFn BUMP = bumpHeight;
const HeightFn RAISED = raisedBumpHeight;

// Lesson 3's cell: corner heights and one normal from two edges.
template <HeightFn const& H> void flatCell(float x, float y, float x1, float y1)
{
    const float z00 = H(x, y);
    const float z10 = H(x1, y);
    const float z11 = H(x1, y1);
    const float z01 = H(x, y1);
    const Float3 u = {x1 - x, y - y, z10 - z00};
    const Float3 v = {x - x, y1 - y, z01 - z00};
    Float3 normal = normalize(cross(u, v));
    // The results leave the function as the lesson's glVertex3f and
    // glNormal3f arguments would, so none of the work can be dropped.
    benchmark::DoNotOptimize(normal);
    benchmark::DoNotOptimize(z11);
}

// Lessons 4 to 6's cell: corner heights and four vertex normals.
template <HeightFn const& H> void smoothCell(float x, float y, float x1, float y1)
{
    Float3 c00 = {x, y, H(x, y)};
    Float3 c10 = {x1, y, H(x1, y)};
    Float3 c11 = {x1, y1, H(x1, y1)};
    Float3 c01 = {x, y1, H(x, y1)};
    Float3 n00, n10, n11, n01;
    vertexNormal(n00, c00, H);
    vertexNormal(n10, c10, H);
    vertexNormal(n11, c11, H);
    vertexNormal(n01, c01, H);
    benchmark::DoNotOptimize(c00);
    benchmark::DoNotOptimize(c10);
    benchmark::DoNotOptimize(c11);
    benchmark::DoNotOptimize(c01);
    benchmark::DoNotOptimize(n00);
    benchmark::DoNotOptimize(n10);
    benchmark::DoNotOptimize(n11);
    benchmark::DoNotOptimize(n01);
}

// One frame's worth of cells, walked by the core's own forEachCell.
template <void (*Cell)(float, float, float, float)> void lessonFrame(benchmark::State& state)
{
    for (auto _ : state) {
        forEachCell([](float x, float y, float x1, float y1) {
            Cell(x, y, x1, y1);
        });
    }
    state.SetItemsProcessed(state.iterations() * LESSON_CELLS);
    state.counters["cells"] = LESSON_CELLS;
}

// The same cell work over an N x N grid spread across the lessons'
// domain.  A counted loop, so that rounding cannot change the count.
template <void (*Cell)(float, float, float, float)> void gridOfCells(benchmark::State& state)
{
    const int side = static_cast<int>(state.range(0));
    const float step = (GRID_MAX - GRID_MIN) / static_cast<float>(side);
    for (auto _ : state) {
        float x = GRID_MIN;
        for (int i = 0; i < side; ++i, x = x + step) {
            float y = GRID_MIN;
            for (int j = 0; j < side; ++j, y = y + step) {
                Cell(x, y, x + step, y + step);
            }
        }
    }
    const int64_t cells = static_cast<int64_t>(side) * side;
    state.SetItemsProcessed(state.iterations() * cells);
    state.SetComplexityN(cells);
    state.counters["cells"] = static_cast<double>(cells);
}

void Lesson3Frame(benchmark::State& state)
{
    lessonFrame<flatCell<BUMP>>(state);
}

void Lesson4Frame(benchmark::State& state)
{
    lessonFrame<smoothCell<BUMP>>(state);
}

void Lesson56Frame(benchmark::State& state)
{
    lessonFrame<smoothCell<RAISED>>(state);
}

void FlatCells(benchmark::State& state)
{
    gridOfCells<flatCell<BUMP>>(state);
}

void SmoothCells(benchmark::State& state)
{
    gridOfCells<smoothCell<RAISED>>(state);
}

Expression typed;

float typedHeight(float x, float y)
{
    return static_cast<float>(typed(x, y));
}

void FunctionGrid(benchmark::State& state)
{
    ExpressionError error;
    typed.read("sin(x) * cos(y)", error);
    const int side = static_cast<int>(state.range(0));
    const float step = (GRID_MAX - GRID_MIN) / static_cast<float>(side);
    std::vector<Float3> normals(static_cast<std::size_t>(side + 1) * (side + 1));
    for (auto _ : state) {
        std::size_t n = 0;
        for (int i = 0; i <= side; ++i) {
            for (int j = 0; j <= side; ++j) {
                const float x = static_cast<float>(GRID_MIN + 10.0 * i / side);
                const float y = static_cast<float>(GRID_MIN + 10.0 * j / side);
                const Float3 p = {x, y, typedHeight(x, y)};
                vertexNormal(normals[n++], p, typedHeight, step);
            }
        }
        benchmark::DoNotOptimize(normals.data());
    }
    state.counters["points"] = static_cast<double>(normals.size());
}

// sin(x) * cos(y) lifted into 1 to 6 on N x N cells, and a ray from the
// lessons' starting eye (10, 10, 10) down to the middle of the square,
// which meets it near the middle: a long walk over the square's diagonal.
std::vector<Float3> wavyPoints(int side)
{
    std::vector<Float3> points;
    for (int i = 0; i <= side; ++i) {
        for (int j = 0; j <= side; ++j) {
            const float x = static_cast<float>(GRID_MIN + 10.0 * i / side);
            const float y = static_cast<float>(GRID_MIN + 10.0 * j / side);
            points.push_back({x, y, 3.5f + 2.5f * std::sin(x) * std::cos(y)});
        }
    }
    return points;
}

const Ray START_RAY = {{10.0, 10.0, 10.0}, {-10.0, -10.0, -6.5}};

template <Hit (*PICK)(const GridPoints&, const Ray&)> void pickOnce(benchmark::State& state)
{
    const int side = static_cast<int>(state.range(0));
    const std::vector<Float3> points = wavyPoints(side);
    const GridPoints grid = {side, points.data(), sizeof(Float3)};
    for (auto _ : state) {
        Hit hit = PICK(grid, START_RAY);
        benchmark::DoNotOptimize(hit);
    }
    state.counters["found"] = PICK(grid, START_RAY).found ? 1.0 : 0.0;
}

void Pick(benchmark::State& state)
{
    pickOnce<pickSurface>(state);
}

void PickEveryTriangle(benchmark::State& state)
{
    pickOnce<pickEveryTriangle>(state);
}

} // namespace

BENCHMARK(Pick)->Arg(28)->Arg(400)->Unit(benchmark::kMicrosecond);
BENCHMARK(PickEveryTriangle)->Arg(28)->Arg(400)->Unit(benchmark::kMicrosecond);
BENCHMARK(FunctionGrid)->Arg(28)->Arg(200)->Unit(benchmark::kMillisecond);
BENCHMARK(Lesson3Frame)->Unit(benchmark::kMicrosecond);
BENCHMARK(Lesson4Frame)->Unit(benchmark::kMicrosecond);
BENCHMARK(Lesson56Frame)->Unit(benchmark::kMicrosecond);
// Grid sides 7, 14, 28, 56, 112 and 224: 49 to 50176 cells.
void gridSides(benchmark::internal::Benchmark* benchmark)
{
    for (int side = SMALLEST_SIDE; side <= LARGEST_SIDE; side *= SIDE_FACTOR) {
        benchmark->Arg(side);
    }
    benchmark->Complexity(benchmark::oN)->Unit(benchmark::kMicrosecond);
}

BENCHMARK(FlatCells)->Apply(gridSides);
BENCHMARK(SmoothCells)->Apply(gridSides);

BENCHMARK_MAIN();
