# rastra_add_bitmap(<target> SOURCE <image> [NAME <identifier>]
#                   [TYPE c|dta|sprite|cursor] [FORMAT <code>] [NOPALETTE]
#                   [ARGB] [BIG_ENDIAN] [PRESERVE_TRANS]
#                   [PNG_GAMMA_OFF] [SMOOTH_CHROMA] [AUTO_ORIENT]
#                   [CONVERT <word>] [DITHER <method>] [COMMANDS <word>...]
#                   [FLASH_BUDGET <bytes>] [MAX_OUTPUT <bytes>]
#                   [DEPENDS <file>...] [OUTPUT_VARIABLE <variable>]
#                   [LVGL <CF> [LVGL_OPTIONS <option>...]])
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
#   PNG_GAMMA_OFF, SMOOTH_CHROMA, AUTO_ORIENT
#            how the image is read: a PNG's stored colours without the
#            correction its gAMA chunk asks for (-pnggamma0), JPEG chroma
#            interpolated as djpeg's default decode does (-smoothchroma1), the
#            picture turned upright as its EXIF orientation tag says
#            (-autoorient1); each is off unless given (the PNG gamma then
#            applies), whatever the settings of the user who builds
#   CONVERT  a conversion command word without "convertinto", such as 565,
#            8666, gray16, bestpalette, transpalette (for an animation: of
#            every frame, as are the COMMANDS)
#   DITHER   fs, serpentine, bayer4, bayer8 or none (the default): how
#            every colour reduction of the conversion is dithered (CONVERT,
#            the palettes, a FORMAT of 565, 555 or 444 colours), as -dither
#   COMMANDS further command words without "-", such as fliph rotate90cw;
#            they run in the build directory, so file parameters need
#            absolute paths (and belong in DEPENDS)
#   FORMAT   the FORMAT code of -saveas; without it the palette size decides
#   NOPALETTE write the palette only as a disabled reference
#   FLASH_BUDGET the bytes of flash the C file may take (data, palette and
#            structures on a 32-bit target); more fails the build and writes
#            nothing
#   MAX_OUTPUT the largest file the conversion may write, in bytes (default
#            1 GiB); a larger one fails the build and writes nothing
#   DEPENDS  further files the conversion reads, such as a palette file
#   OUTPUT_VARIABLE receives the full path of the generated file
#   LVGL     an LVGL v9 image instead: <NAME>.c declaring the lv_image_dsc_t
#            <NAME> in LVGL's colour format CF (RGB565, ARGB8888, I4, ...), or
#            with TYPE bin the file <NAME>.bin for LVGL's file decoder;
#            LVGL_OPTIONS are the words -saveas takes after CF: RLE or LZ4,
#            ALIGN<N>, PREMULTIPLY, RGB565DITHER (-saveas's DITHER: the word
#            DITHER alone is this function's own keyword), BG<RRGGBB>
#
# rastra_add_bitmap_set(<target> NAME <set> SOURCES <image>...
#                       [PREFIX <text>] [TYPE c|dta] [FORMAT <code>] [NOPALETTE]
#                       [SHARED_PALETTE [COLORS <n>] [PALETTE <file.GUIPal>]]
#                       [ARGB] [BIG_ENDIAN] [PRESERVE_TRANS]
#                       [PNG_GAMMA_OFF] [SMOOTH_CHROMA] [AUTO_ORIENT]
#                       [CONVERT <word>] [DITHER <method>] [COMMANDS <word>...]
#                       [FLASH_BUDGET <bytes>] [FLASH_BUDGET_TOTAL <bytes>]
#                       [MAX_OUTPUT <bytes>] [DEPENDS <file>...] [OUTPUT_VARIABLE <variable>])
#
# Converts a set of images in one run: each image becomes <PREFIX><image
# name>.c (bitmap bm<PREFIX><image name>, less what a C name cannot hold), or
# .dta with TYPE dta. Touching one image converts the set again.
#   SHARED_PALETTE  every image onto one palette: the best of up to COLORS
#            (2 to 256, default 256) colours over all images, or the palette
#            file PALETTE. It is written once, as <set>.c holding the
#            GUI_LOGPALETTE Pal<set> that every C file of the set refers to,
#            and as the palette file <set>.GUIPal (streams keep a palette
#            each).
#   FLASH_BUDGET, FLASH_BUDGET_TOTAL  bytes of flash each C file, and all of
#            them together (the palette's file included), may take
#   the other options as for rastra_add_bitmap.
#
# Every target with conversions gets a manifest, rastra/<target>.json in the
# binary directory of its first call: per conversion, each output with its
# input, SHA-256 checksums, commands, TYPE, FORMAT and sizes, and the shared
# palette of a set.
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
# What both calls check first: every argument known and given its value (the
# parsed options are named by prefix), and a target to add to. call names the
# call in the messages.
function(_rastra_check_call function_name call prefix target)
  if(${prefix}_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "${call}: unknown arguments: ${${prefix}_UNPARSED_ARGUMENTS}")
  endif()
  if(${prefix}_KEYWORDS_MISSING_VALUES)
    message(FATAL_ERROR "${call}: no value given for ${${prefix}_KEYWORDS_MISSING_VALUES}")
  endif()
  if(NOT TARGET ${target})
    message(FATAL_ERROR "${function_name}: ${target} is not a target")
  endif()
endfunction()

# On a Windows host a path may come with backslashes (from the environment,
# a registry query, or typed the Windows way); CMake's own form has slashes.
macro(_rastra_host_path var)
  if(CMAKE_HOST_WIN32)
    file(TO_CMAKE_PATH "${${var}}" ${var})
  endif()
endmacro()

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

# The program: the package's, or a target of the same build.
function(_rastra_program out)
  if(TARGET Rastra::rastra)
    set(${out} Rastra::rastra PARENT_SCOPE)
  elseif(TARGET rastra)
    set(${out} rastra PARENT_SCOPE)
  else()
    message(FATAL_ERROR "rastra_add_bitmap: no Rastra executable (find_package(Rastra) first)")
  endif()
endfunction()

# Every setting that changes output is given, so the files depend only on
# the call and the images, never on the settings of whoever builds. prefix
# names the call's parsed options (RB or RS); each item is the option, the
# command word and the value the option gives (PNG_GAMMA_OFF turns off what
# is on by default).
function(_rastra_setting_words out prefix)
  set(words -defaultsettings)
  foreach(setting IN ITEMS ARGB:useargb:1 BIG_ENDIAN:bigendian:1 PRESERVE_TRANS:preservetrans:1
                           PNG_GAMMA_OFF:pnggamma:0 SMOOTH_CHROMA:smoothchroma:1 AUTO_ORIENT:autoorient:1)
    string(REPLACE ":" ";" setting "${setting}")
    list(GET setting 0 option)
    list(GET setting 1 word)
    list(GET setting 2 given)
    if(${prefix}_${option})
      list(APPEND words "-${word}${given}")
    elseif(given)
      list(APPEND words "-${word}0")
    else()
      list(APPEND words "-${word}1")
    endif()
  endforeach()
  set(${out} "${words}" PARENT_SCOPE)
endfunction()

function(_rastra_require_bytes target keyword value)
  if(NOT "${value}" STREQUAL "" AND NOT value MATCHES "^[0-9]+$")
    message(FATAL_ERROR "rastra_add_bitmap(${target}): ${keyword} is a number of bytes, not ${value}")
  endif()
endfunction()

# -maxoutput for a MAX_OUTPUT that was given: a number of bytes, 1 or more.
function(_rastra_max_output target value list_name)
  if("${value}" STREQUAL "")
    return()
  endif()
  _rastra_require_bytes(${target} MAX_OUTPUT "${value}")
  if(value MATCHES "^0+$")
    message(FATAL_ERROR "rastra_add_bitmap(${target}): MAX_OUTPUT must be 1 byte or more")
  endif()
  set(${list_name} ${${list_name}} "-maxoutput${value}" PARENT_SCOPE)
endfunction()

# The words after the settings that both calls take alike: MAX_OUTPUT,
# CONVERT and COMMANDS of the call whose parsed options prefix names.
function(_rastra_conversion_words target prefix list_name)
  set(words ${${list_name}})
  _rastra_max_output(${target} "${${prefix}_MAX_OUTPUT}" words)
  if(${prefix}_CONVERT)
    list(APPEND words "-convertinto${${prefix}_CONVERT}")
  endif()
  if(DEFINED ${prefix}_DITHER)
    set(dither "${${prefix}_DITHER}")
    if(NOT dither MATCHES "^(fs|serpentine|bayer4|bayer8|none)$")
      message(FATAL_ERROR "rastra_add_bitmap(${target}): DITHER must be fs, serpentine, bayer4, bayer8 or none, "
                          "not \"${dither}\"")
    endif()
    list(APPEND words "-dither${dither}")
  endif()
  foreach(word IN LISTS ${prefix}_COMMANDS)
    _rastra_require_plain(${target} COMMANDS "${word}")
    list(APPEND words "-${word}")
  endforeach()
  set(${list_name} "${words}" PARENT_SCOPE)
endfunction()

# Absolute paths of DEPENDS files, each checked.
function(_rastra_depends target out)
  set(paths)
  foreach(file IN LISTS ARGN)
    _rastra_host_path(file)
    _rastra_require_plain(${target} DEPENDS "${file}")
    get_filename_component(path "${file}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
    _rastra_require_plain(${target} DEPENDS "${path}")
    _rastra_require_file(${target} DEPENDS "${file}" "${path}")
    list(APPEND paths "${path}")
  endforeach()
  set(${out} "${paths}" PARENT_SCOPE)
endfunction()

# Every conversion writes a manifest of its own; the target's manifest joins
# them in the order of the calls, once the directory has been read.
function(_rastra_add_manifest target part)
  get_property(parts TARGET ${target} PROPERTY RASTRA_MANIFEST_PARTS)
  if(NOT parts)
    # A deferred call reads its arguments when it runs: the name goes in now.
    cmake_language(EVAL CODE "cmake_language(DEFER CALL _rastra_target_manifest [==[${target}]==])")
  endif()
  set_property(TARGET ${target} APPEND PROPERTY RASTRA_MANIFEST_PARTS "${part}")
endfunction()

function(_rastra_target_manifest target)
  get_property(parts TARGET ${target} PROPERTY RASTRA_MANIFEST_PARTS)
  set(manifest "${CMAKE_CURRENT_BINARY_DIR}/rastra/${target}.json")
  set(job "${CMAKE_CURRENT_BINARY_DIR}/rastra/${target}.manifest.cmake")
  string(CONCAT job_text
    "set(RASTRA_TARGET [==[${target}]==])\n"
    "set(RASTRA_PARTS [==[${parts}]==])\n"
    "set(RASTRA_MANIFEST [==[${manifest}]==])\n")
  file(CONFIGURE OUTPUT "${job}" CONTENT "${job_text}" @ONLY)
  add_custom_command(
    OUTPUT "${manifest}"
    COMMAND ${CMAKE_COMMAND} "-DRASTRA_JOB=${job}" -P "${_RASTRA_FUNCTIONS_DIR}/RastraManifest.cmake"
    DEPENDS ${parts} "${job}" "${_RASTRA_FUNCTIONS_DIR}/RastraManifest.cmake"
    COMMENT "Writing the Rastra manifest of ${target}"
    VERBATIM)
  target_sources(${target} PRIVATE "${manifest}")
  set_source_files_properties("${manifest}" PROPERTIES HEADER_FILE_ONLY ON)
endfunction()

function(rastra_add_bitmap target)
  cmake_parse_arguments(PARSE_ARGV 1 RB "NOPALETTE;ARGB;BIG_ENDIAN;PRESERVE_TRANS;PNG_GAMMA_OFF;SMOOTH_CHROMA;AUTO_ORIENT"
                        "SOURCE;NAME;TYPE;FORMAT;CONVERT;DITHER;FLASH_BUDGET;MAX_OUTPUT;OUTPUT_VARIABLE;LVGL"
                        "COMMANDS;DEPENDS;LVGL_OPTIONS")
  _rastra_check_call(rastra_add_bitmap "rastra_add_bitmap(${target})" RB ${target})
  if(NOT RB_SOURCE)
    message(FATAL_ERROR "rastra_add_bitmap(${target}): SOURCE is required")
  endif()
  _rastra_host_path(RB_SOURCE)
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
  if(RB_LVGL_OPTIONS AND NOT RB_LVGL)
    message(FATAL_ERROR "rastra_add_bitmap(${target}): LVGL_OPTIONS belong to LVGL")
  endif()
  if(RB_LVGL)
    if(RB_FORMAT OR RB_NOPALETTE)
      message(FATAL_ERROR "rastra_add_bitmap(${target}): LVGL names its own colour format; give no FORMAT or NOPALETTE")
    endif()
    if(NOT RB_LVGL MATCHES "^[A-Z0-9_]+$")
      message(FATAL_ERROR "rastra_add_bitmap(${target}): LVGL takes a colour format such as RGB565, not ${RB_LVGL}")
    endif()
    foreach(word IN LISTS RB_LVGL_OPTIONS)
      if(NOT word MATCHES "^[A-Za-z0-9]+$")
        message(FATAL_ERROR "rastra_add_bitmap(${target}): ${word} is not an LVGL option")
      endif()
    endforeach()
    set(RB_FORMAT "${RB_LVGL}")
    foreach(word IN LISTS RB_LVGL_OPTIONS)
      if(word STREQUAL "RGB565DITHER")
        set(word DITHER)
      endif()
      string(APPEND RB_FORMAT ",${word}")
    endforeach()
  endif()
  if(RB_LVGL AND RB_TYPE STREQUAL "c")
    set(type_code 8)
  elseif(RB_LVGL AND RB_TYPE STREQUAL "bin")
    set(type_code 9)
    set(extension bin)
  elseif(RB_LVGL)
    message(FATAL_ERROR "rastra_add_bitmap(${target}): an LVGL image is TYPE c or bin, not ${RB_TYPE}")
  elseif(RB_TYPE STREQUAL "c")
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
  _rastra_require_bytes(${target} FLASH_BUDGET "${RB_FLASH_BUDGET}")
  _rastra_program(rastra)

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
  _rastra_setting_words(commands RB)
  list(APPEND commands "-manifest./manifest.json")
  if(RB_FLASH_BUDGET)
    list(APPEND commands "-flashbudget${RB_FLASH_BUDGET}")
  endif()
  _rastra_conversion_words(${target} RB commands)
  _rastra_depends(${target} extra_depends ${RB_DEPENDS})

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
    "set(RASTRA_FILES [==[${file_name};manifest.json]==])\n"
    "set(RASTRA_ARGUMENTS [==[${commands};${save}]==])\n")
  file(MAKE_DIRECTORY "${work_dir}/pending")
  file(CONFIGURE OUTPUT "${job}" CONTENT "${job_text}" @ONLY)
  add_custom_command(
    OUTPUT "${output}" "${work_dir}/manifest.json"
    COMMAND ${CMAKE_COMMAND} "-DRASTRA=$<TARGET_FILE:${rastra}>" "-DRASTRA_JOB=${job}"
            -P "${_RASTRA_FUNCTIONS_DIR}/RastraConvert.cmake"
    DEPENDS "${source}" ${extra_depends} ${rastra} "${job}" "${_RASTRA_FUNCTIONS_DIR}/RastraConvert.cmake"
    WORKING_DIRECTORY "${work_dir}"
    COMMENT "Converting ${RB_SOURCE} with Rastra"
    VERBATIM)
  target_sources(${target} PRIVATE "${output}")
  if(NOT extension STREQUAL "c")
    set_source_files_properties("${output}" PROPERTIES HEADER_FILE_ONLY ON)
  endif()
  _rastra_add_manifest(${target} "${work_dir}/manifest.json")
  if(RB_OUTPUT_VARIABLE)
    set(${RB_OUTPUT_VARIABLE} "${output}" PARENT_SCOPE)
  endif()
endfunction()

function(rastra_add_bitmap_set target)
  cmake_parse_arguments(PARSE_ARGV 1 RS
                        "NOPALETTE;ARGB;BIG_ENDIAN;PRESERVE_TRANS;PNG_GAMMA_OFF;SMOOTH_CHROMA;AUTO_ORIENT;SHARED_PALETTE"
                        "NAME;PREFIX;TYPE;FORMAT;CONVERT;DITHER;COLORS;PALETTE;FLASH_BUDGET;FLASH_BUDGET_TOTAL;MAX_OUTPUT;OUTPUT_VARIABLE"
                        "SOURCES;COMMANDS;DEPENDS")
  set(call "rastra_add_bitmap_set(${target} NAME ${RS_NAME})")
  _rastra_check_call(rastra_add_bitmap_set "${call}" RS ${target})
  if(NOT RS_NAME MATCHES "^[A-Za-z0-9_]+$" OR RS_NAME MATCHES "__")
    message(FATAL_ERROR "${call}: NAME must be a C identifier without a double underscore")
  endif()
  if(NOT RS_SOURCES)
    message(FATAL_ERROR "${call}: SOURCES are required")
  endif()
  if(NOT RS_PREFIX MATCHES "^[A-Za-z0-9_]*$")
    message(FATAL_ERROR "${call}: PREFIX must be made of the characters of a C identifier, not ${RS_PREFIX}")
  endif()
  if(NOT RS_TYPE OR RS_TYPE STREQUAL "c")
    set(type_code 1)
    set(extension c)
  elseif(RS_TYPE STREQUAL "dta")
    set(type_code 3)
    set(extension dta)
  else()
    message(FATAL_ERROR "${call}: TYPE must be c or dta, not ${RS_TYPE}")
  endif()
  if(RS_NOPALETTE AND NOT RS_FORMAT)
    message(FATAL_ERROR "${call}: NOPALETTE needs FORMAT")
  endif()
  if((RS_COLORS OR RS_PALETTE) AND NOT RS_SHARED_PALETTE)
    message(FATAL_ERROR "${call}: COLORS and PALETTE belong to SHARED_PALETTE")
  endif()
  if(RS_COLORS AND RS_PALETTE)
    message(FATAL_ERROR "${call}: give COLORS or PALETTE, not both")
  endif()
  if(RS_COLORS AND (NOT RS_COLORS MATCHES "^[0-9]+$" OR RS_COLORS LESS 2 OR RS_COLORS GREATER 256))
    message(FATAL_ERROR "${call}: COLORS must be 2 to 256, not ${RS_COLORS}")
  endif()
  _rastra_require_bytes(${target} FLASH_BUDGET "${RS_FLASH_BUDGET}")
  _rastra_require_bytes(${target} FLASH_BUDGET_TOTAL "${RS_FLASH_BUDGET_TOTAL}")
  _rastra_program(rastra)

  # The set's own names, then one file per image, each a name no other
  # conversion of this directory makes: two would race, and their bitmaps
  # would clash when linked.
  set(names "${RS_NAME}.c" "${RS_NAME}.dta")
  set(sources)
  set(files)
  set(identifiers)
  foreach(image IN LISTS RS_SOURCES)
    _rastra_host_path(image)
    _rastra_require_plain(${target} SOURCES "${image}")
    get_filename_component(source "${image}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
    _rastra_require_plain(${target} SOURCES "${source}")
    _rastra_require_file(${target} SOURCES "${image}" "${source}")
    # What %n gives, and the identifier the command line makes of it.
    get_filename_component(base "${source}" NAME_WLE)
    set(file_name "${RS_PREFIX}${base}.${extension}")
    string(REGEX REPLACE "[^A-Za-z0-9_]" "" identifier "${RS_PREFIX}${base}")
    if(identifier STREQUAL "" OR identifier MATCHES "__")
      message(FATAL_ERROR "${call}: the name of ${image} gives the identifier \"${identifier}\"; rename the image "
                          "or give a PREFIX")
    endif()
    if(file_name IN_LIST files OR identifier IN_LIST identifiers OR file_name IN_LIST names)
      message(FATAL_ERROR "${call}: ${image} gives ${file_name} (bm${identifier}), which another image of the set "
                          "gives too")
    endif()
    list(APPEND sources "${source}")
    list(APPEND files "${file_name}")
    list(APPEND identifiers "${identifier}")
  endforeach()
  get_property(taken DIRECTORY PROPERTY RASTRA_BITMAP_NAMES)
  foreach(name IN LISTS names files)
    if(name IN_LIST taken)
      message(FATAL_ERROR "${call}: ${name} is already made in this directory")
    endif()
  endforeach()
  set_property(DIRECTORY APPEND PROPERTY RASTRA_BITMAP_NAMES ${names} ${files})

  # As for rastra_add_bitmap: a directory of its own, names relative to it.
  set(work_dir "${CMAKE_CURRENT_BINARY_DIR}/rastra/${RS_NAME}")
  _rastra_setting_words(commands RS)
  list(APPEND commands "-manifest./manifest.json")
  if(RS_FLASH_BUDGET OR RS_FLASH_BUDGET_TOTAL)
    set(budget "-flashbudget${RS_FLASH_BUDGET}")
    if(RS_FLASH_BUDGET_TOTAL)
      string(APPEND budget ",${RS_FLASH_BUDGET_TOTAL}")
    endif()
    list(APPEND commands "${budget}")
  endif()
  _rastra_conversion_words(${target} RS commands)
  _rastra_depends(${target} extra_depends ${RS_DEPENDS})
  set(palette_files)
  if(RS_SHARED_PALETTE)
    if(RS_PALETTE)
      _rastra_depends(${target} palette "${RS_PALETTE}")
      list(APPEND extra_depends "${palette}")
      list(APPEND commands "-sharedpalette${palette}")
    else()
      list(APPEND commands "-sharedpalette${RS_COLORS}")
    endif()
  endif()
  set(save "-saveas./${RS_PREFIX}%n,${type_code}")
  if(RS_FORMAT)
    string(APPEND save ",${RS_FORMAT}")
    if(RS_NOPALETTE)
      string(APPEND save ",1")
    endif()
  endif()
  list(APPEND commands "${save}")
  if(RS_SHARED_PALETTE)
    if(type_code EQUAL 1)
      list(APPEND commands "-saveas./${RS_NAME},P")
      list(APPEND palette_files "${RS_NAME}.c")
    endif()
    list(APPEND commands "-saveas./${RS_NAME},G")
    list(APPEND palette_files "${RS_NAME}.GUIPal")
  endif()

  set(outputs)
  set(made ${palette_files} ${files} manifest.json)
  foreach(file IN LISTS palette_files files)
    list(APPEND outputs "${work_dir}/${file}")
  endforeach()
  list(LENGTH sources count)
  set(job "${work_dir}/job.cmake")
  string(CONCAT job_text
    "set(RASTRA_CALL [==[${call}]==])\n"
    "set(RASTRA_SOURCE [==[${sources}]==])\n"
    "set(RASTRA_FILE [==[file of the set]==])\n"
    "set(RASTRA_FILES [==[${made}]==])\n"
    "set(RASTRA_ARGUMENTS [==[${commands}]==])\n")
  file(MAKE_DIRECTORY "${work_dir}/pending")
  file(CONFIGURE OUTPUT "${job}" CONTENT "${job_text}" @ONLY)
  add_custom_command(
    OUTPUT ${outputs} "${work_dir}/manifest.json"
    COMMAND ${CMAKE_COMMAND} "-DRASTRA=$<TARGET_FILE:${rastra}>" "-DRASTRA_JOB=${job}"
            -P "${_RASTRA_FUNCTIONS_DIR}/RastraConvert.cmake"
    DEPENDS ${sources} ${extra_depends} ${rastra} "${job}" "${_RASTRA_FUNCTIONS_DIR}/RastraConvert.cmake"
    WORKING_DIRECTORY "${work_dir}"
    COMMENT "Converting the ${count} images of the set ${RS_NAME} with Rastra"
    VERBATIM)
  # Streams and the palette file are only made dependencies of the target.
  target_sources(${target} PRIVATE ${outputs})
  foreach(output IN LISTS outputs)
    if(NOT output MATCHES "\\.c$")
      set_source_files_properties("${output}" PROPERTIES HEADER_FILE_ONLY ON)
    endif()
  endforeach()
  _rastra_add_manifest(${target} "${work_dir}/manifest.json")
  if(RS_OUTPUT_VARIABLE)
    set(${RS_OUTPUT_VARIABLE} "${outputs}" PARENT_SCOPE)
  endif()
endfunction()
