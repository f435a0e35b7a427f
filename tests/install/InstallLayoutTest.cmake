# Installs the build tree BUILD into folders under WORK and checks what lands
# where. MODULE and MANUAL (empty when the manual is not built) are the built
# files; PLAIN says where a plain `cmake --install` goes (user or prefix);
# PREFIX is the tree's configured prefix.
set(failures 0)
macro(fail text)
  message(SEND_ERROR "${text}")
  math(EXPR failures "${failures} + 1")
endmacro()

# run_install(<home> <destdir or "-"> <cmake --install arguments...>)
function(run_install home destdir)
  set(env --unset=DESTDIR)
  if(NOT destdir STREQUAL "-")
    set(env DESTDIR=${destdir})
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} -E env ${env} HOME=${home}
                          ${CMAKE_COMMAND} --install ${BUILD} ${ARGN}
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "cmake --install ${ARGN} failed:\n${out}")
  endif()
endfunction()

# expect_copy(<installed> <built>): a regular file with the built file's bytes.
function(expect_copy installed built)
  if(IS_SYMLINK "${installed}" OR NOT EXISTS "${installed}")
    fail("${installed} is not an installed file")
    set(failures ${failures} PARENT_SCOPE)
    return()
  endif()
  file(SHA256 "${installed}" a)
  file(SHA256 "${built}" b)
  if(NOT a STREQUAL b)
    fail("${installed} differs from ${built}")
  endif()
  set(failures ${failures} PARENT_SCOPE)
endfunction()

# expect_lv2_bundle(<folder>): the LV2 bundle's files in folder/DUV.lv2/
# (LV2_BUNDLE, the built bundle, is empty when the tree has none).
function(expect_lv2_bundle folder)
  if(LV2_BUNDLE)
    foreach(f DUV_dsp.so manifest.ttl DUV.ttl presets.ttl)
      expect_copy("${folder}/DUV.lv2/${f}" "${LV2_BUNDLE}/${f}")
    endforeach()
  endif()
  set(failures ${failures} PARENT_SCOPE)
endfunction()

# The prefix layout under root (a prefix, or DESTDIR plus a prefix).
function(expect_prefix_layout root)
  expect_copy("${root}/lib/vst/DUV.so" "${MODULE}")
  expect_lv2_bundle("${root}/lib/lv2")
  if(MANUAL)
    expect_copy("${root}/share/doc/duv/Pelko-DUV.pdf" "${MANUAL}")
    set(link "${root}/lib/vst/Pelko-DUV.pdf")
    if(NOT IS_SYMLINK "${link}")
      fail("${link} is not a link to the manual")
    else()
      file(READ_SYMLINK "${link}" target)
      if(NOT target STREQUAL "../../share/doc/duv/Pelko-DUV.pdf")
        fail("${link} points to ${target}")
      endif()
    endif()
  endif()
  set(failures ${failures} PARENT_SCOPE)
endfunction()

# Nothing may have been written into the installing user's home.
function(expect_untouched home)
  file(GLOB_RECURSE written "${home}/*")
  if(written)
    fail("the prefix install wrote into HOME: ${written}")
  endif()
  set(failures ${failures} PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE "${WORK}")

run_install("${WORK}/home-1" - --prefix "${WORK}/prefix")
expect_prefix_layout("${WORK}/prefix")
expect_untouched("${WORK}/home-1")

run_install("${WORK}/home-2" "${WORK}/stage" --prefix /usr)
expect_prefix_layout("${WORK}/stage/usr")
expect_untouched("${WORK}/home-2")

# DESTDIR alone stages the configured prefix: packagers rarely mean a home folder.
run_install("${WORK}/home-3" "${WORK}/stage-default")
expect_prefix_layout("${WORK}/stage-default${PREFIX}")
expect_untouched("${WORK}/home-3")

if(PLAIN STREQUAL "user")
  run_install("${WORK}/home-4" -)
  expect_copy("${WORK}/home-4/.vst/DUV.so" "${MODULE}")
  expect_lv2_bundle("${WORK}/home-4/.lv2")
  if(MANUAL)
    expect_copy("${WORK}/home-4/.vst/Pelko-DUV.pdf" "${MANUAL}")
  endif()
else()
  message(STATUS "skipped the plain per-user install: this tree was configured with the prefix ${PREFIX}")
endif()

if(NOT MANUAL)
  message(STATUS "the manual is not built in this tree: its places were not checked")
endif()
if(failures GREATER 0)
  message(FATAL_ERROR "${failures} install checks failed")
endif()
file(REMOVE_RECURSE "${WORK}")
