// The node pool's chunks.
#include "vantril/detail/node_pool.hpp"

namespace vantril::detail {

namespace {

// The first chunk holds a few nodes, for the many small documents; each next one twice as many,
// up to about a megabyte per chunk, so that a large table makes few allocations and wastes at
// most one partly used chunk.
constexpr std::size_t first_chunk_nodes = 16;
constexpr std::size_t largest_chunk_bytes = std::size_t{1} << 20;

// The chunk header's room, keeping the first node aligned for any type.
constexpr std::size_t chunk_header = alignof(std::max_align_t);

}  // namespace

NodePool::NodePool(std::size_t node_size)
    : node_size_(node_size), next_chunk_nodes_(first_chunk_nodes) {}

NodePool::~NodePool() {
  while (chunks_ != nullptr) {
    Chunk* next = chunks_->next;
    ::operator delete(chunks_);
    chunks_ = next;
  }
}

void NodePool::add_chunk() {
  const std::size_t nodes = next_chunk_nodes_;
  static_assert(sizeof(Chunk) <= chunk_header);
  auto* bytes = static_cast<char*>(::operator new(chunk_header + nodes * node_size_));
  chunks_ = new (bytes) Chunk{chunks_};
  cursor_ = bytes + chunk_header;
  end_ = cursor_ + nodes * node_size_;
  if ((2 * nodes) * node_size_ <= largest_chunk_bytes) next_chunk_nodes_ = 2 * nodes;
}

}  // namespace vantril::detail
