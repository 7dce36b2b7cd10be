# Finds zlib, libcrypto and Xerces-C: Debian's packages on Linux, the cached
# Windows builds (scripts/build-deps.sh) and MinGW's zlib on Windows.
# Provides the imported targets corva::zlib, corva::crypto, corva::xerces and,
# on Windows, the path of libeay32.dll in CORVA_LIBEAY32_DLL.

if(WIN32)
  # Versions and cache location come from the same file the scripts use.
  file(STRINGS ${CMAKE_SOURCE_DIR}/scripts/env.sh _env REGEX "^CORVA_(OPENSSL_VERSION|XERCES_VERSION|DEPS_RECIPE)=")
  foreach(line IN LISTS _env)
    string(REGEX MATCH "^([A-Z_]+)=(.*)$" _m "${line}")
    set(${CMAKE_MATCH_1} "${CMAKE_MATCH_2}")
  endforeach()
  if(DEFINED ENV{CORVA_CACHE})
    set(_cache "$ENV{CORVA_CACHE}")
  elseif(DEFINED ENV{XDG_CACHE_HOME})
    set(_cache "$ENV{XDG_CACHE_HOME}/corvastine")
  else()
    set(_cache "$ENV{HOME}/.cache/corvastine")
  endif()
  set(CORVA_DEPS_DIR "${_cache}/deps-${CORVA_DEPS_RECIPE}" CACHE PATH "Windows dependency cache")
  set(_ssl "${CORVA_DEPS_DIR}/openssl-${CORVA_OPENSSL_VERSION}/${CORVA_TRIPLET}")
  set(_xer "${CORVA_DEPS_DIR}/xerces-${CORVA_XERCES_VERSION}/${CORVA_TRIPLET}")
  foreach(stamp "${_ssl}/.done" "${_xer}/.done")
    if(NOT EXISTS "${stamp}")
      message(FATAL_ERROR "Windows dependencies missing (${stamp}); run scripts/bootstrap.sh first")
    endif()
  endforeach()

  add_library(corva::crypto SHARED IMPORTED GLOBAL)
  set_target_properties(corva::crypto PROPERTIES
    IMPORTED_IMPLIB "${_ssl}/lib/libeay32.dll.a"
    IMPORTED_LOCATION "${_ssl}/bin/libeay32.dll"
    INTERFACE_INCLUDE_DIRECTORIES "${_ssl}/include")
  set(CORVA_LIBEAY32_DLL "${_ssl}/bin/libeay32.dll" CACHE INTERNAL "")

  add_library(corva::xerces STATIC IMPORTED GLOBAL)
  set_target_properties(corva::xerces PROPERTIES
    IMPORTED_LOCATION "${_xer}/lib/libxerces-c.a"
    INTERFACE_INCLUDE_DIRECTORIES "${_xer}/include"
    INTERFACE_COMPILE_DEFINITIONS "XERCES_STATIC_LIBRARY"
    INTERFACE_LINK_LIBRARIES "advapi32")

  find_library(_z NAMES libz.a z REQUIRED)
  find_path(_zinc zlib.h REQUIRED)
  add_library(corva::zlib STATIC IMPORTED GLOBAL)
  set_target_properties(corva::zlib PROPERTIES IMPORTED_LOCATION "${_z}" INTERFACE_INCLUDE_DIRECTORIES "${_zinc}")
else()
  find_package(OpenSSL 3.0 REQUIRED COMPONENTS Crypto)
  find_package(ZLIB REQUIRED)
  find_package(XercesC REQUIRED)
  add_library(corva::crypto ALIAS OpenSSL::Crypto)
  add_library(corva::zlib ALIAS ZLIB::ZLIB)
  add_library(corva::xerces ALIAS XercesC::XercesC)
endif()

# Copies libeay32.dll beside a Windows program after it is linked.
function(corva_ship_runtime target)
  if(WIN32)
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -E copy_if_different "${CORVA_LIBEAY32_DLL}" "$<TARGET_FILE_DIR:${target}>/libeay32.dll")
  endif()
endfunction()
