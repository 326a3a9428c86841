// Copying owned subtrees of blocks from one file into another of the same form. The block
// descriptions say which references a block owns and which point back; the copy follows the
// owned ones, brings back references to matched blocks of the target, and re-adds every string
// reference's text to the target's string table.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "NifFile.h"

// The blocks owned, directly or not, by `root` (itself first), without scene objects: an owned
// reference to a node or shape is a link into the scene, never part of a copy. Fills `problem`
// when the subtree holds a raw block or a reference outside the file.
std::vector<uint32_t> OwnedSubtree(const NifFile& file, uint32_t root, std::string& problem);

// The nodes and shapes that hold a collision object, by name, in block order: the collision
// objects they hold. Two files' collisions pair up by name, the n-th of a name with the n-th.
std::map<std::string, std::vector<BlockRef>> CollisionHolders(const NifFile& file);

// Blocks among `candidates` (and what only they own) that nothing owns any more and the footer
// does not name: what is left when slots were given other blocks. Ascending.
std::vector<uint32_t> UnownedBlocks(const NifFile& file, const std::vector<uint32_t>& candidates);

class SubtreeCopier {
  public:
    // Both files are in one form; `from` is not changed.
    SubtreeCopier(const NifFile& from, NifFile& to) : from_(from), to_(to) {}

    // References to the source block `fromBlock` land on `toBlock` of the target.
    void Match(uint32_t fromBlock, uint32_t toBlock) { matched_[fromBlock] = toBlock; }
    // The target block matched with a source block, or kNoBlock.
    BlockRef MatchOf(uint32_t fromBlock) const;
    // The copy of a source block a commit made, or kNoBlock.
    BlockRef CopyOf(uint32_t fromBlock) const {
        auto it = copied_.find(fromBlock);
        return it == copied_.end() ? kNoBlock : static_cast<BlockRef>(it->second);
    }

    // Asks for the subtree under `root` to be copied; returns its ticket. A planned subtree
    // whose every block can be copied and whose every back reference lands on a matched block
    // or on a block copied along is copied by Commit; the others get a reason.
    size_t Plan(uint32_t root);
    // Copies what can be copied, each shared block once, and returns for each ticket the new
    // index of its root (kNoBlock when it was not copied, with Reason saying why).
    std::vector<BlockRef> Commit();
    const std::string& Reason(size_t ticket) const { return units_[ticket].reason; }
    // The source blocks of a ticket's subtree.
    const std::vector<uint32_t>& Blocks(size_t ticket) const { return units_[ticket].blocks; }

  private:
    struct Unit {
        uint32_t root = 0;
        std::vector<uint32_t> blocks;
        std::string reason;
    };
    std::string DescribeBlock(const NifFile& file, uint32_t index) const;

    const NifFile& from_;
    NifFile& to_;
    std::map<uint32_t, uint32_t> matched_;  // source block -> target block
    std::map<uint32_t, uint32_t> copied_;   // source block -> its copy, across commits
    std::vector<Unit> units_;
};
