#pragma once

#include <algorithm>
#include <cstddef>
#include <numeric>
#include <vector>

namespace ivra {

// Disjoint sets of elements 0…n-1 (text parts into lines, runs into stacks, flat runs into
// islands). The root of a set is always its lowest element.
class UnionFind {
public:
    explicit UnionFind(size_t count = 0)
        : m_parent(count) {
        std::iota(m_parent.begin(), m_parent.end(), 0);
    }

    // A new element in a set of its own.
    size_t add() {
        m_parent.push_back(m_parent.size());
        return m_parent.size() - 1;
    }

    size_t size() const { return m_parent.size(); }

    size_t find(size_t i) {
        while (m_parent[i] != i) {
            m_parent[i] = m_parent[m_parent[i]];
            i = m_parent[i];
        }
        return i;
    }

    // Joins the sets of `a` and `b`; returns the joined set's root.
    size_t unite(size_t a, size_t b) {
        a = find(a);
        b = find(b);
        m_parent[std::max(a, b)] = std::min(a, b);
        return std::min(a, b);
    }

    // The sets, each its elements ascending, in the order of their lowest elements.
    std::vector<std::vector<size_t>> groups() {
        std::vector<std::vector<size_t>> result;
        std::vector<size_t> index(m_parent.size());
        for (size_t i = 0; i < m_parent.size(); ++i) {
            const size_t root = find(i);
            if (root == i) {
                index[i] = result.size();
                result.emplace_back();
            }
            result[index[root]].push_back(i);
        }
        return result;
    }

private:
    std::vector<size_t> m_parent;
};

} // namespace ivra
