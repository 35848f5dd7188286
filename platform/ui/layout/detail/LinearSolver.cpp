#include "platform/ui/layout/detail/LinearSolver.h"

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
// order, so the values come out the same to the bit. Everything lives in a
// few flat arrays, as the solver copies the whole state at each change of
// priority.
class Elimination {
public:
    explicit Elimination(std::size_t n) : mPivotRow(n, npos), mColumnHead(n, npos) {}

    struct Entry {
        std::uint32_t variable;
        double value;
    };
    // Sorted by variable.
    using Row = std::vector<Entry>;

    // Takes sum(c[i] * x[i]) = r; false when it disagrees with what was
    // taken (it is then dropped). A relation that adds nothing is true.
    bool take(const Row& relation, double r) {
        // Working rows, kept from call to call: a solve takes thousands.
        thread_local Row c;
        thread_local Row scratch;
        thread_local std::vector<std::uint32_t> named;
        c.assign(relation.begin(), relation.end());
        // Subtract the rows whose pivots it names, in the order the rows
        // were taken: none of them names another's pivot, so which ones is
        // known from the start.
        named.clear();
        for (const Entry& e : c) {
            if (e.value != 0 && mPivotRow[e.variable] != npos) named.push_back(mPivotRow[e.variable]);
        }
        std::sort(named.begin(), named.end());
        for (const std::uint32_t k : named) {
            const double f = valueIn(c.data(), c.data() + c.size(), mPivots[k]);
            if (f == 0) continue;
            subtract(c.data(), c.data() + c.size(), f, rowBegin(k), rowEnd(k), npos, scratch);
            c.swap(scratch);
            r -= f * mRhs[k];
        }
        std::uint32_t pivot = npos;
        double largest = kZero;
        double p = 0;
        for (const Entry& e : c) {
            if (std::abs(e.value) > largest) {
                largest = std::abs(e.value);
                pivot = e.variable;
                p = e.value;
            }
        }
        if (pivot == npos) return std::abs(r) <= kSlack;
        for (Entry& e : c) e.value /= p;
        r /= p;
        std::erase_if(c, [](const Entry& e) { return e.value == 0; });
        for (Entry& e : c) {
            if (e.variable == pivot) e.value = 1;
        }
        const auto index = static_cast<std::uint32_t>(mRows.size());
        for (std::uint32_t node = mColumnHead[pivot]; node != npos; node = mNodes[node].next) {
            const std::uint32_t k = mNodes[node].row;
            const Entry* at = find(rowBegin(k), rowEnd(k), pivot);
            if (at == nullptr || at->value == 0) continue;
            const double f = at->value;
            subtract(rowBegin(k), rowEnd(k), f, c.data(), c.data() + c.size(), k, scratch);
            std::erase_if(scratch, [pivot](const Entry& e) { return e.variable == pivot; });
            mRows[k] = {static_cast<std::uint32_t>(mEntries.size()), static_cast<std::uint32_t>(scratch.size())};
            mEntries.insert(mEntries.end(), scratch.begin(), scratch.end());
            mRhs[k] -= f * r;
        }
        mColumnHead[pivot] = npos;
        for (const Entry& e : c) {
            if (e.variable != pivot) addToColumn(e.variable, index);
        }
        mPivotRow[pivot] = index;
        mPivots.push_back(pivot);
        mRows.push_back({static_cast<std::uint32_t>(mEntries.size()), static_cast<std::uint32_t>(c.size())});
        mEntries.insert(mEntries.end(), c.begin(), c.end());
        mRhs.push_back(r);
        return true;
    }

    bool isPivot(std::size_t variable) const { return mPivotRow[variable] != npos; }
    // Once every variable is a pivot, each row reads x = rhs.
    double value(std::size_t variable) const { return mRhs[mPivotRow[variable]]; }

private:
    static constexpr std::uint32_t npos = static_cast<std::uint32_t>(-1);

    // A row's entries in mEntries; a row changed is written anew at the end.
    struct Span {
        std::uint32_t begin;
        std::uint32_t size;
    };
    // A row in a variable's list of rows.
    struct Node {
        std::uint32_t row;
        std::uint32_t next;
    };

    const Entry* rowBegin(std::uint32_t k) const { return mEntries.data() + mRows[k].begin; }
    const Entry* rowEnd(std::uint32_t k) const { return mEntries.data() + mRows[k].begin + mRows[k].size; }

    static const Entry* find(const Entry* begin, const Entry* end, std::uint32_t variable) {
        const Entry* at =
            std::lower_bound(begin, end, variable, [](const Entry& e, std::uint32_t v) { return e.variable < v; });
        return at != end && at->variable == variable ? at : nullptr;
    }
    static double valueIn(const Entry* begin, const Entry* end, std::uint32_t variable) {
        const Entry* at = find(begin, end, variable);
        return at == nullptr ? 0 : at->value;
    }

    void addToColumn(std::uint32_t variable, std::uint32_t row) {
        mNodes.push_back({row, mColumnHead[variable]});
        mColumnHead[variable] = static_cast<std::uint32_t>(mNodes.size() - 1);
    }

    // out = a - f * b. Entries only b has are new in row `row` (none for
    // npos): the index learns of them.
    void subtract(const Entry* a, const Entry* aEnd, double f, const Entry* b, const Entry* bEnd, std::uint32_t row,
                  Row& out) {
        out.clear();
        out.reserve(static_cast<std::size_t>((aEnd - a) + (bEnd - b)));
        while (a != aEnd || b != bEnd) {
            if (b == bEnd || (a != aEnd && a->variable < b->variable)) {
                out.push_back(*a++);
            } else if (a == aEnd || b->variable < a->variable) {
                out.push_back({b->variable, 0 - f * b->value});
                if (row != npos) addToColumn(b->variable, row);
                ++b;
            } else {
                out.push_back({a->variable, a->value - f * b->value});
                ++a;
                ++b;
            }
        }
    }

    std::vector<std::uint32_t> mPivotRow;
    // For each variable that is no pivot, the first of the rows it may
    // appear in.
    std::vector<std::uint32_t> mColumnHead;
    std::vector<Node> mNodes;
    std::vector<std::uint32_t> mPivots;
    std::vector<Span> mRows;
    std::vector<Entry> mEntries;
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
        Elimination::Row unit(1);
        for (std::size_t i = 0; i < n; ++i) {
            unit[0] = {static_cast<std::uint32_t>(i), 1.0};
            elimination.take(unit, mPreferred[variables[i]]);
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
