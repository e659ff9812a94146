# Backup stores for the sandbox programs of a test folder, built once per build tree by the
# simulator's store builder into <binary folder>/stores/<name>, for a server that answers to
# "localhost" (plus ${store_args}); a program points the simulated tools at one after another.
include_guard(GLOBAL)
file(GLOB cvex_store_builder_sources ${CMAKE_SOURCE_DIR}/simulator/store/*.py)

function(cvex_store name)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/stores/${name})
  add_custom_command(OUTPUT ${out}/manifest.ini
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${out}
    COMMAND python3 ${CMAKE_SOURCE_DIR}/simulator/store/build_store.py --out ${out} ${ARGN} --server localhost
            ${store_args}
    DEPENDS ${cvex_store_builder_sources} VERBATIM)
  set_property(DIRECTORY APPEND PROPERTY cvex_store_manifests ${out}/manifest.ini)
endfunction()

# One program <name>_test.cpp on the shared host over the folder's stores (target <set>); the other
# arguments are cvex_add_sandbox_test's.
function(cvex_host_sandbox_test name set)
  get_property(manifests DIRECTORY PROPERTY cvex_store_manifests)
  add_custom_target(${set} DEPENDS ${manifests})
  cvex_add_sandbox_test(NAME ${name} ${ARGN} SOURCES ../common/sandbox_host.cpp ${name}_test.cpp LIBS cvex_plugin)
  target_compile_definitions(${name} PRIVATE CVEX_SANDBOX_STORES="${CMAKE_CURRENT_BINARY_DIR}/stores"
                             CVEX_STORE_VERIFIER="${CMAKE_SOURCE_DIR}/tests/restore/verify_in_sandbox.py"
                             CVEX_BUILD_DIR="${CMAKE_BINARY_DIR}")
  add_dependencies(${name} ${set} CVEX)
endfunction()
