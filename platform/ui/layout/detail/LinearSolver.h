#pragma once
// Private to platform/ui: the solver behind auto-layout. Linear relations
// over variables, each with a priority; the result holds every relation it
// can, stronger ones first.
//
// Equalities are taken in order of priority (ties in the order added), each
// kept when it agrees with those kept before and dropped whole when it does
// not. An inequality that the result breaks is then held at its bound, as an
// equality of its priority, and the equalities taken again; an inequality
// that cannot be held is left broken. Variables that nothing fixes take their
// preferred values.

#include <cstddef>
#include <vector>

namespace platform::ui::detail {

struct LinearTerm {
    std::size_t variable;
    double coefficient;
};

// constant + sum of coefficient * variable.
struct LinearExpression {
    double constant = 0;
    std::vector<LinearTerm> terms;

    void add(const LinearExpression& other, double factor);
    void addTerm(std::size_t variable, double coefficient);
    double evaluate(const std::vector<double>& values) const;
};

enum class LinearRelation { equal, lessOrEqual, greaterOrEqual };

class LinearSolver {
public:
    // The priority at which a relation must hold.
    static constexpr double kRequired = 1000;

    // Variables 0 to preferred.size() - 1, each with the value it takes
    // when nothing fixes it.
    explicit LinearSolver(std::vector<double> preferred);

    // expression (relation) 0.
    void add(LinearExpression expression, LinearRelation relation, double priority);

    // Solves; components of variables tied together are solved apart.
    std::vector<double> solve();
    // Required relations that the last solve could not hold.
    std::size_t brokenRequired() const { return mBrokenRequired; }

private:
    struct Relation {
        LinearExpression expression;
        LinearRelation relation;
        double priority;
        std::size_t order;
    };

    void solveComponent(const std::vector<std::size_t>& variables, const std::vector<const Relation*>& relations,
                        std::vector<double>& values);

    std::vector<double> mPreferred;
    std::vector<Relation> mRelations;
    std::size_t mBrokenRequired = 0;
};

}  // namespace platform::ui::detail
