#include "tuning/NelderMead.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace {

using Point = std::vector<double>;

// a + t (b - a)
Point Along(const Point& a, const Point& b, double t)
{
    Point p(a.size());
    for (std::size_t i = 0; i < a.size(); ++i) p[i] = a[i] + t * (b[i] - a[i]);
    return p;
}

struct Simplex {
    std::vector<Point> points;
    std::vector<double> values;

    void Sort()
    {
        std::vector<std::size_t> order(points.size());
        std::iota(order.begin(), order.end(), 0);
        std::sort(order.begin(), order.end(), [this](std::size_t a, std::size_t b) { return values[a] < values[b]; });
        std::vector<Point> p;
        std::vector<double> v;
        for (const std::size_t i : order) {
            p.push_back(points[i]);
            v.push_back(values[i]);
        }
        points = std::move(p);
        values = std::move(v);
    }

    // The centre of every point but the worst.
    Point Centroid() const
    {
        Point c(points[0].size(), 0.0);
        for (std::size_t i = 0; i + 1 < points.size(); ++i)
            for (std::size_t j = 0; j < c.size(); ++j) c[j] += points[i][j] / static_cast<double>(points.size() - 1);
        return c;
    }
};

}  // namespace

std::vector<double> MinimiseNelderMead(const SimplexFunction& f, const std::vector<double>& start,
                                       const std::vector<double>& step, int maxEvaluations)
{
    const std::size_t n = start.size();
    Simplex s;
    for (std::size_t i = 0; i <= n; ++i) {
        Point p = start;
        if (i > 0) p[i - 1] += step[i - 1];
        s.values.push_back(f(p));
        s.points.push_back(std::move(p));
    }
    int evaluations = static_cast<int>(n + 1);
    while (evaluations < maxEvaluations) {
        s.Sort();
        const double best = s.values.front(), worst = s.values.back();
        if (worst - best <= 1e-10 * (1.0 + std::fabs(best))) break;
        const Point centre = s.Centroid();
        const Point reflected = Along(centre, s.points.back(), -1.0);
        const double fr = f(reflected);
        ++evaluations;
        if (fr < best) {
            const Point expanded = Along(centre, s.points.back(), -2.0);
            const double fe = f(expanded);
            ++evaluations;
            s.points.back() = fe < fr ? expanded : reflected;
            s.values.back() = std::min(fe, fr);
        } else if (fr < s.values[n - 1]) {
            s.points.back() = reflected;
            s.values.back() = fr;
        } else {
            // Contract towards the better of the worst point and its reflection.
            const bool outside = fr < worst;
            const Point contracted = Along(centre, outside ? reflected : s.points.back(), 0.5);
            const double fc = f(contracted);
            ++evaluations;
            if (fc < std::min(fr, worst)) {
                s.points.back() = contracted;
                s.values.back() = fc;
            } else {
                for (std::size_t i = 1; i <= n; ++i) {
                    s.points[i] = Along(s.points[0], s.points[i], 0.5);
                    s.values[i] = f(s.points[i]);
                }
                evaluations += static_cast<int>(n);
            }
        }
    }
    s.Sort();
    return s.points.front();
}
