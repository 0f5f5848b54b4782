// Emptying a container together with its memory.
#pragma once

namespace vhost {

// Empties `container` and gives its memory back, which clear() does not (a vector
// keeps its capacity, a hash set its buckets). The host's resets use it so that a
// reset host holds no more memory than a fresh one: the tests' leak checks compare
// the two.
template <typename Container>
void Release(Container& container) {
  Container().swap(container);
}

}  // namespace vhost
