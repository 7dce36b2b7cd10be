# Version resources (VERSIONINFO) for the Windows deliverables, all from the
# project version in the top-level project() call, so that the file
# versions, the setup package's File table and the About box agree.
#   corva_version_resource(target "file description")
# generates <build>/version/<target>.rc from VersionInfo.rc.in and compiles
# it into the target. The file names come from the target itself.

set(_corva_version_template ${CMAKE_CURRENT_LIST_DIR}/VersionInfo.rc.in)

function(corva_version_resource target description)
  if(NOT WIN32)
    return()
  endif()
  get_target_property(_type ${target} TYPE)
  if(_type STREQUAL "EXECUTABLE")
    set(CORVA_VR_FILETYPE VFT_APP)
  elseif(_type STREQUAL "SHARED_LIBRARY" OR _type STREQUAL "MODULE_LIBRARY")
    set(CORVA_VR_FILETYPE VFT_DLL)
  else()
    message(FATAL_ERROR "corva_version_resource: ${target} is neither a program nor a library")
  endif()
  set(CORVA_VR_TARGET ${target})
  set(CORVA_VR_DESCRIPTION "${description}")
  file(READ ${_corva_version_template} _text)
  string(CONFIGURE "${_text}" _text @ONLY)
  set(_rc ${CMAKE_BINARY_DIR}/version/${target}.rc)
  # The file names are generator expressions: file(GENERATE) fills them in.
  file(GENERATE OUTPUT ${_rc} CONTENT "${_text}")
  target_sources(${target} PRIVATE ${_rc})
  set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_corva_version_template})
endfunction()
