// The auto-layout solver: what holds when relations disagree, inequalities
// held at their bounds, free variables keeping their values, and the sparse
// elimination giving, to the bit, what plain dense elimination gives on
// systems shaped like screens (chains of edges, many inequalities).

#include "platform/ui/layout/detail/LinearSolver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

using platform::ui::detail::LinearExpression;
using platform::ui::detail::LinearRelation;
using platform::ui::detail::LinearSolver;

namespace {

LinearExpression expr(double constant, std::vector<std::pair<std::size_t, double>> terms) {
    LinearExpression e;
    e.constant = constant;
    for (const auto& [variable, coefficient] : terms) e.addTerm(variable, coefficient);
    return e;
}

// The textbook road: every round from scratch, rows as dense as the
// variables, relations stronger first, then one unit row per variable.
struct Relation {
    LinearExpression e;
    LinearRelation relation;
    double priority;
};

std::vector<double> solveDensely(const std::vector<double>& preferred, const std::vector<Relation>& relations) {
    const std::size_t n = preferred.size();
    std::vector<const Relation*> ordered;
    for (const Relation& r : relations) ordered.push_back(&r);
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const Relation* a, const Relation* b) { return a->priority > b->priority; });
    std::vector<const Relation*> held;
    std::vector<double> values = preferred;
    const auto isHeld = [&](const Relation* r) { return std::find(held.begin(), held.end(), r) != held.end(); };
    for (;;) {
        std::vector<std::vector<double>> rows;
        std::vector<double> rhs;
        std::vector<std::size_t> pivots;
        auto take = [&](std::vector<double> c, double r) {
            for (std::size_t k = 0; k < rows.size(); ++k) {
                const double f = c[pivots[k]];
                if (f == 0) continue;
                for (std::size_t i = 0; i < n; ++i) c[i] -= f * rows[k][i];
                r -= f * rhs[k];
            }
            std::size_t pivot = n;
            double largest = 1e-9;
            for (std::size_t i = 0; i < n; ++i) {
                if (std::abs(c[i]) > largest) largest = std::abs(c[pivot = i]);
            }
            if (pivot == n) return;
            const double p = c[pivot];
            for (double& v : c) v /= p;
            r /= p;
            c[pivot] = 1;
            for (std::size_t k = 0; k < rows.size(); ++k) {
                const double f = rows[k][pivot];
                if (f == 0) continue;
                for (std::size_t i = 0; i < n; ++i) rows[k][i] -= f * c[i];
                rows[k][pivot] = 0;
                rhs[k] -= f * r;
            }
            pivots.push_back(pivot);
            rows.push_back(std::move(c));
            rhs.push_back(r);
        };
        for (const Relation* r : ordered) {
            if (r->relation != LinearRelation::equal && !isHeld(r)) continue;
            std::vector<double> c(n, 0.0);
            for (const auto& term : r->e.terms) c[term.variable] += term.coefficient;
            take(std::move(c), -r->e.constant);
        }
        for (std::size_t i = 0; i < n; ++i) {
            std::vector<double> c(n, 0.0);
            c[i] = 1;
            take(std::move(c), preferred[i]);
        }
        for (std::size_t k = 0; k < rows.size(); ++k) values[pivots[k]] = rhs[k];
        const auto next = std::find_if(ordered.begin(), ordered.end(), [&](const Relation* r) {
            if (r->relation == LinearRelation::equal || isHeld(r)) return false;
            const double v = r->e.evaluate(values);
            return r->relation == LinearRelation::lessOrEqual ? v > 1e-6 : v < -1e-6;
        });
        if (next == ordered.end()) return values;
        held.push_back(*next);
    }
}

}  // namespace

TEST(LinearSolver, StrongerRelationsWinAndInequalitiesHoldAtTheirBounds) {
    // x0 = 10 (required) against x0 = 20 (weak): the required one holds.
    // x1 + x2 = 100 with x1 free: x1 keeps its value, x2 takes the rest.
    // x3 <= 30 (required) against x3 = 50 (weak): held at 30.
    // x4 >= 5 with nothing else: keeps its value of 8.
    LinearSolver solver({1, 40, 2, 0, 8});
    solver.add(expr(-20, {{0, 1}}), LinearRelation::equal, 250);
    solver.add(expr(-10, {{0, 1}}), LinearRelation::equal, LinearSolver::kRequired);
    solver.add(expr(-100, {{1, 1}, {2, 1}}), LinearRelation::equal, LinearSolver::kRequired);
    solver.add(expr(-30, {{3, 1}}), LinearRelation::lessOrEqual, LinearSolver::kRequired);
    solver.add(expr(-50, {{3, 1}}), LinearRelation::equal, 500);
    solver.add(expr(-5, {{4, 1}}), LinearRelation::greaterOrEqual, LinearSolver::kRequired);
    const std::vector<double> values = solver.solve();
    EXPECT_EQ(values, (std::vector<double>{10, 40, 60, 30, 8}));
    EXPECT_EQ(solver.brokenRequired(), 0u);

    // Two required relations that cannot both hold: the later is dropped
    // and counted.
    LinearSolver broken({0, 0});
    broken.add(expr(-10, {{0, 1}, {1, -1}}), LinearRelation::equal, LinearSolver::kRequired);
    broken.add(expr(-20, {{0, 1}, {1, -1}}), LinearRelation::equal, LinearSolver::kRequired);
    EXPECT_EQ(broken.solve(), (std::vector<double>{0, -10})) << "x0 keeps its value";
    EXPECT_EQ(broken.brokenRequired(), 1u);
}

TEST(LinearSolver, GivesTheValuesOfDenseEliminationToTheBit) {
    // Screen-like systems: views of four variables, edges pinned to other
    // views' edges plus constants, sizes with hugging and resistance
    // inequalities at the usual priorities, and a few disagreeing
    // relations.
    std::mt19937 random(7);
    const double priorities[] = {LinearSolver::kRequired, 750, 500, 250};
    for (int trial = 0; trial < 60; ++trial) {
        SCOPED_TRACE(trial);
        const std::size_t views = 3 + random() % 20;
        std::vector<double> preferred;
        for (std::size_t v = 0; v < 4 * views; ++v) preferred.push_back(static_cast<double>(random() % 400));
        std::vector<Relation> relations;
        for (std::size_t v = 1; v < views; ++v) {
            const std::size_t other = random() % v;
            for (std::size_t axis = 0; axis < 2; ++axis) {
                if (random() % 4 == 0) continue;
                // An edge (start, centre or end) of v on one of `other`.
                const double along = (random() % 3) / 2.0;
                const double otherAlong = (random() % 3) / 2.0;
                LinearExpression e = expr(-static_cast<double>(random() % 40), {{4 * v + axis, 1}});
                if (along != 0) e.addTerm(4 * v + 2 + axis, along);
                e.addTerm(4 * other + axis, -1);
                if (otherAlong != 0) e.addTerm(4 * other + 2 + axis, -otherAlong);
                relations.push_back({e, LinearRelation::equal, priorities[random() % 4 == 0 ? 1 + random() % 3 : 0]});
            }
            for (std::size_t axis = 0; axis < 2; ++axis) {
                const double size = static_cast<double>(random() % 100);
                relations.push_back({expr(-size, {{4 * v + 2 + axis, 1}}), LinearRelation::lessOrEqual, priorities[3]});
                relations.push_back(
                    {expr(-size, {{4 * v + 2 + axis, 1}}), LinearRelation::greaterOrEqual, priorities[1]});
            }
        }
        relations.push_back({expr(0, {{0, 1}}), LinearRelation::equal, LinearSolver::kRequired});
        relations.push_back({expr(-390, {{2, 1}}), LinearRelation::equal, LinearSolver::kRequired});
        LinearSolver solver(preferred);
        for (const Relation& r : relations) solver.add(r.e, r.relation, r.priority);
        const std::vector<double> sparse = solver.solve();
        const std::vector<double> dense = solveDensely(preferred, relations);
        ASSERT_EQ(sparse.size(), dense.size());
        for (std::size_t i = 0; i < dense.size(); ++i) EXPECT_EQ(sparse[i], dense[i]) << "variable " << i;
    }
}
