// The downhill simplex method of Nelder and Mead: a minimum of a function
// of a few variables that needs no derivatives.
#pragma once

#include <functional>
#include <vector>

using SimplexFunction = std::function<double(const std::vector<double>&)>;

// Starts at `start` with a simplex that reaches `step[i]` along variable i
// and stops when its values agree or after `maxEvaluations` calls of f.
// Returns the best point found.
std::vector<double> MinimiseNelderMead(const SimplexFunction& f, const std::vector<double>& start,
                                       const std::vector<double>& step, int maxEvaluations);
