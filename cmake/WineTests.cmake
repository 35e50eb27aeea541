# The Windows test programs of a cross build run under Wine (Debian's wine64): every add_test
# that names one of them goes through the wrapper made here, which gives the build a Wine prefix
# of its own, made on first use.
find_program(HALVORO_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
find_program(HALVORO_WINESERVER NAMES wineserver64 wineserver PATHS /usr/lib/wine
             NO_CMAKE_FIND_ROOT_PATH)
if(NOT HALVORO_WINE OR NOT HALVORO_WINESERVER)
  message(WARNING "wine64 not found: the Windows tests are built, and CTest cannot run them")
  return()
endif()

# A Chinese system, as the users have one: code page 936 for the ANSI side of the system. The
# locale is made for this build only, so nothing on the machine changes.
set(HALVORO_WINE_LOCALES ${CMAKE_BINARY_DIR}/wine-locales)
if(NOT EXISTS ${HALVORO_WINE_LOCALES}/zh_CN.UTF-8/LC_CTYPE)
  file(MAKE_DIRECTORY ${HALVORO_WINE_LOCALES})
  execute_process(COMMAND localedef -i zh_CN -f UTF-8 ${HALVORO_WINE_LOCALES}/zh_CN.UTF-8
                  RESULT_VARIABLE localedef_result OUTPUT_QUIET ERROR_QUIET)
  if(NOT EXISTS ${HALVORO_WINE_LOCALES}/zh_CN.UTF-8/LC_CTYPE)
    message(FATAL_ERROR "localedef could not make zh_CN.UTF-8 (Debian package locales)")
  endif()
endif()

set(HALVORO_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine-prefix)
set(HALVORO_WINE_RUN ${CMAKE_BINARY_DIR}/wine-run)
configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.sh.in ${HALVORO_WINE_RUN} @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${HALVORO_WINE_RUN})

set(HALVORO_TESTHOST "" CACHE FILEPATH
    "A Linux halvoro-testhost (from a native build) for the Windows network tests")
