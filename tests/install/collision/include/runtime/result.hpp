// The consumer's own runtime/result.hpp; see model/object.hpp beside it.
#pragma once

namespace consumer {

struct Result {
  bool own = true;
};

}  // namespace consumer
