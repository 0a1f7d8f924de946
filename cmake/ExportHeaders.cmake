# A library exports the headers of its own folder, and nothing more, as
# <folder>/<header>: through links to each header, in an include folder of
# its own in the build tree. Subfolders with a CMakeLists.txt of their own
# are libraries of their own and are left out; other subfolders' headers
# are exported with their folder (app/tools/...). Only what links the library
# can include its headers, so an include that runs against the layering does
# not compile. `folder` is the source folder's path from the top (imaging/png).
function(chromobrisk_export_headers target folder)
  string(REPLACE "/" "_" name "${folder}")
  set(root ${CMAKE_BINARY_DIR}/exported/${name})
  file(REMOVE_RECURSE ${root})
  file(GLOB_RECURSE headers CONFIGURE_DEPENDS RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  foreach(header IN LISTS headers)
    get_filename_component(subfolder ${header} DIRECTORY)
    if(subfolder)
      string(REGEX REPLACE "/.*" "" top ${subfolder})
      if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${top}/CMakeLists.txt)
        continue()
      endif()
    endif()
    get_filename_component(at ${root}/${folder}/${header} DIRECTORY)
    file(MAKE_DIRECTORY ${at})
    file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR}/${header} ${root}/${folder}/${header} SYMBOLIC)
  endforeach()
  target_include_directories(${target} PUBLIC ${root})
endfunction()

# A test that code of `library` cannot include `header` (written with its
# quotes or angle brackets): it compiles a file holding only that include with
# the library's include folders, and passes when the compiler cannot find it.
function(chromobrisk_forbid_include library header)
  string(MAKE_C_IDENTIFIER "${library}_includes_${header}" name)
  set(source ${CMAKE_CURRENT_BINARY_DIR}/forbidden_includes/${name}.cpp)
  file(CONFIGURE OUTPUT ${source} CONTENT "#include ${header}\n")
  add_library(${name} OBJECT EXCLUDE_FROM_ALL ${source})
  target_link_libraries(${name} PRIVATE ${library})
  string(REGEX REPLACE "^[<\"](.*)[>\"]$" "\\1" path "${header}")
  add_test(NAME layering.${name} COMMAND ${CMAKE_COMMAND} --build ${CMAKE_BINARY_DIR} --target ${name})
  set_tests_properties(layering.${name} PROPERTIES
    PASS_REGULAR_EXPRESSION "${path}: No such file or directory|'${path}' file not found"
    RESOURCE_LOCK build_tree)
endfunction()
