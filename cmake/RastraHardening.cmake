# The product build is hardened the way Debian builds its packages: fortified
# C library calls, stack protector, read-only relocations bound at start-up.
# The flags come from dpkg-buildflags where it exists, so they follow the
# distribution's policy; elsewhere the same set is used for GCC and Clang on
# Linux. Sanitizer and fuzzing builds bring their own instrumentation and are
# left alone. Optimisation and debug information stay with the build type.
if(RASTRA_SANITIZE OR RASTRA_BUILD_FUZZ OR NOT CMAKE_SYSTEM_NAME STREQUAL "Linux"
   OR NOT CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  return()
endif()

find_program(RASTRA_DPKG_BUILDFLAGS dpkg-buildflags)
if(RASTRA_DPKG_BUILDFLAGS)
  if(DEFINED ENV{DEB_BUILD_MAINT_OPTIONS})
    set(maint_options "$ENV{DEB_BUILD_MAINT_OPTIONS}")
  else()
    set(maint_options "hardening=+all")  # with immediate binding, which is not on by default
  endif()
  foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
    # From the source directory, so that its file-prefix map makes the
    # binaries independent of where the tree was checked out.
    execute_process(
      COMMAND ${CMAKE_COMMAND} -E env "DEB_BUILD_MAINT_OPTIONS=${maint_options}" ${RASTRA_DPKG_BUILDFLAGS} --get ${kind}
      WORKING_DIRECTORY "${CMAKE_SOURCE_DIR}"
      OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE
      RESULT_VARIABLE failed)
    if(failed)
      set(flags "")
    endif()
    separate_arguments(flags UNIX_COMMAND "${flags}")
    # The about box shows the build time on purpose (the compiler takes it
    # from SOURCE_DATE_EPOCH when set), so -Wdate-time would only warn about it.
    list(FILTER flags EXCLUDE REGEX "^-(g|O|Wdate-time$)")
    set(rastra_${kind} ${flags})
  endforeach()
else()
  set(rastra_CPPFLAGS -D_FORTIFY_SOURCE=2)
  set(rastra_CXXFLAGS -fstack-protector-strong -Wformat -Werror=format-security)
  set(rastra_LDFLAGS -Wl,-z,relro -Wl,-z,now)
endif()

foreach(flag IN LISTS rastra_CPPFLAGS)
  if(flag MATCHES "^-D_FORTIFY_SOURCE")
    # The C library's fortified calls need the optimiser and warn without it.
    add_compile_options("$<$<NOT:$<CONFIG:Debug>>:${flag}>")
  else()
    add_compile_options("${flag}")
  endif()
endforeach()
add_compile_options(${rastra_CXXFLAGS})
add_link_options(${rastra_LDFLAGS})
message(STATUS "Hardening: ${rastra_CPPFLAGS} ${rastra_CXXFLAGS} ${rastra_LDFLAGS}")
