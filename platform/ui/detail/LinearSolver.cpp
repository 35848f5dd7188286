#include "platform/ui/detail/LinearSolver.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace platform::ui::detail {

namespace {

// Coefficients below this count as zero; a relation off by less than this
// holds.
constexpr double kZero = 1e-9;
constexpr double kSlack = 1e-6;

// Rows in reduced form: each row's pivot variable appears in no other row.
class Elimination {
public:
    explicit Elimination(std::size_t n) : mN(n), mPivotRow(n, npos) {}

    // Takes sum(c[i] * x[i]) = r; false when it disagrees with what was
    // taken (it is then dropped). A relation that adds nothing is true.
    bool take(std::vector<double> c, double r) {
        for (std::size_t k = 0; k < mRows.size(); ++k) {
            const double f = c[mPivots[k]];
            if (f == 0) continue;
            for (std::size_t i = 0; i < mN; ++i) c[i] -= f * mRows[k][i];
            r -= f * mRhs[k];
        }
        std::size_t pivot = npos;
        double largest = kZero;
        for (std::size_t i = 0; i < mN; ++i) {
            if (std::abs(c[i]) > largest) {
                largest = std::abs(c[i]);
                pivot = i;
            }
        }
        if (pivot == npos) return std::abs(r) <= kSlack;
        const double p = c[pivot];
        for (double& v : c) v /= p;
        r /= p;
        c[pivot] = 1;
        for (std::size_t k = 0; k < mRows.size(); ++k) {
            const double f = mRows[k][pivot];
            if (f == 0) continue;
            for (std::size_t i = 0; i < mN; ++i) mRows[k][i] -= f * c[i];
            mRows[k][pivot] = 0;
            mRhs[k] -= f * r;
        }
        mPivotRow[pivot] = mRows.size();
        mPivots.push_back(pivot);
        mRows.push_back(std::move(c));
        mRhs.push_back(r);
        return true;
    }

    bool isPivot(std::size_t variable) const { return mPivotRow[variable] != npos; }
    // Once every variable is a pivot, each row reads x = rhs.
    double value(std::size_t variable) const { return mRhs[mPivotRow[variable]]; }

private:
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);
    std::size_t mN;
    std::vector<std::size_t> mPivotRow;
    std::vector<std::size_t> mPivots;
    std::vector<std::vector<double>> mRows;
    std::vector<double> mRhs;
};

std::size_t findRoot(std::vector<std::size_t>& parent, std::size_t i) {
    while (parent[i] != i) {
        parent[i] = parent[parent[i]];
        i = parent[i];
    }
    return i;
}

}  // namespace

void LinearExpression::add(const LinearExpression& other, double factor) {
    constant += factor * other.constant;
    for (const LinearTerm& term : other.terms) addTerm(term.variable, factor * term.coefficient);
}

void LinearExpression::addTerm(std::size_t variable, double coefficient) {
    for (LinearTerm& term : terms) {
        if (term.variable == variable) {
            term.coefficient += coefficient;
            return;
        }
    }
    terms.push_back({variable, coefficient});
}

double LinearExpression::evaluate(const std::vector<double>& values) const {
    double sum = constant;
    for (const LinearTerm& term : terms) sum += term.coefficient * values[term.variable];
    return sum;
}

LinearSolver::LinearSolver(std::vector<double> preferred) : mPreferred(std::move(preferred)) {}

void LinearSolver::add(LinearExpression expression, LinearRelation relation, double priority) {
    mRelations.push_back({std::move(expression), relation, priority, mRelations.size()});
}

std::vector<double> LinearSolver::solve() {
    mBrokenRequired = 0;
    const std::size_t n = mPreferred.size();
    std::vector<std::size_t> parent(n);
    std::iota(parent.begin(), parent.end(), 0);
    for (const Relation& relation : mRelations) {
        const auto& terms = relation.expression.terms;
        for (std::size_t i = 1; i < terms.size(); ++i) {
            parent[findRoot(parent, terms[i].variable)] = findRoot(parent, terms[0].variable);
        }
    }
    std::vector<std::vector<std::size_t>> members(n);
    for (std::size_t v = 0; v < n; ++v) members[findRoot(parent, v)].push_back(v);
    std::vector<std::vector<const Relation*>> relations(n);
    for (const Relation& relation : mRelations) {
        if (relation.expression.terms.empty()) continue;
        relations[findRoot(parent, relation.expression.terms[0].variable)].push_back(&relation);
    }
    std::vector<double> values = mPreferred;
    for (std::size_t root = 0; root < n; ++root) {
        if (!members[root].empty() && !relations[root].empty()) solveComponent(members[root], relations[root], values);
    }
    return values;
}

void LinearSolver::solveComponent(const std::vector<std::size_t>& variables,
                                  const std::vector<const Relation*>& relations, std::vector<double>& values) {
    const std::size_t n = variables.size();
    std::vector<std::size_t> local(mPreferred.size());
    for (std::size_t i = 0; i < n; ++i) local[variables[i]] = i;

    // Stronger first, then in the order added.
    std::vector<const Relation*> ordered = relations;
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const Relation* a, const Relation* b) { return a->priority > b->priority; });
    std::vector<const Relation*> inequalities;
    for (const Relation* r : ordered) {
        if (r->relation != LinearRelation::equal) inequalities.push_back(r);
    }
    std::vector<const Relation*> held;  // inequalities held at their bounds

    auto violated = [&](const Relation* r) {
        const double v = r->expression.evaluate(values);
        return r->relation == LinearRelation::lessOrEqual ? v > kSlack : v < -kSlack;
    };

    std::size_t brokenEqualities = 0;
    for (std::size_t round = 0; round <= inequalities.size(); ++round) {
        Elimination elimination(n);
        brokenEqualities = 0;
        for (const Relation* r : ordered) {
            const bool take =
                r->relation == LinearRelation::equal || std::find(held.begin(), held.end(), r) != held.end();
            if (!take) continue;
            std::vector<double> c(n, 0.0);
            for (const LinearTerm& term : r->expression.terms) c[local[term.variable]] += term.coefficient;
            if (!elimination.take(std::move(c), -r->expression.constant) && r->priority >= kRequired &&
                r->relation == LinearRelation::equal) {
                ++brokenEqualities;
            }
        }
        for (std::size_t i = 0; i < n; ++i) {
            std::vector<double> c(n, 0.0);
            c[i] = 1;
            elimination.take(std::move(c), mPreferred[variables[i]]);
        }
        for (std::size_t i = 0; i < n; ++i) values[variables[i]] = elimination.value(i);

        const auto next = std::find_if(inequalities.begin(), inequalities.end(), [&](const Relation* r) {
            return violated(r) && std::find(held.begin(), held.end(), r) == held.end();
        });
        if (next == inequalities.end()) break;
        held.push_back(*next);
    }
    mBrokenRequired += brokenEqualities;
    for (const Relation* r : inequalities) {
        if (r->priority >= kRequired && violated(r)) ++mBrokenRequired;
    }
}

}  // namespace platform::ui::detail
