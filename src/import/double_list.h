#pragma once
// The name-to-text dictionary of the header import, its three orderings and the
// in-place text replacement that the calibration formulas use too.
//
// A DoubleList is a list of (key, value) entries kept in the order of one
// compare function; positions count from 1. Keys and values are growable texts,
// so no declaration or define is ever cut to fit a buffer. The list keeps the
// texts itself, side by side in large blocks (an import holds many thousands
// of short ones); an entry's views stay valid until the list is cleared.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tavomark {

// Negative, zero or positive, like strcmp.
using CompareFn = int (*)(std::string_view first, std::string_view second);

// Plain byte order, first against second.
[[nodiscard]] int CmpString(std::string_view first, std::string_view second);
// Byte order ignoring ASCII letter case.
[[nodiscard]] int NoCaseSensitiveCmpString(std::string_view first, std::string_view second);
// Longer texts first; equal lengths in descending byte order. Walking a list in
// this order substitutes a longer name before any shorter name inside it.
[[nodiscard]] int StringLen(std::string_view first, std::string_view second);

class DoubleList {
 public:
  struct Item {
    std::string_view key;
    std::string_view value;
  };

  // Keeps the entry at its sorted place; equal keys stay in insertion order, so
  // lookups find the one inserted first. The same compare must be used for every
  // insertion and lookup of one list (a different one re-sorts the list).
  void InsertInOrder(std::string_view key, std::string_view value, CompareFn compare);
  // The value of the first entry whose key compares equal, or null.
  [[nodiscard]] const std::string_view* BinSearch(std::string_view key, CompareFn compare) const;
  // The entry at a 1-based position, or null outside 1..N.
  [[nodiscard]] const Item* GetItem(std::size_t position) const;
  [[nodiscard]] std::size_t NumItems() const { return m_items.size(); }
  void Clear();

  // Replaces every key found in text by its value, walking the entries in list
  // order from the first and starting again after every entry that replaced
  // something. Returns the number of passes that replaced something, or
  // kSubstLimitExceeded when a self-referencing define keeps the text changing
  // past kMaxSubstPasses passes or the text grows beyond kMaxSubstTextBytes
  // (text then holds the last state reached).
  [[nodiscard]] int SubstString(std::string& text) const;

 private:
  // One node of the substitution trie. Chains of single children are kept as
  // one node whose label holds their characters, so a tree of n keys has at
  // most 2n nodes whatever their length. A node's children sit side by side
  // (the first characters of their labels in m_childChars, their nodes in
  // m_childNodes), so finding the next one reads one short run of bytes.
  struct TrieNode {
    uint32_t labelStart = 0;  // in m_labels
    uint32_t labelLength = 0;
    uint32_t childStart = 0;
    uint32_t childCount = 0;
    uint32_t entry = 0;  // kNoEntry, or the 0-based entry a key ending here replaces with
  };
  static constexpr uint32_t kNoEntry = UINT32_MAX;
  // A distinct key, the entry that a substitution uses for it, and its first
  // eight bytes as a number (see m_prefixes).
  struct KeyEntry {
    std::string_view key;
    uint32_t entry;
    uint64_t prefix;
  };

  // A copy of text in the list's own blocks.
  [[nodiscard]] std::string_view Keep(std::string_view text);
  void Sort() const;
  void SortLongestFirst() const;
  void BuildIndex() const;
  // The keys of the index in ascending byte order, each once.
  [[nodiscard]] std::vector<KeyEntry> IndexKeys() const;
  [[nodiscard]] std::vector<KeyEntry> MergeLengthRuns() const;
  void BuildTrie(const std::vector<KeyEntry>& keys) const;
  // The first entry, in list order, whose key occurs in text and would change
  // it; kNoEntry when there is none.
  [[nodiscard]] uint32_t FirstReplacingEntry(std::string_view text) const;
  // The child whose label starts with c, or 0.
  [[nodiscard]] uint32_t FindChild(const TrieNode& node, unsigned char c) const;

  mutable std::vector<Item> m_items;
  // The first eight bytes of each key, big-endian, in list order; filled by
  // the sort. Comparing them settles most comparisons without reading the
  // keys, which lie in insertion order, scattered against the sorted one.
  mutable std::vector<uint64_t> m_prefixes;
  std::vector<std::unique_ptr<char[]>> m_blocks;
  std::size_t m_blockUsed = 0;
  std::size_t m_blockSize = 0;
  mutable bool m_sorted = true;
  CompareFn m_compare = nullptr;
  // Substitution index over the keys, rebuilt at the first substitution after
  // the list changed: a trie whose key ends carry the entry that replaces.
  mutable std::vector<TrieNode> m_trie;
  mutable std::vector<char> m_labels;
  mutable std::vector<unsigned char> m_childChars;
  mutable std::vector<uint32_t> m_childNodes;
  mutable std::array<uint32_t, 256> m_rootChild{};
  mutable bool m_indexed = false;
};

inline constexpr int kSubstLimitExceeded = -1;
inline constexpr int kMaxSubstPasses = 1024;
inline constexpr std::size_t kMaxSubstTextBytes = 1u << 20;

// The documented entry points, over the class above.
[[nodiscard]] DoubleList DoubleListCreate();
void DoubleListDispose(DoubleList& list);
void DoubleListInsertInOrder(DoubleList& list, std::string_view key, std::string_view value, CompareFn compare);
[[nodiscard]] const std::string_view* DoubleListBinSearch(const DoubleList& list, std::string_view key, CompareFn compare);
[[nodiscard]] const DoubleList::Item* DoubleListGetItem(const DoubleList& list, std::size_t position);
[[nodiscard]] std::size_t DoubleListNumItems(const DoubleList& list);
[[nodiscard]] int DoubleListSubstString(std::string& text, const DoubleList& list);

// Replaces every occurrence of find in text by replacement. After each
// replacement the search goes on from the start of the inserted text, so a name
// completed by the text that follows it is found too; a replacement that holds
// find itself is skipped over instead, so the call always ends. Returns true if
// anything was replaced; false (text unchanged) when find is empty or equal to
// replacement.
bool ReplaceStr(std::string& text, std::string_view find, std::string_view replacement);

}  // namespace tavomark
