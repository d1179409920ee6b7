// Korvel's built-in English texts, looked up by string id when the chosen
// language file has none.
#pragma once

namespace korvel {

inline constexpr int kFirstStringId = 2000;
inline constexpr int kLastStringId = 2102;

/// The built-in text of `id`, or null when the table has none.
const char* BuiltInString(int id);

}  // namespace korvel
