# Writes OUT, a header that holds the version the release zip's name carries:
# VINDREL_VERSION from the environment (release.sh sets it: its builds come from
# `git archive`, without .git), else `git describe` of the checkout, else "unknown".
# The header is rewritten only when the version changes.
cmake_minimum_required(VERSION 3.20)
set(version "$ENV{VINDREL_VERSION}")
if(version STREQUAL "" AND EXISTS "${ROOT}/.git")
  execute_process(COMMAND git describe --tags --always HEAD WORKING_DIRECTORY "${ROOT}"
                  OUTPUT_VARIABLE version OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed ERROR_QUIET)
  if(failed)
    set(version "")
  endif()
  string(REGEX REPLACE "^v" "" version "${version}")
  string(REPLACE "/" "-" version "${version}")
endif()
if(version STREQUAL "")
  set(version unknown)
endif()
string(REPLACE "\\" "\\\\" version "${version}")
string(REPLACE "\"" "\\\"" version "${version}")
file(CONFIGURE OUTPUT "${OUT}" CONTENT "#define VINDREL_REPORT_VERSION \"@version@\"\n" @ONLY)
