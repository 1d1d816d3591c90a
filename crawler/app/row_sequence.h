#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

// The rows of a long list that grows by insertions anywhere (rows only ever
// go all at once, by clear or assign): a sequence kept
// in chunks of at most kChunk elements, with the index of each chunk's first
// element beside them. An insertion moves at most one chunk's elements and
// renumbers the chunks after it, instead of moving every row below it, so a
// list of 100,000 rows takes thousands of insertions a second; reading a row
// is a binary search over the chunks.
template <class T>
class RowSequence {
 public:
  static constexpr std::size_t kChunk = 512;

  std::size_t size() const { return m_size; }
  bool empty() const { return m_size == 0; }

  const T& operator[](std::size_t index) const {
    const std::size_t chunk = ChunkOf(index);
    return m_chunks[chunk][index - m_starts[chunk]];
  }

  void insert(std::size_t index, T value) {
    if (m_chunks.empty()) {
      m_chunks.emplace_back();
      m_starts.push_back(0);
    }
    // An index at the end goes into the last chunk.
    const std::size_t chunk = index >= m_size ? m_chunks.size() - 1 : ChunkOf(index);
    std::vector<T>& rows = m_chunks[chunk];
    rows.insert(rows.begin() + static_cast<std::ptrdiff_t>(index - m_starts[chunk]), std::move(value));
    ++m_size;
    if (rows.size() > kChunk) {
      std::vector<T> upper(std::make_move_iterator(rows.begin() + kChunk / 2), std::make_move_iterator(rows.end()));
      rows.resize(kChunk / 2);
      m_chunks.insert(m_chunks.begin() + static_cast<std::ptrdiff_t>(chunk + 1), std::move(upper));
      m_starts.insert(m_starts.begin() + static_cast<std::ptrdiff_t>(chunk + 1), 0);
    }
    Renumber(chunk);
  }

  void clear() {
    m_chunks.clear();
    m_starts.clear();
    m_size = 0;
  }

  // Replaces everything with `rows`, in their order.
  void assign(std::vector<T> rows) {
    clear();
    for (std::size_t at = 0; at < rows.size(); at += kChunk / 2) {
      const auto end = std::min(rows.size(), at + kChunk / 2);
      m_starts.push_back(at);
      m_chunks.emplace_back(std::make_move_iterator(rows.begin() + static_cast<std::ptrdiff_t>(at)),
                            std::make_move_iterator(rows.begin() + static_cast<std::ptrdiff_t>(end)));
    }
    m_size = rows.size();
  }

  std::vector<T> flatten() const {
    std::vector<T> rows;
    rows.reserve(m_size);
    for (const std::vector<T>& chunk : m_chunks) rows.insert(rows.end(), chunk.begin(), chunk.end());
    return rows;
  }

  // The first index whose element `value` sorts before (after every element
  // equal to it), assuming the sequence is in order by `less`.
  template <class Less>
  std::size_t upper_bound(const T& value, Less less) const {
    std::size_t low = 0;
    std::size_t high = m_size;
    while (low < high) {
      const std::size_t middle = low + (high - low) / 2;
      if (less(value, (*this)[middle]))
        high = middle;
      else
        low = middle + 1;
    }
    return low;
  }

  template <class Visit>
  void for_each(Visit&& visit) const {
    std::size_t index = 0;
    for (const std::vector<T>& chunk : m_chunks)
      for (const T& element : chunk) visit(index++, element);
  }

 private:
  std::size_t ChunkOf(std::size_t index) const {
    const auto after = std::upper_bound(m_starts.begin(), m_starts.end(), index);
    return static_cast<std::size_t>(after - m_starts.begin()) - 1;
  }

  // The starts of every chunk after `chunk` follow from the sizes before them.
  void Renumber(std::size_t chunk) {
    for (std::size_t next = chunk + 1; next < m_chunks.size(); ++next)
      m_starts[next] = m_starts[next - 1] + m_chunks[next - 1].size();
  }

  std::vector<std::vector<T>> m_chunks;
  std::vector<std::size_t> m_starts;  // index of each chunk's first element
  std::size_t m_size = 0;
};
