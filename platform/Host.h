// Which build this is. Code outside platform/ asks this constant rather than
// the compiler, so both builds compile the same code everywhere else.
#pragma once

namespace quorvane::platform {

#ifdef _WIN32
inline constexpr bool kWindowsBuild = true;
#else
inline constexpr bool kWindowsBuild = false;
#endif

}  // namespace quorvane::platform
