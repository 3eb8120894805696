#pragma once

#include <cstdint>
#include <utility>
#include <vector>

namespace olvex {

// The rows of a list in display order, as a treap ordered by position: a row's place, the
// row at a place, insertion above a row and removal all take logarithmic time. Rows are named
// by small numbers (nodes); a removed row's number is given out again.
class RowOrderTree {
public:
    static constexpr uint32_t kNil = UINT32_MAX;

    uint32_t Count() const { return Size(root); }
    // How many node numbers have been given out: every node is below this.
    uint32_t Nodes() const { return static_cast<uint32_t>(links.size()); }

    void Clear();
    // A node of its own, in no place yet.
    uint32_t New();
    // Zero-based place from the top.
    uint32_t PlaceOf(uint32_t node) const;
    // The node at `place`, or kNil.
    uint32_t At(uint32_t place) const;
    // The node below `node` in display order, or kNil.
    uint32_t Next(uint32_t node) const;
    // Puts the node directly above `below`, or at the top when `below` is kNil.
    void InsertAbove(uint32_t below, uint32_t node);
    // Appends in order; the caller builds a whole list this way.
    void Append(uint32_t node);
    // Replaces everything by `count` rows whose nodes are their places (0 at the top), in
    // linear time.
    void Assign(uint32_t count);
    // The first node from the top for which `before(node)` is false, or kNil. The rows must
    // be ordered so that `before` is true down to some place and false from there on: this is
    // where a row goes in a sorted list.
    template <typename Before> uint32_t FirstNotBefore(Before before) const {
        uint32_t found = kNil;
        for (uint32_t node = root; node != kNil;) {
            if (before(node)) {
                node = links[node].right;
            } else {
                found = node;
                node = links[node].left;
            }
        }
        return found;
    }
    // Takes the node out; its number goes back for reuse.
    void Erase(uint32_t node);
    // The longest walk from the root, in nodes: what a look-up costs at worst.
    uint32_t Height() const;

private:
    uint32_t Size(uint32_t node) const { return node == kNil ? 0 : links[node].size; }
    void RotateUp(uint32_t node);
    void Update(uint32_t node);
    std::pair<uint32_t, uint32_t> Split(uint32_t tree, uint32_t count);
    uint32_t Merge(uint32_t first, uint32_t second);
    uint32_t NextPriority();

    struct Link {
        uint32_t left;
        uint32_t right;
        uint32_t parent;
        uint32_t size;
        uint32_t priority;
    };
    std::vector<Link> links;
    std::vector<uint32_t> free;
    uint32_t root = kNil;
    uint32_t seed = 2463534242u;
};

// The tree with a row of data per node. The data sit apart from the tree, so that walks
// through it touch less memory.
template <typename Row> class RowOrder : private RowOrderTree {
public:
    using Node = Row;
    using RowOrderTree::Append;
    using RowOrderTree::At;
    using RowOrderTree::Count;
    using RowOrderTree::Height;
    using RowOrderTree::InsertAbove;
    using RowOrderTree::kNil;
    using RowOrderTree::Next;
    using RowOrderTree::Nodes;
    using RowOrderTree::PlaceOf;

    Row& operator[](uint32_t node) { return rows[node]; }
    const Row& operator[](uint32_t node) const { return rows[node]; }

    void Clear() {
        rows.clear();
        RowOrderTree::Clear();
    }

    uint32_t New(Row row) {
        const uint32_t node = RowOrderTree::New();
        if (node == rows.size())
            rows.push_back(std::move(row));
        else
            rows[node] = std::move(row);
        return node;
    }

    // The row's data are dropped at once: they may hold on to much more than the row.
    void Erase(uint32_t node) {
        RowOrderTree::Erase(node);
        rows[node] = Row{};
    }

private:
    std::vector<Row> rows;
};

} // namespace olvex
