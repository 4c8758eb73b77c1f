#include "double_list.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <utility>
#include <vector>

namespace tavomark {

namespace {

int ByteCompare(std::string_view a, std::string_view b) {
  const int c = a.compare(b);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
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

void DoubleList::InsertInOrder(std::string key, std::string value, CompareFn compare) {
  if (compare != m_compare) {
    m_compare = compare;
    m_sorted = false;
  }
  // Appending keeps the list sorted as long as keys arrive in order; otherwise
  // the list is sorted once, at the next lookup, instead of shifting on every
  // insertion.
  if (m_sorted && !m_items.empty() && compare(m_items.back().key, key) > 0) m_sorted = false;
  m_items.push_back(Item{std::move(key), std::move(value)});
  m_indexed = false;
}

void DoubleList::Sort() const {
  if (m_sorted) return;
  const CompareFn compare = m_compare;
  std::stable_sort(m_items.begin(), m_items.end(),
                   [compare](const Item& a, const Item& b) { return compare(a.key, b.key) < 0; });
  m_sorted = true;
  m_indexed = false;
}

const std::string* DoubleList::BinSearch(std::string_view key, CompareFn compare) const {
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
  m_trie.clear();
  m_childChars.clear();
  m_childNodes.clear();
  m_rootChild.fill(0);
  m_sorted = true;
  m_indexed = false;
}

// Every distinct key goes into the trie once, carrying the entry that a
// substitution would use for it: the first entry with that key whose value
// differs from the key (an entry that maps a name to itself changes nothing).
// Keys are added in byte order, so each one shares the path of the one before
// up to their common prefix and the trie is built in one sweep.
void DoubleList::BuildIndex() const {
  Sort();
  if (m_indexed) return;
  m_trie.clear();
  m_rootChild.fill(0);
  std::vector<std::pair<std::string_view, uint32_t>> keys;
  keys.reserve(m_items.size());
  {
    std::vector<std::pair<std::string_view, uint32_t>> firsts;
    firsts.reserve(m_items.size());
    for (std::size_t i = 0; i < m_items.size(); ++i) {
      if (!m_items[i].key.empty()) firsts.emplace_back(m_items[i].key, static_cast<uint32_t>(i));
    }
    // By key, then by position: the first of equal keys leads its group.
    std::sort(firsts.begin(), firsts.end());
    std::string_view previous;
    bool any = false;
    for (const auto& [key, first] : firsts) {
      if (any && key == previous) continue;
      any = true;
      previous = key;
      // The entries after the first with the same key, up to a different key.
      for (std::size_t i = first; i < m_items.size() && m_items[i].key == key; ++i) {
        if (m_items[i].value != key) {
          keys.emplace_back(key, static_cast<uint32_t>(i));
          break;
        }
      }
    }
  }
  // First a linked trie, each node's children in ascending byte order...
  struct Linked {
    uint32_t firstChild = 0;   // 0: none (node 0, the root, is nobody's child)
    uint32_t nextSibling = 0;  // 0 ends the siblings
    uint32_t lastChild = 0;
    uint32_t entry = kNoEntry;
    unsigned char c = 0;
  };
  std::size_t keyBytes = 1;
  for (const auto& key : keys) keyBytes += key.first.size();
  std::vector<Linked> linked(1);
  linked.reserve(keyBytes);
  std::vector<uint32_t> path;  // path[d]: the node of the previous key's first d + 1 characters
  std::string_view previous;
  for (const auto& [key, entry] : keys) {
    std::size_t common = 0;
    while (common < key.size() && common < previous.size() && key[common] == previous[common]) ++common;
    path.resize(common);
    for (std::size_t d = common; d < key.size(); ++d) {
      const uint32_t parent = d == 0 ? 0 : path[d - 1];
      const auto node = static_cast<uint32_t>(linked.size());
      linked.push_back(Linked{0, 0, 0, kNoEntry, static_cast<unsigned char>(key[d])});
      if (linked[parent].lastChild == 0) {
        linked[parent].firstChild = node;
      } else {
        linked[linked[parent].lastChild].nextSibling = node;
      }
      linked[parent].lastChild = node;
      path.push_back(node);
    }
    linked[path.back()].entry = entry;
    previous = key;
  }
  // ... then each node's children gathered side by side.
  m_trie.assign(linked.size(), TrieNode{0, 0, kNoEntry});
  m_childChars.clear();
  m_childNodes.clear();
  m_childChars.reserve(linked.size());
  m_childNodes.reserve(linked.size());
  for (std::size_t n = 0; n < linked.size(); ++n) {
    TrieNode& node = m_trie[n];
    node.entry = linked[n].entry;
    node.childStart = static_cast<uint32_t>(m_childNodes.size());
    for (uint32_t child = linked[n].firstChild; child != 0; child = linked[child].nextSibling) {
      m_childChars.push_back(linked[child].c);
      m_childNodes.push_back(child);
    }
    node.childCount = static_cast<uint32_t>(m_childNodes.size()) - node.childStart;
  }
  for (uint32_t child = linked[0].firstChild; child != 0; child = linked[child].nextSibling)
    m_rootChild[linked[child].c] = child;
  m_indexed = true;
}

// From every position of the text the trie is walked as far as the text
// follows one of its paths; every key end passed is a key found there. A walk
// is at most as long as the longest key, so a pass costs the text's length
// whatever the number of defines.
uint32_t DoubleList::FirstReplacingEntry(std::string_view text) const {
  uint32_t best = kNoEntry;
  const std::size_t n = text.size();
  for (std::size_t start = 0; start < n; ++start) {
    uint32_t node = m_rootChild[static_cast<unsigned char>(text[start])];
    std::size_t at = start;
    while (node != 0) {
      const TrieNode& current = m_trie[node];
      best = std::min(best, current.entry);
      if (++at >= n) break;
      const auto c = static_cast<unsigned char>(text[at]);
      const unsigned char* chars = m_childChars.data() + current.childStart;
      const void* found = std::memchr(chars, c, current.childCount);
      node = found == nullptr ? 0
                              : m_childNodes[current.childStart +
                                             static_cast<std::size_t>(static_cast<const unsigned char*>(found) - chars)];
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

void DoubleListInsertInOrder(DoubleList& list, std::string key, std::string value, CompareFn compare) {
  list.InsertInOrder(std::move(key), std::move(value), compare);
}

const std::string* DoubleListBinSearch(const DoubleList& list, std::string_view key, CompareFn compare) {
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
