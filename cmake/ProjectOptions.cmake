# One INTERFACE target that every target of the project links: language level,
# warnings and the Qt strictness macros.
add_library(project_options INTERFACE)
target_compile_features(project_options INTERFACE cxx_std_20)
target_compile_options(project_options INTERFACE -Wall -Wextra -Wpedantic)
option(RIVIVOZUZUVOD_WERROR "Treat warnings as errors" ON)
if(RIVIVOZUZUVOD_WERROR)
  target_compile_options(project_options INTERFACE -Werror)
endif()
target_compile_definitions(project_options INTERFACE
  QT_NO_CAST_FROM_ASCII
  QT_NO_CONTEXTLESS_CONNECT
  QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
  QT_NO_FOREACH)

option(RIVIVOZUZUVOD_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(RIVIVOZUZUVOD_SANITIZE)
  target_compile_options(project_options INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(project_options INTERFACE -fsanitize=address,undefined)
endif()

option(RIVIVOZUZUVOD_TSAN "Build with ThreadSanitizer" OFF)
if(RIVIVOZUZUVOD_TSAN)
  target_compile_options(project_options INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(project_options INTERFACE -fsanitize=thread)
endif()

# The hardening a Debian package is expected to carry: checked string and memory calls, stack
# guards, and a read-only table of relocations bound at start-up. The checked calls need an
# optimised build, and the sanitizers bring their own checks, so Debug and sanitizer builds go
# without.
option(RIVIVOZUZUVOD_HARDEN "Build optimised builds with hardening flags" ON)
if(RIVIVOZUZUVOD_HARDEN AND NOT RIVIVOZUZUVOD_SANITIZE AND NOT RIVIVOZUZUVOD_TSAN)
  set(optimised "$<CONFIG:Release,RelWithDebInfo,MinSizeRel>")
  target_compile_definitions(project_options INTERFACE $<${optimised}:_FORTIFY_SOURCE=2>)
  target_compile_options(project_options INTERFACE
    "$<${optimised}:-fstack-protector-strong;-fstack-clash-protection;-Wformat;-Werror=format-security>")
  target_link_options(project_options INTERFACE "$<${optimised}:-Wl,-z,relro;-Wl,-z,now>")
endif()
