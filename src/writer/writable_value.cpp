// Finding the values no PDF token can carry, and the refusal that names them.
#include "writer/writable_value.hpp"

#include <span>

#include "runtime/invalid_input.hpp"
#include "writer/nesting_stack.hpp"
#include "writer/token_text.hpp"

namespace vantril {

std::string holder_text(const ValueHolder& holder) {
  switch (holder.kind) {
    case ValueHolder::Kind::IndirectObject:
      return "object " + std::to_string(holder.id.number) + " " +
             std::to_string(holder.id.generation);
    case ValueHolder::Kind::Trailer:
      return "the trailer";
    case ValueHolder::Kind::Value:
      break;
  }
  return "the value";
}

IoError unwritable_real(const ValueHolder& holder, float value) {
  std::string_view text = "NaN";
  if (std::isinf(value)) text = value < 0 ? "-infinity" : "infinity";
  return invalid_input(holder_text(holder) + " holds the real " + std::string(text) +
                       ", which PDF cannot write");
}

IoError unwritable_name(const ValueHolder& holder, std::string_view bytes, NameRole role) {
  // Enough of the name to find it by; names can be of any length.
  constexpr std::size_t shown = 40;
  const std::string_view head = bytes.substr(0, shown);
  std::string escaped(1 + 3 * head.size(), '/');
  escaped.resize(
      static_cast<std::size_t>(put_escaped_name_bytes(escaped.data() + 1, head) - escaped.data()));
  if (head.size() < bytes.size()) escaped += "...";
  return invalid_input(holder_text(holder) +
                       (role == NameRole::Key ? " holds a dictionary key" : " holds a name") +
                       " with a NUL byte (" + escaped + "), which PDF cannot write");
}

namespace {

// An array's elements or a dictionary's entries, and how many of them are checked.
struct Pending {
  const Object* elements;
  const DictionaryEntry* entries;
  std::size_t size;
  std::size_t next;
};

class Checker {
 public:
  explicit Checker(const ValueHolder& holder) : holder_(holder) {}

  // Checks a leaf or a name, or queues a container's members.
  Status visit(const Object& value) {
    switch (value.kind()) {
      case ObjectKind::Real:
        if (!is_writable_real(*value.real())) return unwritable_real(holder_, *value.real());
        return {};
      case ObjectKind::Name:
        if (!is_writable_name(value.name()->bytes)) {
          return unwritable_name(holder_, value.name()->bytes, NameRole::Name);
        }
        return {};
      case ObjectKind::Array: {
        const Array& array = *value.array();
        open_.push(Pending{array.data(), nullptr, array.size(), 0});
        return {};
      }
      case ObjectKind::Dictionary:
        queue(*value.dictionary());
        return {};
      case ObjectKind::Stream:
        // A nested stream is the writer's to refuse; at the top its dictionary is checked.
        if (open_.empty() && value.stream() != nullptr) queue(value.stream()->stream_dictionary);
        return {};
      default:
        return {};
    }
  }

  void queue(const Dictionary& dictionary) {
    const std::span<const DictionaryEntry> entries = dictionary.iter();
    open_.push(Pending{nullptr, entries.data(), entries.size(), 0});
  }

  Status run() {
    while (!open_.empty()) {
      Pending& top = open_.top();
      if (top.next == top.size) {
        open_.pop();
        continue;
      }
      const std::size_t at = top.next++;
      if (top.elements != nullptr) {
        VANTRIL_TRY(visit(top.elements[at]));
        continue;
      }
      const DictionaryEntry& entry = top.entries[at];
      if (!is_writable_name(entry.key)) return unwritable_name(holder_, entry.key, NameRole::Key);
      VANTRIL_TRY(visit(entry.value));
    }
    return {};
  }

 private:
  const ValueHolder& holder_;
  NestingStack<Pending> open_;
};

}  // namespace

Status check_writable(const Object& value, const ValueHolder& holder) {
  Checker checker(holder);
  VANTRIL_TRY(checker.visit(value));
  return checker.run();
}

Status check_writable(const Dictionary& dictionary, const ValueHolder& holder) {
  Checker checker(holder);
  checker.queue(dictionary);
  return checker.run();
}

Status check_guarded(const void* context) {
  const auto& guarded = *static_cast<const GuardedValue*>(context);
  return guarded.object != nullptr ? check_writable(*guarded.object, guarded.holder)
                                   : check_writable(*guarded.dictionary, guarded.holder);
}

}  // namespace vantril
