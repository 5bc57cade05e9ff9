# Kernel sets, each declared once, in one line:
#   tu_mardo_kernel_set(<name> (CHAIN [FUSED] [BY_CONVERSION] | SOURCE <file>)
#                       [FEATURES <f>... | CHECK <expression>])
# CHAIN generates the set's translation unit: the double-chain loops of
# iter/kernels_double_chain.hpp, with the fused multiply-add if FUSED, truncating by conversion
# to an integer and back if BY_CONVERSION (else by the CPU's truncation); SOURCE names loops of
# its own. The unit is compiled with -m<f> for every CPU feature named, and the set entered in the
# table that iter/kernel_table.cpp includes, which tests the same features
# (__builtin_cpu_supports) before it chooses the set; CHECK gives the test where it is no CPU
# feature (a function of iter/kernels.hpp). Flags and checks come from one list and
# cannot drift apart. The table keeps the order of the calls: the first set this CPU can run is
# taken, so the fastest comes first and the portable one last. tu_mardo_kernel_table(<target>)
# writes the table and adds the sources.
set(TU_MARDO_KERNEL_SETS "" CACHE INTERNAL "")
set(TU_MARDO_KERNEL_SOURCES "" CACHE INTERNAL "")
set(TU_MARDO_KERNEL_ENTRIES "" CACHE INTERNAL "")

function(tu_mardo_kernel_set name)
  cmake_parse_arguments(PARSE_ARGV 1 SET "CHAIN;FUSED;BY_CONVERSION" "SOURCE;CHECK" "FEATURES")
  string(MAKE_C_IDENTIFIER "${name}" id)
  if(SET_CHAIN)
    set(SET_SOURCE "${CMAKE_CURRENT_BINARY_DIR}/kernels_${id}.cpp")
    set(fused false)
    set(truncation instruction)
    if(SET_FUSED)
      set(fused true)
    endif()
    if(SET_BY_CONVERSION)
      set(truncation conversion)
    endif()
    file(CONFIGURE OUTPUT "${SET_SOURCE}" CONTENT
"// Generated from tu_mardo_kernel_set(${name}) in iter/CMakeLists.txt: do not edit.
#include \"iter/kernels.hpp\"
#include \"iter/kernels_double_chain.hpp\"

TU_MARDO_DOUBLE_CHAIN_SET(${id}, ${fused}, ${truncation})
")
  endif()
  set(flags "")
  set(checks "")
  foreach(feature IN LISTS SET_FEATURES)
    list(APPEND flags "-m${feature}")
    list(APPEND checks "__builtin_cpu_supports(\"${feature}\")")
  endforeach()
  if(SET_CHECK)
    set(check "${SET_CHECK}")
  elseif(checks)
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
