#include "row_order.h"

#include <algorithm>

namespace olvex {

void RowOrderTree::Clear() {
    links.clear();
    free.clear();
    root = kNil;
}

uint32_t RowOrderTree::New() {
    const Link link{kNil, kNil, kNil, 1, NextPriority()};
    if (free.empty()) {
        links.push_back(link);
        return static_cast<uint32_t>(links.size() - 1);
    }
    const uint32_t id = free.back();
    free.pop_back();
    links[id] = link;
    return id;
}

uint32_t RowOrderTree::PlaceOf(uint32_t node) const {
    uint32_t place = Size(links[node].left);
    for (uint32_t child = node, up = links[node].parent; up != kNil;
         child = up, up = links[up].parent) {
        if (links[up].right == child)
            place += Size(links[up].left) + 1;
    }
    return place;
}

uint32_t RowOrderTree::At(uint32_t place) const {
    uint32_t node = root;
    while (node != kNil) {
        const uint32_t left = Size(links[node].left);
        if (place < left) {
            node = links[node].left;
        } else if (place == left) {
            return node;
        } else {
            place -= left + 1;
            node = links[node].right;
        }
    }
    return kNil;
}

uint32_t RowOrderTree::Next(uint32_t node) const {
    if (links[node].right != kNil) {
        node = links[node].right;
        while (links[node].left != kNil)
            node = links[node].left;
        return node;
    }
    uint32_t up = links[node].parent;
    while (up != kNil && links[up].right == node) {
        node = up;
        up = links[up].parent;
    }
    return up;
}

void RowOrderTree::InsertAbove(uint32_t below, uint32_t node) {
    links[node].left = links[node].right = kNil;
    links[node].size = 1;
    if (root == kNil) {
        links[node].parent = kNil;
        root = node;
        return;
    }
    if (below == kNil) {
        below = root;
        while (links[below].left != kNil)
            below = links[below].left;
    }
    uint32_t parent = below;
    if (links[below].left == kNil) {
        links[below].left = node;
    } else {
        parent = links[below].left;
        while (links[parent].right != kNil)
            parent = links[parent].right;
        links[parent].right = node;
    }
    links[node].parent = parent;
    for (uint32_t up = parent; up != kNil; up = links[up].parent)
        ++links[up].size;
    while (links[node].parent != kNil && links[node].priority > links[links[node].parent].priority)
        RotateUp(node);
}

void RowOrderTree::Append(uint32_t node) {
    auto [before, after] = Split(root, Count());
    root = Merge(Merge(before, node), after);
    links[root].parent = kNil;
}

void RowOrderTree::Assign(uint32_t count) {
    Clear();
    links.resize(count);
    // A Cartesian tree built along its right spine: a node with a higher priority than the
    // spine's lower end takes the nodes it passes as its left subtree, which are complete
    // then and get their sizes.
    std::vector<uint32_t> spine;
    for (uint32_t node = 0; node < count; ++node) {
        links[node] = {kNil, kNil, kNil, 1, NextPriority()};
        uint32_t passed = kNil;
        while (!spine.empty() && links[spine.back()].priority < links[node].priority) {
            passed = spine.back();
            spine.pop_back();
            Update(passed);
        }
        links[node].left = passed;
        if (passed != kNil)
            links[passed].parent = node;
        if (!spine.empty()) {
            links[spine.back()].right = node;
            links[node].parent = spine.back();
        }
        spine.push_back(node);
    }
    root = spine.empty() ? kNil : spine.front();
    while (!spine.empty()) {
        Update(spine.back());
        spine.pop_back();
    }
}

void RowOrderTree::Erase(uint32_t node) {
    const uint32_t parent = links[node].parent;
    const uint32_t merged = Merge(links[node].left, links[node].right);
    if (merged != kNil)
        links[merged].parent = parent;
    if (parent == kNil)
        root = merged;
    else if (links[parent].left == node)
        links[parent].left = merged;
    else
        links[parent].right = merged;
    for (uint32_t up = parent; up != kNil; up = links[up].parent)
        --links[up].size;
    free.push_back(node);
}

uint32_t RowOrderTree::Height() const {
    // Without recursion: a tree gone wrong may be as deep as it has nodes.
    uint32_t height = 0;
    std::vector<std::pair<uint32_t, uint32_t>> pending;
    if (root != kNil)
        pending.emplace_back(root, 1);
    while (!pending.empty()) {
        const auto [node, depth] = pending.back();
        pending.pop_back();
        height = std::max(height, depth);
        if (links[node].left != kNil)
            pending.emplace_back(links[node].left, depth + 1);
        if (links[node].right != kNil)
            pending.emplace_back(links[node].right, depth + 1);
    }
    return height;
}

// Lifts the node above its parent, keeping the order of the rows.
void RowOrderTree::RotateUp(uint32_t node) {
    const uint32_t parent = links[node].parent;
    const uint32_t grand = links[parent].parent;
    if (links[parent].left == node) {
        links[parent].left = links[node].right;
        links[node].right = parent;
    } else {
        links[parent].right = links[node].left;
        links[node].left = parent;
    }
    Update(parent);
    Update(node);
    links[node].parent = grand;
    if (grand == kNil)
        root = node;
    else if (links[grand].left == parent)
        links[grand].left = node;
    else
        links[grand].right = node;
}

void RowOrderTree::Update(uint32_t node) {
    Link& n = links[node];
    n.size = 1 + Size(n.left) + Size(n.right);
    if (n.left != kNil)
        links[n.left].parent = node;
    if (n.right != kNil)
        links[n.right].parent = node;
}

// The first `count` rows of the tree, and the rest.
std::pair<uint32_t, uint32_t> RowOrderTree::Split(uint32_t tree, uint32_t count) {
    if (tree == kNil)
        return {kNil, kNil};
    Link& n = links[tree];
    if (Size(n.left) >= count) {
        auto [before, after] = Split(n.left, count);
        links[tree].left = after;
        Update(tree);
        if (before != kNil)
            links[before].parent = kNil;
        return {before, tree};
    }
    auto [before, after] = Split(n.right, count - Size(n.left) - 1);
    links[tree].right = before;
    Update(tree);
    if (after != kNil)
        links[after].parent = kNil;
    return {tree, after};
}

uint32_t RowOrderTree::Merge(uint32_t first, uint32_t second) {
    if (first == kNil)
        return second;
    if (second == kNil)
        return first;
    if (links[first].priority > links[second].priority) {
        links[first].right = Merge(links[first].right, second);
        Update(first);
        return first;
    }
    links[second].left = Merge(first, links[second].left);
    Update(second);
    return second;
}

uint32_t RowOrderTree::NextPriority() {
    seed ^= seed << 13;
    seed ^= seed >> 17;
    seed ^= seed << 5;
    return seed;
}

} // namespace olvex
