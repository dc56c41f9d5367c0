# rastra_add_bitmap(<target> SOURCE <image> [NAME <identifier>]
#                   [TYPE c|dta|sprite|cursor] [FORMAT <code>] [NOPALETTE]
#                   [ARGB] [BIG_ENDIAN] [PRESERVE_TRANS]
#                   [CONVERT <word>] [COMMANDS <word>...]
#                   [DEPENDS <file>...] [OUTPUT_VARIABLE <variable>])
#
# Converts <image> at build time with the Rastra command line and adds the
# generated C file to <target>'s sources (a .dta stream is only made a
# dependency of the target). The conversion reruns only when the image, a
# DEPENDS file or Rastra changes, and runs in parallel with the rest of the
# build. A problem Rastra reports fails the build with Rastra's message and
# exit code, and leaves no output behind that a later build could take for
# up to date. SOURCE and every DEPENDS file must exist when CMake runs, unless
# a rule of the project generates them; a missing one stops the configuration
# with its name.
#
#   NAME     the file name and C identifier: the bitmap is bm<NAME>, written
#            to <NAME>.c or <NAME>.dta; default: the image's name without the
#            characters a C name cannot hold, the way the command line makes
#            its identifiers (images/cône-1.png gives bmcne1)
#   TYPE     c (default) C source, dta a stream, sprite or cursor the frames
#            of an animated GIF as an animated sprite (apbm<NAME>, aDelay<NAME>)
#            or cursor (Cursor<NAME>) in <NAME>.c
#   ARGB, BIG_ENDIAN, PRESERVE_TRANS
#            ARGB palette entries, big-endian streams, transparent pixels kept
#            at index 0; each is off unless given, whatever the settings of
#            the user who builds
#   CONVERT  a conversion command word without "convertinto", such as 565,
#            8666, gray16, bestpalette, transpalette (for an animation: of
#            every frame, as are the COMMANDS)
#   COMMANDS further command words without "-", such as fliph rotate90cw;
#            they run in the build directory, so file parameters need
#            absolute paths (and belong in DEPENDS)
#   FORMAT   the FORMAT code of -saveas; without it the palette size decides
#   NOPALETTE write the palette only as a disabled reference
#   DEPENDS  further files the conversion reads, such as a palette file
#   OUTPUT_VARIABLE receives the full path of the generated file
#
# The executable is Rastra::rastra when the package was found, or a target
# named rastra in the same build.
#
# Names that a build rule cannot carry (with ; $ # quotes, backslashes or
# line ends) stop the configuration with the call named. A failing
# conversion names the call (target, SOURCE, NAME) before Rastra's message.

set(_RASTRA_FUNCTIONS_DIR "${CMAKE_CURRENT_LIST_DIR}")
# A missing input would otherwise surface only in the middle of the build, as
# a rule the build tool cannot satisfy, without the call that named it. A file
# that another rule of this project generates is there only at build time.
# A path or word with a character that the build tool's rules or the shell
# would read as syntax.
function(_rastra_require_plain target keyword value)
  if(value MATCHES "[;$#\"'`\\\n\r]")
    message(FATAL_ERROR "rastra_add_bitmap(${target}): ${keyword} ${value} holds a character a build rule cannot "
                        "carry (one of ; $ # \" ' ` \\ or a line end); rename the file or copy it to a plain name")
  endif()
endfunction()

function(_rastra_require_file target keyword given path)
  get_source_file_property(generated "${path}" GENERATED)
  if(NOT EXISTS "${path}" AND NOT generated)
    message(FATAL_ERROR "rastra_add_bitmap(${target}): the ${keyword} file ${given} does not exist (${path})")
  endif()
endfunction()

function(rastra_add_bitmap target)
  cmake_parse_arguments(PARSE_ARGV 1 RB "NOPALETTE;ARGB;BIG_ENDIAN;PRESERVE_TRANS"
                        "SOURCE;NAME;TYPE;FORMAT;CONVERT;OUTPUT_VARIABLE" "COMMANDS;DEPENDS")
  if(RB_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "rastra_add_bitmap(${target}): unknown arguments: ${RB_UNPARSED_ARGUMENTS}")
  endif()
  if(RB_KEYWORDS_MISSING_VALUES)
    message(FATAL_ERROR "rastra_add_bitmap(${target}): no value given for ${RB_KEYWORDS_MISSING_VALUES}")
  endif()
  if(NOT TARGET ${target})
    message(FATAL_ERROR "rastra_add_bitmap: ${target} is not a target")
  endif()
  if(NOT RB_SOURCE)
    message(FATAL_ERROR "rastra_add_bitmap(${target}): SOURCE is required")
  endif()
  _rastra_require_plain(${target} SOURCE "${RB_SOURCE}")
  get_filename_component(source "${RB_SOURCE}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
  _rastra_require_plain(${target} SOURCE "${source}")
  _rastra_require_file(${target} SOURCE "${RB_SOURCE}" "${source}")
  set(given_name "${RB_NAME}")
  if(NOT RB_NAME)
    # The command line's rule: the file name without its extension, less
    # every character a C identifier cannot hold.
    get_filename_component(RB_NAME "${source}" NAME_WLE)
    string(REGEX REPLACE "[^A-Za-z0-9_]" "" RB_NAME "${RB_NAME}")
    if(RB_NAME STREQUAL "")
      message(FATAL_ERROR "rastra_add_bitmap(${target}): no C identifier can be made of the name of ${RB_SOURCE}; "
                          "give NAME")
    endif()
  endif()
  # Rastra takes the identifier from the file name and silently drops what an
  # identifier cannot hold; a name that lost characters would leave the
  # caller's extern declaration without a definition. A double underscore
  # makes a name C++ reserves for itself.
  if(NOT RB_NAME MATCHES "^[A-Za-z0-9_]+$" OR RB_NAME MATCHES "__")
    if(given_name)
      message(FATAL_ERROR "rastra_add_bitmap(${target}): NAME must be a C identifier without a double underscore, "
                          "not ${RB_NAME}")
    endif()
    message(FATAL_ERROR "rastra_add_bitmap(${target}): the name of ${RB_SOURCE} gives the identifier ${RB_NAME}, "
                        "which C++ reserves (a double underscore); give NAME")
  endif()
  if(NOT RB_TYPE)
    set(RB_TYPE c)
  endif()
  set(extension c)
  if(RB_TYPE STREQUAL "c")
    set(type_code 1)
  elseif(RB_TYPE STREQUAL "dta")
    set(type_code 3)
    set(extension dta)
  elseif(RB_TYPE STREQUAL "sprite")
    set(type_code 6)
  elseif(RB_TYPE STREQUAL "cursor")
    set(type_code 7)
  else()
    message(FATAL_ERROR "rastra_add_bitmap(${target}): TYPE must be c, dta, sprite or cursor, not ${RB_TYPE}")
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

  # Two conversions into one file would race each other in a parallel build.
  get_property(taken DIRECTORY PROPERTY RASTRA_BITMAP_NAMES)
  if("${RB_NAME}.${extension}" IN_LIST taken)
    message(FATAL_ERROR "rastra_add_bitmap(${target}): ${RB_NAME}.${extension} is already made in this directory")
  endif()
  set_property(DIRECTORY APPEND PROPERTY RASTRA_BITMAP_NAMES "${RB_NAME}.${extension}")

  # Each conversion runs in a directory of its own: Rastra writes its log into
  # the working directory, and parallel runs must not share one. The file is
  # named relative to that directory because -saveas splits its parameter at
  # commas and limits the name's length, and a build path may be long or
  # contain a comma. Rastra writes into pending/ and the result is moved into
  # place only when Rastra exited without a problem; a failed run thus leaves
  # no file a later build could consider up to date.
  set(work_dir "${CMAKE_CURRENT_BINARY_DIR}/rastra/${RB_NAME}")
  set(file_name "${RB_NAME}.${extension}")
  set(output "${work_dir}/${file_name}")
  set(save "-saveas./${file_name},${type_code}")
  if(RB_FORMAT)
    string(APPEND save ",${RB_FORMAT}")
    if(RB_NOPALETTE)
      string(APPEND save ",1")
    endif()
  endif()
  # Every setting that changes output is given, so the files depend only on
  # this call and the image, never on the settings of whoever builds.
  set(commands -defaultsettings)
  foreach(setting IN ITEMS ARGB:useargb BIG_ENDIAN:bigendian PRESERVE_TRANS:preservetrans)
    string(REPLACE ":" ";" setting "${setting}")
    list(GET setting 0 option)
    list(GET setting 1 word)
    if(RB_${option})
      list(APPEND commands "-${word}1")
    else()
      list(APPEND commands "-${word}0")
    endif()
  endforeach()
  if(RB_CONVERT)
    list(APPEND commands "-convertinto${RB_CONVERT}")
  endif()
  foreach(word IN LISTS RB_COMMANDS)
    _rastra_require_plain(${target} COMMANDS "${word}")
    list(APPEND commands "-${word}")
  endforeach()
  set(extra_depends)
  foreach(file IN LISTS RB_DEPENDS)
    _rastra_require_plain(${target} DEPENDS "${file}")
    get_filename_component(path "${file}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
    _rastra_require_plain(${target} DEPENDS "${path}")
    _rastra_require_file(${target} DEPENDS "${file}" "${path}")
    list(APPEND extra_depends "${path}")
  endforeach()

  # The conversion runs through a script that names this call when Rastra
  # fails. What it runs is written once per configuration into a file of
  # its own, rewritten only when the call changes, so the build converts
  # again exactly then.
  set(call "rastra_add_bitmap(${target} SOURCE ${RB_SOURCE} NAME ${RB_NAME})")
  set(job "${work_dir}/job.cmake")
  string(CONCAT job_text
    "set(RASTRA_CALL [==[${call}]==])\n"
    "set(RASTRA_SOURCE [==[${source}]==])\n"
    "set(RASTRA_FILE [==[${file_name}]==])\n"
    "set(RASTRA_ARGUMENTS [==[${commands};${save}]==])\n")
  file(MAKE_DIRECTORY "${work_dir}/pending")
  file(CONFIGURE OUTPUT "${job}" CONTENT "${job_text}" @ONLY)
  add_custom_command(
    OUTPUT "${output}"
    COMMAND ${CMAKE_COMMAND} "-DRASTRA=$<TARGET_FILE:${rastra}>" "-DRASTRA_JOB=${job}"
            -P "${_RASTRA_FUNCTIONS_DIR}/RastraConvert.cmake"
    DEPENDS "${source}" ${extra_depends} ${rastra} "${job}" "${_RASTRA_FUNCTIONS_DIR}/RastraConvert.cmake"
    WORKING_DIRECTORY "${work_dir}"
    COMMENT "Converting ${RB_SOURCE} with Rastra"
    VERBATIM)
  target_sources(${target} PRIVATE "${output}")
  if(extension STREQUAL "dta")
    set_source_files_properties("${output}" PROPERTIES HEADER_FILE_ONLY ON)
  endif()
  if(RB_OUTPUT_VARIABLE)
    set(${RB_OUTPUT_VARIABLE} "${output}" PARENT_SCOPE)
  endif()
endfunction()
