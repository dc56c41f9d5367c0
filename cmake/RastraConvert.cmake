# One conversion of rastra_add_bitmap() or rastra_add_bitmap_set(), run in
# the call's own directory:
#   cmake -DRASTRA=<program> -DRASTRA_JOB=<job.cmake> -P RastraConvert.cmake
# The job file names the call, the images, the output files (RASTRA_FILE
# says what they are in a message) and the arguments. Rastra writes into
# pending/, and the files are moved into place only when Rastra exited
# without a problem, so a failed run leaves nothing a later build could take
# for up to date. A failure names the call before Rastra's own message and
# Rastra's exit code.
cmake_minimum_required(VERSION 3.22)
include("${RASTRA_JOB}")

if(NOT DEFINED RASTRA_FILES)
  set(RASTRA_FILES "${RASTRA_FILE}")
endif()
foreach(file IN LISTS RASTRA_FILES)
  file(REMOVE "${file}" "pending/${file}")
endforeach()
file(REMOVE "pending/Rastra.log")
# Rastra writes its log into the working directory and names the output as
# the save gave it: pending/ is both, so its messages name NAME.c.
execute_process(
  COMMAND "${RASTRA}" ${RASTRA_SOURCE} ${RASTRA_ARGUMENTS} -exit
  WORKING_DIRECTORY pending
  RESULT_VARIABLE exit_code)
if(NOT exit_code EQUAL 0)
  message(FATAL_ERROR "${RASTRA_CALL} failed: Rastra's exit code ${exit_code}, no ${RASTRA_FILE} made")
endif()
foreach(file IN LISTS RASTRA_FILES)
  file(RENAME "pending/${file}" "${file}")
endforeach()
