# The manifest of a target: the manifests of its conversions, in the order of
# the calls, under the target's name.
#   cmake -DRASTRA_JOB=<job.cmake> -P RastraManifest.cmake
# The job file names the target, the conversions' manifests and the file to
# write, which replaces the old one only when complete.
cmake_minimum_required(VERSION 3.22)
include("${RASTRA_JOB}")

set(joined "")
foreach(part IN LISTS RASTRA_PARTS)
  file(READ "${part}" text)
  string(REGEX REPLACE "\n$" "" text "${text}")
  string(REPLACE "\n" "\n    " text "${text}")
  if(NOT joined STREQUAL "")
    string(APPEND joined ",\n")
  endif()
  string(APPEND joined "    ${text}")
endforeach()
file(WRITE "${RASTRA_MANIFEST}.tmp" "{\n  \"target\": \"${RASTRA_TARGET}\",\n  \"conversions\": [\n${joined}\n  ]\n}\n")
file(RENAME "${RASTRA_MANIFEST}.tmp" "${RASTRA_MANIFEST}")
