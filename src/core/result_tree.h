#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <utility>
#include <vector>

namespace lumacore {

// The folder tree a scan builds: items with a text, an image pair, a check box and a payload (the
// records of that folder, or whatever the engine hangs on it). It has exactly the operations the scans
// use — insert last under a parent, rename, set images, delete, prune — plus select/expand hints for
// the view. Views are models over it; the command line prints it.
template <typename Payload>
class ResultTree {
public:
    using ItemId = std::uint32_t;
    static constexpr ItemId kNoItem = std::numeric_limits<ItemId>::max();

    // Tree images: 0 = drive root, 1/2 = live folder (normal/selected), 3/4 = deleted folder.
    struct Item {
        std::string text;
        int image = 0;
        int selectedImage = 0;
        ItemId parent = kNoItem;
        std::vector<ItemId> children;
        Payload data{};
        bool checked = false;
        bool expanded = false;
        bool alive = true;
    };

    ItemId InsertLast(ItemId parent, std::string text) {
        const ItemId id = static_cast<ItemId>(items_.size());
        Item item;
        item.text = std::move(text);
        item.parent = parent;
        items_.push_back(std::move(item));
        if (parent == kNoItem) {
            roots_.push_back(id);
        } else {
            items_[parent].children.push_back(id);
        }
        return id;
    }

    Item& item(ItemId id) { return items_[id]; }
    const Item& item(ItemId id) const { return items_[id]; }
    bool valid(ItemId id) const { return id < items_.size() && items_[id].alive; }

    void SetText(ItemId id, std::string text) { items_[id].text = std::move(text); }
    void SetImages(ItemId id, int image, int selectedImage) {
        items_[id].image = image;
        items_[id].selectedImage = selectedImage;
    }

    // Removes an item with its whole subtree; their payloads are released.
    void Delete(ItemId id) {
        Item& victim = items_[id];
        if (!victim.alive) return;
        std::vector<ItemId>& siblings = victim.parent == kNoItem ? roots_ : items_[victim.parent].children;
        std::erase(siblings, id);
        std::vector<ItemId> pending{id};
        while (!pending.empty()) {
            const ItemId next = pending.back();
            pending.pop_back();
            Item& doomed = items_[next];
            doomed.alive = false;
            doomed.data = Payload{};
            for (ItemId child : doomed.children) pending.push_back(child);
            doomed.children.clear();
        }
        if (selected_ == id) selected_ = kNoItem;
    }

    // Deletes every item below `root` whose subtree weighs nothing, where an item weighs
    // `ownWeight(payload)` plus the weights of its children. The root itself always stays.
    void Prune(ItemId root, const std::function<std::size_t(const Payload&)>& ownWeight) {
        // Children are created after their parent, so a reverse pass over the ids sees every child first.
        std::vector<std::size_t> weight(items_.size(), 0);
        for (std::size_t i = items_.size(); i-- > 0;) {
            if (!items_[i].alive || !InSubtree(static_cast<ItemId>(i), root)) continue;
            weight[i] += ownWeight(items_[i].data);
            if (items_[i].parent != kNoItem) weight[items_[i].parent] += weight[i];
        }
        for (std::size_t i = items_.size(); i-- > 0;) {
            if (static_cast<ItemId>(i) == root || !items_[i].alive || weight[i] != 0) continue;
            if (InSubtree(static_cast<ItemId>(i), root)) Delete(static_cast<ItemId>(i));
        }
    }

    const std::vector<ItemId>& roots() const { return roots_; }
    std::size_t capacity() const { return items_.size(); }

    ItemId selected() const { return selected_; }
    void Select(ItemId id) { selected_ = id; }
    void Expand(ItemId id) { items_[id].expanded = true; }

    // Visits the items under (and including) `from` breadth first, children first to last.
    template <typename Visit>
    void BreadthFirst(ItemId from, Visit visit) const {
        std::vector<ItemId> queue{from};
        for (std::size_t head = 0; head < queue.size(); ++head) {
            const ItemId id = queue[head];
            if (!visit(id)) continue;  // false: skip this item's subtree
            for (ItemId child : items_[id].children) queue.push_back(child);
        }
    }

    // "\a\b" style path of an item below the root, built from the item up, the root's text left out.
    std::vector<std::string> PathBelowRoot(ItemId id) const {
        std::vector<std::string> parts;
        for (ItemId at = id; at != kNoItem && items_[at].parent != kNoItem; at = items_[at].parent) {
            parts.insert(parts.begin(), items_[at].text);
        }
        return parts;
    }

private:
    bool InSubtree(ItemId id, ItemId root) const {
        for (ItemId at = id; at != kNoItem; at = items_[at].parent) {
            if (at == root) return true;
        }
        return false;
    }

    std::vector<Item> items_;
    std::vector<ItemId> roots_;
    ItemId selected_ = kNoItem;
};

}  // namespace lumacore
