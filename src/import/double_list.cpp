#include "double_list.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

namespace tavomark {

namespace {

int ByteCompare(std::string_view a, std::string_view b) {
  const int c = a.compare(b);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

// The first eight bytes as a big-endian number, zeros after a shorter text:
// numbers compare as the bytes do, up to the eighth.
uint64_t BigEndianPrefix(std::string_view text) {
  uint64_t prefix = 0;
  for (std::size_t k = 0; k < 8; ++k)
    prefix = (prefix << 8) | (k < text.size() ? static_cast<unsigned char>(text[k]) : 0u);
  return prefix;
}

}  // namespace

int CmpString(std::string_view first, std::string_view second) { return ByteCompare(first, second); }

int NoCaseSensitiveCmpString(std::string_view first, std::string_view second) {
  const std::size_t n = std::min(first.size(), second.size());
  for (std::size_t i = 0; i < n; ++i) {
    const int a = std::tolower(static_cast<unsigned char>(first[i]));
    const int b = std::tolower(static_cast<unsigned char>(second[i]));
    if (a != b) return a < b ? -1 : 1;
  }
  if (first.size() == second.size()) return 0;
  return first.size() < second.size() ? -1 : 1;
}

int StringLen(std::string_view first, std::string_view second) {
  if (first.size() != second.size()) return second.size() > first.size() ? 1 : -1;
  return ByteCompare(second, first);
}

std::string_view DoubleList::Keep(std::string_view text) {
  constexpr std::size_t kBlockBytes = 1 << 16;
  if (text.empty()) return {};
  if (m_blockSize - m_blockUsed < text.size()) {
    m_blockSize = std::max(kBlockBytes, text.size());
    m_blocks.push_back(std::make_unique<char[]>(m_blockSize));
    m_blockUsed = 0;
  }
  char* at = m_blocks.back().get() + m_blockUsed;
  std::memcpy(at, text.data(), text.size());
  m_blockUsed += text.size();
  return std::string_view(at, text.size());
}

void DoubleList::InsertInOrder(std::string_view key, std::string_view value, CompareFn compare) {
  if (compare != m_compare) {
    m_compare = compare;
    m_sorted = false;
  }
  // Appending keeps the list sorted as long as keys arrive in order; otherwise
  // the list is sorted once, at the next lookup, instead of shifting on every
  // insertion.
  if (m_sorted && !m_items.empty() && compare(m_items.back().key, key) > 0) m_sorted = false;
  m_items.push_back(Item{Keep(key), Keep(value)});
  m_prefixes.clear();
  m_indexed = false;
}

void DoubleList::Sort() const {
  if (m_sorted) return;
  m_prefixes.clear();
  if (m_compare == StringLen) {
    SortLongestFirst();
  } else {
    const CompareFn compare = m_compare;
    std::stable_sort(m_items.begin(), m_items.end(),
                     [compare](const Item& a, const Item& b) { return compare(a.key, b.key) < 0; });
  }
  m_sorted = true;
  m_indexed = false;
}

// The define list's order (StringLen, equal keys in insertion order) sorted on
// small keys: the length and the first eight bytes settle nearly every
// comparison, and the entries move once, at the end.
void DoubleList::SortLongestFirst() const {
  struct SortKey {
    uint32_t length;
    uint32_t index;
    uint64_t prefix;  // the first 8 bytes, big-endian: compares as the bytes do
  };
  std::vector<SortKey> order(m_items.size());
  for (std::size_t i = 0; i < m_items.size(); ++i) {
    const std::string_view key = m_items[i].key;
    order[i] = SortKey{static_cast<uint32_t>(key.size()), static_cast<uint32_t>(i), BigEndianPrefix(key)};
  }
  std::sort(order.begin(), order.end(), [this](const SortKey& a, const SortKey& b) {
    if (a.length != b.length) return a.length > b.length;
    if (a.prefix != b.prefix) return a.prefix > b.prefix;
    if (a.length > 8) {
      const int c = std::memcmp(m_items[a.index].key.data() + 8, m_items[b.index].key.data() + 8, a.length - 8);
      if (c != 0) return c > 0;
    }
    return a.index < b.index;
  });
  std::vector<Item> sorted;
  sorted.reserve(m_items.size());
  m_prefixes.resize(m_items.size());
  for (std::size_t i = 0; i < order.size(); ++i) {
    sorted.push_back(m_items[order[i].index]);
    m_prefixes[i] = order[i].prefix;
  }
  m_items = std::move(sorted);
}

const std::string_view* DoubleList::BinSearch(std::string_view key, CompareFn compare) const {
  Sort();
  const auto it = std::lower_bound(m_items.begin(), m_items.end(), key,
                                   [compare](const Item& item, std::string_view k) { return compare(item.key, k) < 0; });
  if (it == m_items.end() || compare(it->key, key) != 0) return nullptr;
  return &it->value;
}

const DoubleList::Item* DoubleList::GetItem(std::size_t position) const {
  Sort();
  if (position < 1 || position > m_items.size()) return nullptr;
  return &m_items[position - 1];
}

void DoubleList::Clear() {
  m_items.clear();
  m_prefixes.clear();
  m_blocks.clear();
  m_blockUsed = 0;
  m_blockSize = 0;
  m_trie.clear();
  m_labels.clear();
  m_childChars.clear();
  m_childNodes.clear();
  m_rootChild.fill(0);
  m_sorted = true;
  m_indexed = false;
}

// Every distinct key goes into the trie once, carrying the entry that a
// substitution would use for it: the first entry with that key whose value
// differs from the key (an entry that maps a name to itself changes nothing).
void DoubleList::BuildIndex() const {
  Sort();
  if (m_indexed) return;
  BuildTrie(m_compare == StringLen ? MergeLengthRuns() : IndexKeys());
  m_indexed = true;
}

std::vector<DoubleList::KeyEntry> DoubleList::IndexKeys() const {
  std::vector<std::pair<std::string_view, uint32_t>> firsts;
  firsts.reserve(m_items.size());
  for (std::size_t i = 0; i < m_items.size(); ++i) {
    if (!m_items[i].key.empty()) firsts.emplace_back(m_items[i].key, static_cast<uint32_t>(i));
  }
  // By key, then by position: the first of equal keys leads its group.
  std::sort(firsts.begin(), firsts.end());
  std::vector<KeyEntry> keys;
  keys.reserve(firsts.size());
  std::string_view previous;
  bool any = false;
  for (const auto& [key, first] : firsts) {
    if (any && key == previous) continue;
    any = true;
    previous = key;
    // The entries after the first with the same key, up to a different key.
    for (std::size_t i = first; i < m_items.size() && m_items[i].key == key; ++i) {
      if (m_items[i].value != key) {
        keys.push_back(KeyEntry{key, static_cast<uint32_t>(i), BigEndianPrefix(key)});
        break;
      }
    }
  }
  return keys;
}

// In the define list's order the keys of one length lie together, in
// descending byte order, equal keys side by side. Each such run read
// backwards is ascending; the runs are merged into one ascending list.
std::vector<DoubleList::KeyEntry> DoubleList::MergeLengthRuns() const {
  if (m_prefixes.size() != m_items.size()) {
    m_prefixes.resize(m_items.size());
    for (std::size_t i = 0; i < m_items.size(); ++i) m_prefixes[i] = BigEndianPrefix(m_items[i].key);
  }
  std::vector<KeyEntry> runs;
  runs.reserve(m_items.size());
  std::vector<std::pair<std::size_t, std::size_t>> bounds;  // [begin, end) in runs
  std::size_t end = m_items.size();
  while (end > 0 && m_items[end - 1].key.empty()) --end;  // empty keys sort last and replace nothing
  while (end > 0) {
    const std::size_t length = m_items[end - 1].key.size();
    std::size_t begin = end;
    while (begin > 0 && m_items[begin - 1].key.size() == length) --begin;
    const std::size_t first = runs.size();
    // Walked backwards, group by group of equal keys; each group's entry is
    // its first one in list order whose value changes the text.
    for (std::size_t groupEnd = end; groupEnd > begin;) {
      const std::string_view key = m_items[groupEnd - 1].key;
      const uint64_t prefix = m_prefixes[groupEnd - 1];
      std::size_t groupBegin = groupEnd - 1;
      while (groupBegin > begin && m_prefixes[groupBegin - 1] == prefix &&
             (length <= 8 || m_items[groupBegin - 1].key == key))
        --groupBegin;
      for (std::size_t i = groupBegin; i < groupEnd; ++i) {
        if (m_items[i].value != key) {
          runs.push_back(KeyEntry{key, static_cast<uint32_t>(i), prefix});
          break;
        }
      }
      groupEnd = groupBegin;
    }
    bounds.emplace_back(first, runs.size());
    end = begin;
  }
  if (bounds.size() <= 1) return runs;
  // Keys of different lengths never compare equal: a plain heap merge, whose
  // comparisons nearly all end at the heads' first eight bytes.
  struct Head {
    uint64_t prefix;
    std::size_t at;    // in runs
    std::size_t stop;  // the end of its run
  };
  const auto after = [&runs](const Head& a, const Head& b) {
    if (a.prefix != b.prefix) return a.prefix > b.prefix;
    return runs[a.at].key > runs[b.at].key;
  };
  std::vector<Head> heap;
  for (const auto& [begin, stop] : bounds)
    if (begin < stop) heap.push_back(Head{runs[begin].prefix, begin, stop});
  std::make_heap(heap.begin(), heap.end(), after);
  std::vector<KeyEntry> merged;
  merged.reserve(runs.size());
  while (!heap.empty()) {
    std::pop_heap(heap.begin(), heap.end(), after);
    Head& head = heap.back();
    merged.push_back(runs[head.at]);
    if (++head.at < head.stop) {
      head.prefix = runs[head.at].prefix;
      std::push_heap(heap.begin(), heap.end(), after);
    } else {
      heap.pop_back();
    }
  }
  return merged;
}

// The keys come in ascending byte order, so each one leaves the path of the
// one before at their common prefix: the trie is built in one sweep, like a
// suffix tree from a sorted list, splitting a label where a new key branches
// off inside it.
void DoubleList::BuildTrie(const std::vector<KeyEntry>& keys) const {
  struct Building {
    uint32_t key = 0;  // the label is keys[key] from labelStart, labelLength bytes
    uint32_t labelStart = 0;
    uint32_t labelLength = 0;
    uint32_t depth = 0;  // characters from the root to the label's end
    uint32_t entry = kNoEntry;
    uint32_t firstChild = 0;  // 0: none (node 0, the root, is nobody's child)
    uint32_t nextSibling = 0;
    uint32_t lastChild = 0;
  };
  std::vector<Building> nodes(1);
  nodes.reserve(2 * keys.size() + 1);
  std::vector<uint32_t> path{0};  // the nodes along the previous key
  std::string_view previous;
  uint64_t previousPrefix = 0;
  for (std::size_t k = 0; k < keys.size(); ++k) {
    const std::string_view key = keys[k].key;
    // The common prefix: within the first eight bytes from the numbers alone.
    const std::size_t most = std::min(key.size(), previous.size());
    const uint64_t differ = keys[k].prefix ^ previousPrefix;
    std::size_t common = std::min<std::size_t>(differ == 0 ? 8 : std::countl_zero(differ) / 8, most);
    if (common == 8)
      while (common < most && key[common] == previous[common]) ++common;
    uint32_t below = 0;
    while (nodes[path.back()].depth > common) {
      below = path.back();
      path.pop_back();
    }
    const uint32_t top = path.back();
    if (nodes[top].depth < common) {
      // The new key branches off inside the label of top's last child: that
      // child keeps its place (so top's links stay) as the node that ends at
      // the branch, and its rest moves to a new node below it.
      const auto moved = static_cast<uint32_t>(nodes.size());
      Building rest = nodes[below];
      const uint32_t head = static_cast<uint32_t>(common) - nodes[top].depth;
      rest.labelStart += head;
      rest.labelLength -= head;
      rest.nextSibling = 0;
      nodes.push_back(rest);
      Building& split = nodes[below];
      split.labelLength = head;
      split.depth = static_cast<uint32_t>(common);
      split.entry = kNoEntry;
      split.firstChild = moved;
      split.lastChild = moved;
      path.push_back(below);
    }
    // Keys are distinct and ascending, so none is a prefix of the one before
    // and the new label is never empty.
    const uint32_t parent = path.back();
    const auto leaf = static_cast<uint32_t>(nodes.size());
    nodes.push_back(Building{static_cast<uint32_t>(k), static_cast<uint32_t>(common),
                             static_cast<uint32_t>(key.size() - common), static_cast<uint32_t>(key.size()),
                             keys[k].entry, 0, 0, 0});
    if (nodes[parent].lastChild == 0) {
      nodes[parent].firstChild = leaf;
    } else {
      nodes[nodes[parent].lastChild].nextSibling = leaf;
    }
    nodes[parent].lastChild = leaf;
    path.push_back(leaf);
    previous = key;
    previousPrefix = keys[k].prefix;
  }
  // Each node's children gathered side by side, each label copied once.
  m_trie.assign(nodes.size(), TrieNode{0, 0, 0, 0, kNoEntry});
  m_labels.clear();
  m_childChars.clear();
  m_childNodes.clear();
  m_childChars.reserve(nodes.size());
  m_childNodes.reserve(nodes.size());
  m_rootChild.fill(0);
  std::size_t labelBytes = 0;
  for (const Building& node : nodes) labelBytes += node.labelLength;
  m_labels.reserve(labelBytes);
  for (std::size_t n = 0; n < nodes.size(); ++n) {
    const Building& from = nodes[n];
    TrieNode& node = m_trie[n];
    node.entry = from.entry;
    node.labelStart = static_cast<uint32_t>(m_labels.size());
    node.labelLength = from.labelLength;
    if (from.labelLength != 0) {
      const std::string_view label = keys[from.key].key.substr(from.labelStart, from.labelLength);
      m_labels.insert(m_labels.end(), label.begin(), label.end());
    }
  }
  // A child's character is the first of its label.
  for (std::size_t n = 0; n < nodes.size(); ++n) {
    TrieNode& node = m_trie[n];
    node.childStart = static_cast<uint32_t>(m_childNodes.size());
    for (uint32_t child = nodes[n].firstChild; child != 0; child = nodes[child].nextSibling) {
      m_childChars.push_back(static_cast<unsigned char>(m_labels[m_trie[child].labelStart]));
      m_childNodes.push_back(child);
    }
    node.childCount = static_cast<uint32_t>(m_childNodes.size()) - node.childStart;
  }
  for (uint32_t child = nodes[0].firstChild; child != 0; child = nodes[child].nextSibling)
    m_rootChild[static_cast<unsigned char>(m_labels[m_trie[child].labelStart])] = child;
}

uint32_t DoubleList::FindChild(const TrieNode& node, unsigned char c) const {
  const unsigned char* chars = m_childChars.data() + node.childStart;
  // Most nodes have a few children: a short loop beats a call.
  if (node.childCount <= 8) {
    for (uint32_t i = 0; i < node.childCount; ++i)
      if (chars[i] == c) return m_childNodes[node.childStart + i];
    return 0;
  }
  const void* found = std::memchr(chars, c, node.childCount);
  if (found == nullptr) return 0;
  return m_childNodes[node.childStart + static_cast<std::size_t>(static_cast<const unsigned char*>(found) - chars)];
}

// From every position of the text the trie is walked as far as the text
// follows one of its paths; every key end passed is a key found there. A walk
// is at most as long as the longest key, so a pass costs the text's length
// whatever the number of defines.
uint32_t DoubleList::FirstReplacingEntry(std::string_view text) const {
  uint32_t best = kNoEntry;
  const std::size_t n = text.size();
  const char* labels = m_labels.data();
  for (std::size_t start = 0; start < n; ++start) {
    uint32_t node = m_rootChild[static_cast<unsigned char>(text[start])];
    std::size_t at = start;
    while (node != 0) {
      const TrieNode& current = m_trie[node];
      const std::size_t length = current.labelLength;
      // The label's first character is the one that chose this node.
      if (n - at < length || std::memcmp(text.data() + at + 1, labels + current.labelStart + 1, length - 1) != 0)
        break;
      at += length;
      best = std::min(best, current.entry);
      if (at >= n) break;
      node = FindChild(current, static_cast<unsigned char>(text[at]));
    }
  }
  return best;
}

// The documented walk goes through the list from its first entry and stops at
// the first entry that replaces something, then starts again; the index finds
// that entry in one scan of the text.
int DoubleList::SubstString(std::string& text) const {
  BuildIndex();
  int passes = 0;
  for (;;) {
    const uint32_t best = FirstReplacingEntry(text);
    if (best == kNoEntry) return passes;
    ReplaceStr(text, m_items[best].key, m_items[best].value);
    ++passes;
    if (passes > kMaxSubstPasses || text.size() > kMaxSubstTextBytes) return kSubstLimitExceeded;
  }
}

DoubleList DoubleListCreate() { return DoubleList{}; }

void DoubleListDispose(DoubleList& list) { list.Clear(); }

void DoubleListInsertInOrder(DoubleList& list, std::string_view key, std::string_view value, CompareFn compare) {
  list.InsertInOrder(key, value, compare);
}

const std::string_view* DoubleListBinSearch(const DoubleList& list, std::string_view key, CompareFn compare) {
  return list.BinSearch(key, compare);
}

const DoubleList::Item* DoubleListGetItem(const DoubleList& list, std::size_t position) {
  return list.GetItem(position);
}

std::size_t DoubleListNumItems(const DoubleList& list) { return list.NumItems(); }

int DoubleListSubstString(std::string& text, const DoubleList& list) { return list.SubstString(text); }

bool ReplaceStr(std::string& text, std::string_view find, std::string_view replacement) {
  if (find.empty() || find == replacement || text.find(find) == std::string::npos) return false;
  // The search goes on from the start of each inserted replacement, so a match
  // may begin inside it and end in the text after it. That needs an end of the
  // replacement that begins find; without one (the usual case) every match
  // lies in the original text and one pass builds the result. A replacement
  // holding find itself would be found in itself forever: it is skipped over.
  bool straddles = false;
  for (std::size_t k = 1; k < find.size() && k <= replacement.size(); ++k) {
    if (replacement.substr(replacement.size() - k) == find.substr(0, k)) straddles = true;
  }
  const bool selfContaining = replacement.find(find) != std::string_view::npos;
  if (!straddles || selfContaining) {
    std::string out;
    out.reserve(text.size());
    std::size_t from = 0;
    for (std::size_t at = text.find(find); at != std::string::npos; at = text.find(find, from)) {
      out.append(text, from, at - from);
      out.append(replacement);
      from = at + find.size();
    }
    out.append(text, from, std::string::npos);
    text = std::move(out);
    return true;
  }
  // Each match here takes at least one character of the text after the
  // replacement before it, so the loop ends.
  std::size_t from = 0;
  for (std::size_t at = text.find(find); at != std::string::npos; at = text.find(find, from)) {
    text.replace(at, find.size(), replacement);
    from = at;
  }
  return true;
}

}  // namespace tavomark
