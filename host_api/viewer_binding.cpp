#include "host_api/viewer_binding.h"

#include <cstddef>
#include <cstdio>
#include <string>
#include <tuple>
#include <type_traits>

namespace host_api {

void BindViewerApi(ViewerEntryPoints& entries, const ExportLookup& lookup) {
  if (entries.bound) return;
  entries.bound = true;
  if (!lookup) return;
  for (std::size_t i = 0; i < kViewerFunctionNames.size(); ++i) {
    // The names are string literals, so data() is NUL-terminated.
    entries.address[i] = lookup(kViewerFunctionNames[i].data());
  }
}

namespace {

std::string FaultText(std::uint32_t code) {
  char text[48];
  std::snprintf(text, sizeof text, "viewer call raised 0x%08lX", static_cast<unsigned long>(code));
  return text;
}

template <class Fn, std::size_t Index>
Fn Entry(const ViewerEntryPoints& entries) {
  return reinterpret_cast<Fn>(entries.address[Index]);
}

// A flag travels as a full word; every other argument as it is.
template <class T>
T ToViewer(T value) {
  return value;
}
std::uint32_t ToViewer(bool flag) { return flag ? viewer_abi::kButtonEnabled : viewer_abi::kButtonDisabled; }

// Only the low byte of a boolean answer carries it.
template <class Result, class Answer>
Result FromViewer(Answer answer) {
  if constexpr (std::is_same_v<Result, bool>) {
    return (answer & 0xFFu) != 0;
  } else {
    return answer;
  }
}

}  // namespace

ViewerFault::ViewerFault(std::uint32_t code) : std::runtime_error(FaultText(code)), code_(code) {}

template <class Fn, class... Args>
auto BoundViewer::Call(Fn fn, Args... args) const {
  using Result = std::invoke_result_t<Fn, Args...>;
  struct Pending {
    Fn fn;
    std::tuple<Args...> args;
    std::conditional_t<std::is_void_v<Result>, char, Result> result{};
  } pending{fn, {args...}};
  const auto run = [](void* context) noexcept {
    auto& p = *static_cast<Pending*>(context);
    if constexpr (std::is_void_v<Result>) {
      std::apply(p.fn, p.args);
    } else {
      p.result = std::apply(p.fn, p.args);
    }
  };
  std::uint32_t code = 0;
  if (!guard_(run, &pending, code)) throw ViewerFault(code);
  if constexpr (!std::is_void_v<Result>) return pending.result;
}

template <class Result, class Fn, class... Args>
Result BoundViewer::Forward(Fn fn, Args... args) const {
  if constexpr (std::is_void_v<Result>) {
    Call(fn, ToViewer(args)...);
  } else {
    return FromViewer<Result>(Call(fn, ToViewer(args)...));
  }
}

#define BOUND_VIEWER_FUNCTION(name, result, abi_result, params, args, stopped)          \
  result BoundViewer::name params {                                                     \
    const auto fn = Entry<viewer_abi::name##_fn, ViewerFunctionIndex(#name)>(entries_); \
    if (!fn) return stopped;                                                            \
    return Forward<result>(fn, VIEWER_UNPAREN args);                                    \
  }
VIEWER_FUNCTIONS(BOUND_VIEWER_FUNCTION)
#undef BOUND_VIEWER_FUNCTION

}  // namespace host_api
