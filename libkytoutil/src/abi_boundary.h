// Every exported function runs its body through one of these: no exception may cross the C ABI,
// and running out of memory is an ordinary failure.
#pragma once

namespace kyto::util {

// The body's status, or 1 when it threw.
template <typename Body>
int statusOrFailure(Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    return 1;
  }
}

// The body's pointer, or null when it threw.
template <typename Body>
char* pointerOrNull(Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    return nullptr;
  }
}

}  // namespace kyto::util
