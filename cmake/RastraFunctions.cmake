# rastra_add_bitmap(<target> SOURCE <image> [NAME <identifier>] [TYPE c|dta]
#                   [FORMAT <code>] [NOPALETTE] [CONVERT <word>] [COMMANDS <word>...])
#
# Converts <image> at build time with the Rastra command line and adds the
# generated C file to <target>'s sources (a .dta stream is only made a
# dependency of the target). The conversion reruns only when the image or
# Rastra changes, and runs in parallel with the rest of the build. A problem
# Rastra reports fails the build with Rastra's message and exit code.
#
#   CONVERT  a conversion command word without "convertinto", such as 565,
#            8666, gray16, bestpalette, transpalette
#   COMMANDS further command words without "-", such as fliph rotate90cw
#   FORMAT   the FORMAT code of -saveas; without it the palette size decides
#   NOPALETTE write the palette only as a disabled reference
#
# The executable is Rastra::rastra when the package was found, or a target
# named rastra in the same build.
function(rastra_add_bitmap target)
  cmake_parse_arguments(PARSE_ARGV 1 RB "NOPALETTE" "SOURCE;NAME;TYPE;FORMAT;CONVERT" "COMMANDS")
  if(NOT RB_SOURCE)
    message(FATAL_ERROR "rastra_add_bitmap(${target}): SOURCE is required")
  endif()
  get_filename_component(source "${RB_SOURCE}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
  if(NOT RB_NAME)
    get_filename_component(RB_NAME "${source}" NAME_WE)
    string(MAKE_C_IDENTIFIER "${RB_NAME}" RB_NAME)
  endif()
  if(NOT RB_TYPE)
    set(RB_TYPE c)
  endif()
  if(RB_TYPE STREQUAL "c")
    set(type_code 1)
  elseif(RB_TYPE STREQUAL "dta")
    set(type_code 3)
  else()
    message(FATAL_ERROR "rastra_add_bitmap(${target}): TYPE must be c or dta, not ${RB_TYPE}")
  endif()
  if(RB_NOPALETTE AND NOT RB_FORMAT)
    message(FATAL_ERROR "rastra_add_bitmap(${target}): NOPALETTE needs FORMAT")
  endif()

  if(TARGET Rastra::rastra)
    set(rastra Rastra::rastra)
  elseif(TARGET rastra)
    set(rastra rastra)
  else()
    message(FATAL_ERROR "rastra_add_bitmap: no Rastra executable (find_package(Rastra) first)")
  endif()

  # Each conversion runs in a directory of its own: Rastra writes its log into
  # the working directory, and parallel runs must not share one.
  set(work_dir "${CMAKE_CURRENT_BINARY_DIR}/rastra/${RB_NAME}")
  set(output "${work_dir}/${RB_NAME}.${RB_TYPE}")
  set(save "-saveas${output},${type_code}")
  if(RB_FORMAT)
    string(APPEND save ",${RB_FORMAT}")
    if(RB_NOPALETTE)
      string(APPEND save ",1")
    endif()
  endif()
  set(commands)
  if(RB_CONVERT)
    list(APPEND commands "-convertinto${RB_CONVERT}")
  endif()
  foreach(word IN LISTS RB_COMMANDS)
    list(APPEND commands "-${word}")
  endforeach()

  file(MAKE_DIRECTORY "${work_dir}")
  add_custom_command(
    OUTPUT "${output}"
    COMMAND ${CMAKE_COMMAND} -E remove -f "${output}"
    COMMAND ${rastra} "${source}" ${commands} "${save}" -exit
    DEPENDS "${source}" ${rastra}
    WORKING_DIRECTORY "${work_dir}"
    COMMENT "Converting ${RB_SOURCE} with Rastra"
    VERBATIM)
  target_sources(${target} PRIVATE "${output}")
  if(RB_TYPE STREQUAL "dta")
    set_source_files_properties("${output}" PROPERTIES HEADER_FILE_ONLY ON)
  endif()
endfunction()
