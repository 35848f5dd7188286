#include "platform/ui/detail/LinearSolver.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>
#include <numeric>

namespace platform::ui::detail {

namespace {

// Coefficients below this count as zero; a relation off by less than this
// holds.
constexpr double kZero = 1e-9;
constexpr double kSlack = 1e-6;

// Rows in reduced form: each row's pivot variable appears in no other row.
// Rows are sparse (a relation names a few variables, and elimination fills
// in little), with an index of the rows each variable appears in; the
// arithmetic is that of dense rows on their nonzero entries, in the same
// order, so the values come out the same to the bit.
class Elimination {
public:
    explicit Elimination(std::size_t n) : mPivotRow(n, npos), mColumns(n) {}

    struct Entry {
        std::uint32_t variable;
        double value;
    };
    // Sorted by variable.
    using Row = std::vector<Entry>;

    // Takes sum(c[i] * x[i]) = r; false when it disagrees with what was
    // taken (it is then dropped). A relation that adds nothing is true.
    bool take(Row c, double r) {
        // Subtract the rows whose pivots it names, in the order the rows
        // were taken: none of them names another's pivot, so which ones is
        // known from the start.
        std::vector<std::size_t> named;
        for (const Entry& e : c) {
            if (e.value != 0 && mPivotRow[e.variable] != npos) named.push_back(mPivotRow[e.variable]);
        }
        std::sort(named.begin(), named.end());
        for (const std::size_t k : named) {
            const double f = valueIn(c, mPivots[k]);
            if (f == 0) continue;
            c = subtract(c, f, mRows[k], nullptr);
            r -= f * mRhs[k];
        }
        std::uint32_t pivot = npos32;
        double largest = kZero;
        for (const Entry& e : c) {
            if (std::abs(e.value) > largest) {
                largest = std::abs(e.value);
                pivot = e.variable;
            }
        }
        if (pivot == npos32) return std::abs(r) <= kSlack;
        double p = 0;
        for (const Entry& e : c) {
            if (e.variable == pivot) p = e.value;
        }
        for (Entry& e : c) e.value /= p;
        r /= p;
        std::erase_if(c, [](const Entry& e) { return e.value == 0; });
        for (Entry& e : c) {
            if (e.variable == pivot) e.value = 1;
        }
        const std::size_t index = mRows.size();
        for (const std::size_t k : mColumns[pivot]) {
            Row& row = mRows[k];
            const auto at = find(row, pivot);
            if (at == row.end() || at->value == 0) continue;
            const double f = at->value;
            row = subtract(row, f, c, &k);
            std::erase_if(row, [pivot](const Entry& e) { return e.variable == pivot; });
            mRhs[k] -= f * r;
        }
        mColumns[pivot].clear();
        for (const Entry& e : c) {
            if (e.variable != pivot) mColumns[e.variable].push_back(index);
        }
        mPivotRow[pivot] = index;
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
    static constexpr std::uint32_t npos32 = static_cast<std::uint32_t>(-1);

    static Row::const_iterator find(const Row& row, std::uint32_t variable) {
        const auto at = std::lower_bound(row.begin(), row.end(), variable,
                                         [](const Entry& e, std::uint32_t v) { return e.variable < v; });
        return at != row.end() && at->variable == variable ? at : row.end();
    }
    static Row::iterator find(Row& row, std::uint32_t variable) {
        const auto at = std::lower_bound(row.begin(), row.end(), variable,
                                         [](const Entry& e, std::uint32_t v) { return e.variable < v; });
        return at != row.end() && at->variable == variable ? at : row.end();
    }
    static double valueIn(const Row& row, std::uint32_t variable) {
        const auto at = find(row, variable);
        return at == row.end() ? 0 : at->value;
    }

    // a - f * b. Entries only b has are new in a row: the index learns of
    // them when `rowIndex` names the row.
    Row subtract(const Row& a, double f, const Row& b, const std::size_t* rowIndex) {
        Row out;
        out.reserve(a.size() + b.size());
        auto i = a.begin();
        auto j = b.begin();
        while (i != a.end() || j != b.end()) {
            if (j == b.end() || (i != a.end() && i->variable < j->variable)) {
                out.push_back(*i++);
            } else if (i == a.end() || j->variable < i->variable) {
                out.push_back({j->variable, 0 - f * j->value});
                if (rowIndex) mColumns[j->variable].push_back(*rowIndex);
                ++j;
            } else {
                out.push_back({i->variable, i->value - f * j->value});
                ++i;
                ++j;
            }
        }
        return out;
    }

    std::vector<std::size_t> mPivotRow;
    // For each variable that is no pivot, the rows it may appear in.
    std::vector<std::vector<std::size_t>> mColumns;
    std::vector<std::uint32_t> mPivots;
    std::vector<Row> mRows;
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
    std::vector<Elimination::Row> rows(ordered.size());
    std::vector<std::size_t> inequalities;  // positions in `ordered`
    std::vector<char> taken(ordered.size(), 0);
    for (std::size_t i = 0; i < ordered.size(); ++i) {
        const Relation& r = *ordered[i];
        if (r.relation == LinearRelation::equal) {
            taken[i] = 1;
        } else {
            inequalities.push_back(i);
        }
        std::vector<std::pair<std::uint32_t, double>> terms;
        for (const LinearTerm& term : r.expression.terms) {
            terms.emplace_back(static_cast<std::uint32_t>(local[term.variable]), term.coefficient);
        }
        std::stable_sort(terms.begin(), terms.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        for (const auto& [variable, coefficient] : terms) {
            if (!rows[i].empty() && rows[i].back().variable == variable) {
                rows[i].back().value += coefficient;
            } else {
                rows[i].push_back({variable, 0.0 + coefficient});
            }
        }
        std::erase_if(rows[i], [](const Elimination::Entry& e) { return e.value == 0; });
    }

    auto violated = [&](const Relation& r) {
        const double v = r.expression.evaluate(values);
        return r.relation == LinearRelation::lessOrEqual ? v > kSlack : v < -kSlack;
    };

    // Each round takes what the last one took and one inequality more, so
    // it starts from the state of the last round at the start of that
    // inequality's priority, kept at every change of priority.
    struct Checkpoint {
        std::size_t position;
        Elimination elimination;
        std::size_t brokenEqualities;
    };
    std::vector<Checkpoint> checkpoints;
    std::size_t changedAt = 0;
    std::size_t brokenEqualities = 0;
    for (std::size_t round = 0; round <= inequalities.size(); ++round) {
        while (!checkpoints.empty() && checkpoints.back().position > changedAt) checkpoints.pop_back();
        const std::size_t from = checkpoints.empty() ? 0 : checkpoints.back().position;
        Elimination elimination = checkpoints.empty() ? Elimination(n) : checkpoints.back().elimination;
        brokenEqualities = checkpoints.empty() ? 0 : checkpoints.back().brokenEqualities;
        for (std::size_t i = from; i < ordered.size(); ++i) {
            const Relation& r = *ordered[i];
            if (i > from && r.priority != ordered[i - 1]->priority) {
                checkpoints.push_back({i, elimination, brokenEqualities});
            }
            if (!taken[i]) continue;
            if (!elimination.take(rows[i], -r.expression.constant) && r.priority >= kRequired &&
                r.relation == LinearRelation::equal) {
                ++brokenEqualities;
            }
        }
        for (std::size_t i = 0; i < n; ++i) {
            elimination.take({{static_cast<std::uint32_t>(i), 1.0}}, mPreferred[variables[i]]);
        }
        for (std::size_t i = 0; i < n; ++i) values[variables[i]] = elimination.value(i);

        const auto next = std::find_if(inequalities.begin(), inequalities.end(),
                                       [&](std::size_t i) { return !taken[i] && violated(*ordered[i]); });
        if (next == inequalities.end()) break;
        taken[*next] = 1;
        changedAt = *next;
    }
    mBrokenRequired += brokenEqualities;
    for (const std::size_t i : inequalities) {
        if (ordered[i]->priority >= kRequired && violated(*ordered[i])) ++mBrokenRequired;
    }
}

}  // namespace platform::ui::detail
