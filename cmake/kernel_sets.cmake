# Kernel sets, each declared once: tu_mardo_kernel_set(<name> SOURCE <file> [FEATURES <f>...])
# compiles the source with -m<f> for every CPU feature it names, and enters the set in the
# table that iter/kernel_table.cpp includes, which tests the same features
# (__builtin_cpu_supports) before it chooses the set. Flags and checks come from one list and
# cannot drift apart. The table keeps the order of the calls: the first set this CPU can run is
# taken, so the fastest comes first and the portable one last. tu_mardo_kernel_table(<target>)
# writes the table and adds the sources.
set(TU_MARDO_KERNEL_SETS "" CACHE INTERNAL "")
set(TU_MARDO_KERNEL_SOURCES "" CACHE INTERNAL "")
set(TU_MARDO_KERNEL_ENTRIES "" CACHE INTERNAL "")

function(tu_mardo_kernel_set name)
  cmake_parse_arguments(PARSE_ARGV 1 SET "" "SOURCE" "FEATURES")
  string(MAKE_C_IDENTIFIER "${name}" id)
  set(flags "")
  set(checks "")
  foreach(feature IN LISTS SET_FEATURES)
    list(APPEND flags "-m${feature}")
    list(APPEND checks "__builtin_cpu_supports(\"${feature}\")")
  endforeach()
  if(checks)
    list(JOIN checks " && " check)
    set(check "(__builtin_cpu_init(), ${check})")
  else()
    set(check "true")
  endif()
  get_filename_component(source "${SET_SOURCE}" ABSOLUTE)
  set_source_files_properties("${source}" PROPERTIES COMPILE_OPTIONS "${flags}")
  set(TU_MARDO_KERNEL_SOURCES "${TU_MARDO_KERNEL_SOURCES};${source}" CACHE INTERNAL "")
  set(TU_MARDO_KERNEL_ENTRIES
      "${TU_MARDO_KERNEL_ENTRIES}TU_MARDO_KERNEL_SET(${id}, \"${name}\", ${check})\n" CACHE INTERNAL "")
endfunction()

function(tu_mardo_kernel_table target)
  set(table "${CMAKE_CURRENT_BINARY_DIR}/kernel_sets.inc")
  file(CONFIGURE OUTPUT "${table}" CONTENT
"// Generated from the tu_mardo_kernel_set calls of iter/CMakeLists.txt: do not edit.
// TU_MARDO_KERNEL_SET(identifier, name, whether this CPU can run the set)
${TU_MARDO_KERNEL_ENTRIES}")
  target_sources(${target} PRIVATE ${TU_MARDO_KERNEL_SOURCES})
  target_include_directories(${target} PRIVATE "${CMAKE_CURRENT_BINARY_DIR}")
  set(TU_MARDO_KERNEL_SOURCES "" CACHE INTERNAL "")
  set(TU_MARDO_KERNEL_ENTRIES "" CACHE INTERNAL "")
endfunction()
