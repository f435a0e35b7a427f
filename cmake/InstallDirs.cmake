# Run by `cmake --install` before anything is copied (see the root
# CMakeLists.txt): decides where the plug-ins and the manual go.
#
# In:  CMAKE_INSTALL_PREFIX (the configured one, or --prefix), DESTDIR from the
#      environment, HOME, DUV_CONFIGURED_SCOPE and DUV_DEFAULT_INSTALL_PREFIX
#      (written by the build tree), and DUV_INSTALL_SCOPE if given with -D to
#      `cmake -P cmake_install.cmake`.
# Out: DUV_INSTALL_VST_DIR, DUV_INSTALL_LV2_DIR and DUV_INSTALL_DOC_DIR,
#      absolute, DESTDIR not included (file(INSTALL) adds it).
if(NOT DEFINED DUV_INSTALL_SCOPE)
  set(DUV_INSTALL_SCOPE "${DUV_CONFIGURED_SCOPE}")
endif()
if(DUV_INSTALL_SCOPE STREQUAL "auto")
  # A prefix nobody chose and no staging folder: a user installing for themselves.
  if(CMAKE_INSTALL_PREFIX STREQUAL DUV_DEFAULT_INSTALL_PREFIX AND "$ENV{DESTDIR}" STREQUAL "")
    set(DUV_INSTALL_SCOPE user)
  else()
    set(DUV_INSTALL_SCOPE prefix)
  endif()
endif()

if(DUV_INSTALL_SCOPE STREQUAL "user")
  if("$ENV{HOME}" STREQUAL "")
    message(FATAL_ERROR "HOME is not set: give a prefix (cmake --install BUILD --prefix DIR)")
  endif()
  # The folders Linux hosts scan per user; the editor's manual link opens the
  # manual beside the module.
  set(DUV_INSTALL_VST_DIR "$ENV{HOME}/.vst")
  set(DUV_INSTALL_LV2_DIR "$ENV{HOME}/.lv2")
  set(DUV_INSTALL_DOC_DIR "${DUV_INSTALL_VST_DIR}")
elseif(DUV_INSTALL_SCOPE STREQUAL "prefix")
  get_filename_component(duv_prefix "${CMAKE_INSTALL_PREFIX}" ABSOLUTE)
  set(DUV_INSTALL_VST_DIR "${duv_prefix}/lib/vst")
  set(DUV_INSTALL_LV2_DIR "${duv_prefix}/lib/lv2")
  set(DUV_INSTALL_DOC_DIR "${duv_prefix}/share/doc/duv")
else()
  message(FATAL_ERROR "DUV_INSTALL_SCOPE must be auto, user or prefix, not '${DUV_INSTALL_SCOPE}'")
endif()
message(STATUS "DUV install layout: ${DUV_INSTALL_SCOPE} (VST 2 modules in $ENV{DESTDIR}${DUV_INSTALL_VST_DIR})")

# duv_install_symlink(<link> <target>): a relative symbolic link at link (an
# absolute path) to target (absolute), both under DESTDIR, recorded in the
# install manifest like every copied file. Replaces what is at link.
function(duv_install_symlink link target)
  get_filename_component(folder "${link}" DIRECTORY)
  file(RELATIVE_PATH relative "${folder}" "${target}")
  set(at "$ENV{DESTDIR}${link}")
  get_filename_component(at_folder "${at}" DIRECTORY)
  file(MAKE_DIRECTORY "${at_folder}")
  file(REMOVE "${at}")
  message(STATUS "Installing: ${at} -> ${relative}")
  file(CREATE_LINK "${relative}" "${at}" SYMBOLIC)
  # As file(INSTALL) does: the manifest lists installed paths without DESTDIR.
  list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${link}")
  set(CMAKE_INSTALL_MANIFEST_FILES "${CMAKE_INSTALL_MANIFEST_FILES}" PARENT_SCOPE)
endfunction()
