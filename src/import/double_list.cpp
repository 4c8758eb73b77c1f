#include "double_list.h"

#include <algorithm>
#include <cctype>
#include <limits>

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
  m_firstByKey.clear();
  m_keyLengths.clear();
  m_sorted = true;
  m_indexed = false;
}

void DoubleList::BuildIndex() const {
  Sort();
  if (m_indexed) return;
  m_firstByKey.clear();
  m_keyLengths.clear();
  m_firstByKey.reserve(m_items.size());
  for (std::size_t i = 0; i < m_items.size(); ++i) {
    const std::string& key = m_items[i].key;
    if (key.empty()) continue;
    m_firstByKey.emplace(std::string_view(key), i);  // keeps the first of equal keys
    m_keyLengths.push_back(key.size());
  }
  std::sort(m_keyLengths.begin(), m_keyLengths.end());
  m_keyLengths.erase(std::unique(m_keyLengths.begin(), m_keyLengths.end()), m_keyLengths.end());
  m_indexed = true;
}

// The walk of the list from position 1 stops at the first entry that replaces
// something: the first entry, in list order, whose key occurs in the text and
// whose value differs from its key. Looking up every substring of the text
// whose length is one of the key lengths finds that entry without visiting
// every define, so a pass costs the text's length, not the list's.
int DoubleList::SubstString(std::string& text) const {
  BuildIndex();
  int passes = 0;
  for (;;) {
    std::size_t best = std::numeric_limits<std::size_t>::max();
    for (std::size_t start = 0; start < text.size(); ++start) {
      const std::string_view rest = std::string_view(text).substr(start);
      for (const std::size_t length : m_keyLengths) {
        if (length > rest.size()) break;
        const auto it = m_firstByKey.find(rest.substr(0, length));
        if (it == m_firstByKey.end()) continue;
        for (std::size_t i = it->second; i < m_items.size() && i < best && m_items[i].key == it->first; ++i) {
          if (m_items[i].value != m_items[i].key) {
            best = i;
            break;
          }
        }
      }
    }
    if (best == std::numeric_limits<std::size_t>::max()) return passes;
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
