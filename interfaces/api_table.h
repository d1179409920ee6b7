// Function tables bound by name at run time. Each contract lists its names
// once (an X-macro); from that list come the function-pointer members, the
// name table, and a visitor the loader uses to bind every slot.
#pragma once

#ifdef __cplusplus
#include <cstddef>

#define PX_API_FIELD(name) name##Fn name = nullptr;
#define PX_API_VISIT(name) f(#name, name);
#define PX_API_NAME(name) #name,

// Declares `struct Api { <fn pointers>; ForEach(f); }` and `kApiNames`.
#define PX_DECLARE_API(Api, LIST)                                  \
  struct Api {                                                     \
    LIST(PX_API_FIELD)                                             \
    template <class F>                                             \
    void ForEach(F&& f) {                                          \
      LIST(PX_API_VISIT)                                           \
    }                                                              \
    void Clear() { *this = Api{}; }                                \
  };                                                               \
  inline constexpr const char* k##Api##Names[] = {LIST(PX_API_NAME)}; \
  inline constexpr std::size_t k##Api##Count = sizeof(k##Api##Names) / sizeof(k##Api##Names[0]);
#endif
